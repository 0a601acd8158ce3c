#pragma once

#include "check/checkrow.h"
#include "net/hostresolver.h"

#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

namespace check {

/// Where a name's addresses came from.
enum class NameSource {
    Literal,      ///< the name is an IP address
    HostsFile,    ///< /etc/hosts
    ThisComputer, ///< the name of this PC (the system answers for it itself)
    Mdns,         ///< multicast DNS in ".local"
    Dns,          ///< the system's other name services: DNS, as a rule
};

/// The answer for the partner's name.
struct NameLookup
{
    QString name;
    QList<QHostAddress> addresses; ///< IPv4 first; empty when the name was not found
    NameSource source = NameSource::Dns;
    qint64 elapsedMs = 0;
    QString error; ///< the resolver's reason when no address was found
};

/// The addresses the hosts file @p content gives @p name (names compare without regard to case).
QList<QHostAddress> hostsFileAddresses(QByteArrayView content, const QString& name);

/**
 * Where @p found (the addresses found for @p name) came from: an IP literal, the hosts file
 * (@p hostsContent lists them), mDNS (@p answeredByMdns, or a ".local" name the system resolved
 * through nss-mdns), this PC's own name (@p localHostName), else DNS.
 */
NameSource sourceOf(const QString& name, const QList<QHostAddress>& found, QByteArrayView hostsContent,
                    bool answeredByMdns, const QString& localHostName);

/// How the name is looked up: the resolver's two lookups, its budget and the hosts file to consult.
struct LookupSettings
{
    net::HostResolver::LookupFunction lookup = &net::HostResolver::systemLookup;
    net::HostResolver::FallbackFunction mdns; ///< the ".local" lookup; none when empty
    std::chrono::milliseconds budget{1700};
    QString hostsPath = QStringLiteral("/etc/hosts");
};

/**
 * Looks @p name up with a resolver of its own (nothing cached from earlier lookups, so the time
 * is the real one) and calls @p done on @p context's thread with the answer and its source, at the
 * latest when the budget has run out; not at all when @p context is destroyed first.
 */
void lookUpName(const QString& name, const LookupSettings& settings, QObject* context,
                std::function<void(const NameLookup&)> done);

/// The row: the source, the addresses and the time, or why the name was not found.
Row nameResolutionRow(const NameLookup& lookup);

} // namespace check
