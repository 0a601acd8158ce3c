#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <chrono>

namespace platform {

/// Addresses found for a name, or why none were found.
struct Resolution
{
    QList<QHostAddress> addresses; ///< IPv4 first; empty when the name could not be resolved
    QString error;                 ///< a short Japanese reason when addresses is empty
};

/**
 * Resolves computer names to addresses: an IP literal as it is; otherwise getaddrinfo (hosts
 * file, DNS, LLMNR where the system has it). A lookup never blocks its caller longer than the
 * budget; answers are cached for a short time.
 */
class HostResolver
{
public:
    explicit HostResolver(std::chrono::milliseconds budget = std::chrono::seconds(2),
                          std::chrono::milliseconds cacheTime = std::chrono::seconds(30));
    virtual ~HostResolver();
    HostResolver(const HostResolver&) = delete;
    HostResolver& operator=(const HostResolver&) = delete;

    /// Resolves @p name, blocking at most the budget.
    virtual Resolution resolve(const QString& name);

    /// The resolver the program uses when none is injected.
    static HostResolver& shared();

private:
    class Private;
    Private* d;
};

} // namespace platform
