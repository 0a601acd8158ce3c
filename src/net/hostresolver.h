#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QObject;

namespace net {

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
 *
 * The lookup itself runs on a worker thread of its own. When the budget runs out the caller gets
 * a timeout error at once and the worker is left to finish; the timeout is cached like any
 * failure, so that the next caller does not wait for the same lookup again, and the late answer
 * is kept and served (and cached) by the next call for the same name once it is there.
 * Concurrent calls for one name, blocking or not, share a worker. Thread-safe.
 */
class HostResolver
{
public:
    using Clock = std::chrono::steady_clock;
    /// A blocking lookup of one name (not an IP literal). It may be slow; it runs on a worker thread.
    using LookupFunction = std::function<Resolution(const QString& name)>;
    /// A second lookup; @p deadline is when the caller stops waiting for the answer.
    using FallbackFunction = std::function<Resolution(const QString& name, Clock::time_point deadline)>;

    /// Lookups that outlived their budget keep a worker until the system gives up on them; at most
    /// this many run at a time, and further names fail at once while they do.
    static constexpr qsizetype MaxLookupsInFlight = 32;

    explicit HostResolver(std::chrono::milliseconds budget = std::chrono::seconds(2),
                          std::chrono::milliseconds cacheTime = std::chrono::seconds(30));
    /// A resolver that asks @p lookup instead of the system (tests simulate slow or failing resolvers).
    explicit HostResolver(LookupFunction lookup, std::chrono::milliseconds budget = std::chrono::seconds(2),
                          std::chrono::milliseconds cacheTime = std::chrono::seconds(30));
    virtual ~HostResolver();
    HostResolver(const HostResolver&) = delete;
    HostResolver& operator=(const HostResolver&) = delete;

    /// Receives the answer of resolveAsync().
    using Callback = std::function<void(const Resolution& resolution)>;

    /// Resolves @p name, blocking at most the budget.
    virtual Resolution resolve(const QString& name);

    /**
     * Resolves @p name without blocking the caller: @p callback gets the same answer resolve()
     * would give, on @p context's thread, when the lookup ends or at the latest when the budget
     * runs out (then with a timeout error). It is never called before this returns, exactly once,
     * and not at all when @p context is destroyed first. Call it on @p context's thread; the
     * resolver may be destroyed before the answer comes.
     */
    void resolveAsync(const QString& name, QObject* context, Callback callback);

    /// Replaces the primary lookup (by default systemLookup). Affects lookups started afterwards.
    void setLookup(LookupFunction lookup);

    /**
     * Sets a second lookup, asked on the same worker when the primary lookup found no address for
     * a name, with what is left of the budget. This is where multicast DNS (".local" names) plugs
     * in; the function decides itself which names it serves and returns an empty Resolution for
     * others. An answer that comes after the deadline is still cached for the next call.
     */
    void setFallback(FallbackFunction fallback);

    /// Replaces the clock the cache's lifetimes are measured with (tests move time on). Call it first.
    void setCacheClock(std::function<Clock::time_point()> clock);

    /// How long a failure is remembered: shorter than an answer, so that a partner that comes up is found soon.
    std::chrono::milliseconds failureCacheTime() const;

    /// getaddrinfo(AF_UNSPEC, SOCK_DGRAM), blocking, without cache or budget.
    static Resolution systemLookup(const QString& name);

    /// The resolver the program uses when none is injected.
    static HostResolver& shared();

private:
    class Private;
    std::shared_ptr<Private> d; // shared with the asynchronous lookups still waiting
};

} // namespace net
