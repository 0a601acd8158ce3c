#pragma once

#include "net/hostresolver.h"

#include <QDBusConnection>
#include <QString>

#include <chrono>

namespace net {

/**
 * Resolves a computer name in the ".local" domain by multicast DNS, for names that the ordinary
 * lookup does not know: "pcb" and "pcb.local" both ask for pcb.local. Where the system's name
 * service has nss-mdns (an "mdns" entry on the hosts line of nsswitch.conf) the lookup goes through
 * getaddrinfo; otherwise, or when that finds nothing in time, it asks the Avahi daemon on the
 * system bus (Server.ResolveHostName). Neither path ever blocks past the caller's deadline.
 */
class MdnsResolver final
{
public:
    using Clock = std::chrono::steady_clock;

    /**
     * @p bus is the bus the Avahi daemon is on; @p nsswitchPath the name service configuration
     * that says whether getaddrinfo knows ".local" names.
     */
    explicit MdnsResolver(const QDBusConnection& bus = QDBusConnection::systemBus(),
                          const QString& nsswitchPath = QStringLiteral("/etc/nsswitch.conf"));

    /**
     * Resolves @p name in ".local": through getaddrinfo when nss-mdns is configured (which cannot
     * be cancelled, so call this on a worker thread, as HostResolver's fallback does), then through
     * Avahi until @p deadline. @return the addresses, IPv4 first, or none and a short Japanese reason.
     */
    Resolution resolve(const QString& name, Clock::time_point deadline) const;

    /// The ".local" name asked for @p name, or an empty text when @p name is no mDNS name.
    static QString localName(const QString& name);

    /// Whether @p nsswitchContent names an nss-mdns module on its hosts line.
    static bool hostsLineHasMdns(const QByteArray& nsswitchContent);

private:
    Resolution resolveThroughNss(const QString& fqdn) const;
    Resolution resolveThroughAvahi(const QString& fqdn, Clock::time_point deadline) const;

    QDBusConnection m_bus;
    QString m_nsswitchPath;
};

} // namespace net
