#include "nameresolution.h"

#include "net/datagramsocket.h"
#include "net/hostaddress.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;

namespace check {

namespace {

QString sourceText(NameSource source)
{
    switch (source) {
    case NameSource::Literal:
        return u"IP アドレス"_s;
    case NameSource::HostsFile:
        return u"hosts ファイル"_s;
    case NameSource::ThisComputer:
        return u"このPC自身の名前"_s;
    case NameSource::Mdns:
        return u"mDNS"_s;
    case NameSource::Dns:
        return u"DNS"_s;
    }
    return {};
}

} // namespace

QList<QHostAddress> hostsFileAddresses(QByteArrayView content, const QString& name)
{
    QList<QHostAddress> addresses;
    const QByteArray wanted = name.toUtf8().toLower();
    for (QByteArray line : content.toByteArray().split('\n')) {
        const qsizetype comment = line.indexOf('#');
        if (comment >= 0)
            line.truncate(comment);
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() < 2)
            continue;
        const QHostAddress address(QString::fromLatin1(words.constFirst()));
        if (address.isNull())
            continue;
        for (qsizetype i = 1; i < words.size(); ++i) {
            if (words.at(i).toLower() == wanted && !addresses.contains(address))
                addresses.append(address);
        }
    }
    return addresses;
}

NameSource sourceOf(const QString& name, const QList<QHostAddress>& found, QByteArrayView hostsContent,
                    bool answeredByMdns, const QString& localHostName)
{
    if (found.size() == 1 && !name.contains(u' ') && QHostAddress(name) == found.constFirst())
        return NameSource::Literal;
    if (answeredByMdns)
        return NameSource::Mdns;
    QList<QHostAddress> listed;
    for (const QHostAddress& address : hostsFileAddresses(hostsContent, name))
        listed.append(net::plainAddress(address));
    const bool allListed = !found.isEmpty() && std::all_of(found.cbegin(), found.cend(), [&](const QHostAddress& a) {
        return listed.contains(net::plainAddress(a));
    });
    if (allListed)
        return NameSource::HostsFile;
    if (name.endsWith(u".local"_s, Qt::CaseInsensitive) || name.endsWith(u".local."_s, Qt::CaseInsensitive))
        return NameSource::Mdns;
    if (name.compare(localHostName, Qt::CaseInsensitive) == 0)
        return NameSource::ThisComputer;
    return NameSource::Dns;
}

void lookUpName(const QString& name, const LookupSettings& settings, QObject* context,
                std::function<void(const NameLookup&)> done)
{
    // The resolver's fallback tells whether it was multicast DNS that answered.
    const auto answeredByMdns = std::make_shared<std::atomic_bool>(false);
    net::HostResolver resolver(settings.lookup, settings.budget, std::chrono::milliseconds(0));
    if (settings.mdns) {
        resolver.setFallback([mdns = settings.mdns, answeredByMdns](const QString& asked,
                                                                    net::HostResolver::Clock::time_point deadline) {
            net::Resolution answer = mdns(asked, deadline);
            if (!answer.addresses.isEmpty())
                *answeredByMdns = true;
            return answer;
        });
    }
    QElapsedTimer clock;
    clock.start();
    // The answer comes after the resolver is gone; it holds nothing the lookup needs.
    resolver.resolveAsync(name, context,
                          [name, clock, answeredByMdns, hostsPath = settings.hostsPath,
                           done = std::move(done)](const net::Resolution& answer) {
                              NameLookup lookup{name, answer.addresses, NameSource::Dns, clock.elapsed(), answer.error};
                              QFile hosts(hostsPath);
                              const QByteArray hostsContent =
                                  hosts.open(QIODevice::ReadOnly) ? hosts.read(1024 * 1024) : QByteArray();
                              lookup.source = sourceOf(name, answer.addresses, hostsContent, *answeredByMdns,
                                                       net::DatagramSocket::localHostName());
                              done(lookup);
                          });
}

Row nameResolutionRow(const NameLookup& lookup)
{
    if (lookup.addresses.isEmpty()) {
        return {Mark::Failed, u"%1（%2 ms）"_s.arg(lookup.error).arg(lookup.elapsedMs),
                u"名前のつづりを確かめるか、相手の IP アドレス（相手の端末で hostname -I）を入力してください。"_s};
    }
    if (lookup.source == NameSource::Literal)
        return {Mark::Passed, u"「%1」は IP アドレスです（名前解決は要りません）。"_s.arg(lookup.name), {}};
    return {Mark::Passed,
            u"「%1」は %2 で %3 に解決しました（%4 ms）。"_s
                .arg(lookup.name, sourceText(lookup.source), addressList(lookup.addresses))
                .arg(lookup.elapsedMs),
            {}};
}

} // namespace check
