#include "thispc.h"

#include "net/socketaddress.h"

#include <QNetworkInterface>

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace check {

QList<QHostAddress> localAddresses()
{
    QList<QHostAddress> addresses;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address.protocol() == QAbstractSocket::IPv6Protocol && address.isLinkLocal())
                continue;
            addresses.append(address);
        }
    }
    return addresses;
}

common::Result<QHostAddress> sourceAddressFor(const QHostAddress& destination, quint16 port)
{
    const bool ipv6 = destination.protocol() == QAbstractSocket::IPv6Protocol;
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (!net::detail::socketAddress(destination, port, ipv6, storage, length))
        return common::Status::fromSocketErrno(EAFNOSUPPORT, destination.toString());
    const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return common::Status::fromSocketErrno(errno, destination.toString());
    // Connecting a UDP socket only picks the route; nothing goes on the wire.
    int error = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0)
        error = errno;
    sockaddr_storage own{};
    socklen_t ownLength = sizeof own;
    if (error == 0 && ::getsockname(fd, reinterpret_cast<sockaddr*>(&own), &ownLength) != 0)
        error = errno;
    ::close(fd);
    if (error != 0)
        return common::Status::fromSocketErrno(error, destination.toString());
    QHostAddress source = net::detail::endpointFrom(own).address;
    source.setScopeId({}); // the interface is named apart
    return source;
}

QString interfaceOf(const QHostAddress& address)
{
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            QHostAddress own = entry.ip();
            own.setScopeId({});
            if (own == address)
                return interface.name();
        }
    }
    return {};
}

Row thisPcRow(const ThisPcFacts& facts, const ErrorText& errorText)
{
    QString finding = facts.addresses.isEmpty()
                          ? u"名前は %1、ループバックのほかにアドレスはありません。"_s.arg(facts.hostName)
                          : u"名前は %1、アドレスは %2 です。"_s.arg(facts.hostName, addressList(facts.addresses));
    if (!facts.partner) {
        if (facts.addresses.isEmpty()) {
            return {Mark::Failed, finding + u"ネットワークにつながっていません。"_s,
                    u"ケーブルや無線 LAN の接続と、IP アドレスが割り当てられているかを確かめてください。"_s};
        }
        return {Mark::Passed, finding + u"相手のアドレスが分からないため、送信元は調べていません。"_s, {}};
    }
    const QString partner = facts.partner->toString();
    if (!facts.source.isOk()) {
        const QString reason = errorText(facts.source.status());
        return {Mark::Failed, finding + u"相手（%1）へ送る経路がありません：%2"_s.arg(partner, reason),
                u"ネットワークにつながっているか、相手のアドレスがこのPCから届く範囲のものかを確かめてください。"_s};
    }
    const QString source = facts.source.value().toString();
    const QString through =
        facts.interfaceName.isEmpty() ? source + u' ' : u"%1（%2）"_s.arg(source, facts.interfaceName);
    return {Mark::Passed, finding + u"相手（%1）への送信元は %2です。"_s.arg(partner, through), {}};
}

} // namespace check
