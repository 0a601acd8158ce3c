#include "mdnsresolver.h"

#include "net/avahidbus.h"
#include "net/hostaddress.h"

#include <QDBusPendingCall>
#include <QFile>
#include <QNetworkInterface>

#include <algorithm>
#include <memory>

#include <sys/socket.h>

namespace net {

namespace {

using namespace std::chrono_literals;

constexpr qsizetype MaxLabelBytes = 63;
constexpr qsizetype MaxNameBytes = 253;

std::chrono::milliseconds remaining(MdnsResolver::Clock::time_point deadline)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - MdnsResolver::Clock::now());
}

QString notFound(const QString& fqdn, const QString& why)
{
    return QStringLiteral("%1 が見つかりません（%2）").arg(fqdn, why);
}

} // namespace

MdnsResolver::MdnsResolver(const QDBusConnection& bus, const QString& nsswitchPath)
    : m_bus(bus)
    , m_nsswitchPath(nsswitchPath)
{}

QString MdnsResolver::localName(const QString& name)
{
    QString fqdn = name;
    if (fqdn.endsWith(u'.'))
        fqdn.chop(1);
    if (fqdn.isEmpty())
        return {};
    if (!fqdn.contains(u'.'))
        fqdn += QStringLiteral(".local");
    else if (!fqdn.endsWith(QLatin1StringView(".local"), Qt::CaseInsensitive))
        return {}; // a name in another domain is the DNS's to resolve

    // Labels are UTF-8 on the wire, as multicast DNS allows; blanks, controls and characters
    // that belong to addresses or paths name no computer.
    for (const QChar c : std::as_const(fqdn)) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c == u'\\' || c == u'/' || c == u':' || c == u'%')
            return {};
    }
    const QByteArray utf8 = fqdn.toUtf8();
    if (utf8.size() > MaxNameBytes)
        return {};
    for (const QByteArray& label : utf8.split('.')) {
        if (label.isEmpty() || label.size() > MaxLabelBytes)
            return {};
    }
    return fqdn;
}

bool MdnsResolver::hostsLineHasMdns(const QByteArray& nsswitchContent)
{
    for (QByteArray line : nsswitchContent.split('\n')) {
        const qsizetype comment = line.indexOf('#');
        if (comment >= 0)
            line.truncate(comment);
        line = line.simplified();
        if (!line.startsWith("hosts:"))
            continue;
        // Modules are words; "[NOTFOUND=return]" actions are not.
        for (const QByteArray& word : line.mid(6).split(' ')) {
            if (word.startsWith("mdns"))
                return true;
        }
    }
    return false;
}

Resolution MdnsResolver::resolve(const QString& name, Clock::time_point deadline) const
{
    const QString fqdn = localName(name);
    if (fqdn.isEmpty())
        return {{}, QStringLiteral("%1 はこのネットワークのコンピュータ名ではありません").arg(name)};

    bool viaNss = false;
    QFile nsswitch(m_nsswitchPath);
    if (nsswitch.open(QIODevice::ReadOnly))
        viaNss = hostsLineHasMdns(nsswitch.read(64 * 1024));

    Resolution result;
    if (viaNss) {
        result = resolveThroughNss(fqdn);
        if (!result.addresses.isEmpty() || remaining(deadline) <= 0ms)
            return result;
    }
    return resolveThroughAvahi(fqdn, deadline);
}

Resolution MdnsResolver::resolveThroughNss(const QString& fqdn) const
{
    // getaddrinfo cannot be cancelled, so it runs here, on the resolver's worker thread: the
    // caller of HostResolver waits for the worker only within its budget, and the Avahi question
    // after it gets what is left of the deadline.
    const Resolution found = HostResolver::systemLookup(fqdn);
    if (found.addresses.isEmpty())
        return {{}, notFound(fqdn, QStringLiteral("mDNS で応答がありませんでした"))};
    return {ipv4First(found.addresses), {}};
}

Resolution MdnsResolver::resolveThroughAvahi(const QString& fqdn, Clock::time_point deadline) const
{
    if (remaining(deadline) <= 0ms)
        return {{}, notFound(fqdn, QStringLiteral("時間内に応答がありませんでした"))};
    const QString unavailable = avahi::unavailableReason(m_bus, std::max(remaining(deadline), 1ms));
    if (!unavailable.isEmpty())
        return {{}, notFound(fqdn, unavailable)};

    const auto ask = [this, &fqdn, deadline](int addressProtocol) {
        QDBusMessage call = avahi::serverCall(QStringLiteral("ResolveHostName"));
        call << avahi::IfUnspec << avahi::ProtoUnspec << fqdn << addressProtocol << 0u;
        const auto timeout = std::max(remaining(deadline), 1ms);
        return m_bus.asyncCall(call, static_cast<int>(timeout.count()));
    };
    // Both families are asked at once; IPv4 is waited for, IPv6 is taken if it is there by then.
    QDBusPendingCall v4 = ask(avahi::ProtoInet);
    QDBusPendingCall v6 = ask(avahi::ProtoInet6);

    const auto addressOf = [](const QDBusPendingCall& call) -> std::optional<QHostAddress> {
        const QDBusMessage reply = call.reply();
        const QList<QVariant> args = reply.arguments();
        // interface, protocol, name, aprotocol, address, flags
        if (reply.type() != QDBusMessage::ReplyMessage || args.size() < 5)
            return std::nullopt;
        QHostAddress address(args.at(4).toString());
        if (address.isNull())
            return std::nullopt;
        // A link-local IPv6 address is only usable with the interface it was found on.
        if (address.protocol() == QAbstractSocket::IPv6Protocol && address.isLinkLocal() && address.scopeId().isEmpty())
            address.setScopeId(QNetworkInterface::interfaceNameFromIndex(args.at(0).toInt()));
        return address;
    };

    v4.waitForFinished();
    Resolution result;
    if (const auto address = addressOf(v4))
        result.addresses.append(*address);
    if (result.addresses.isEmpty())
        v6.waitForFinished();
    if (v6.isFinished()) {
        if (const auto address = addressOf(v6))
            result.addresses.append(*address);
    }
    if (result.addresses.isEmpty()) {
        const QDBusMessage reply = v4.isError() ? v4.reply() : v6.reply();
        const bool noAnswer = reply.errorName() == QLatin1StringView("org.freedesktop.Avahi.TimeoutError") ||
                              reply.errorName() == QLatin1StringView("org.freedesktop.DBus.Error.NoReply") ||
                              reply.errorName() == QLatin1StringView("org.freedesktop.DBus.Error.Timeout");
        result.error =
            notFound(fqdn, noAnswer ? QStringLiteral("mDNS で応答がありませんでした") : avahi::describeError(reply));
    }
    return result;
}

} // namespace net
