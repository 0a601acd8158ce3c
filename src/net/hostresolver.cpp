#include "hostresolver.h"

#include "net/hostaddress.h"

#include <QBasicTimer>
#include <QHash>
#include <QObject>
#include <QTimerEvent>
#include <QUrl>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace net {

namespace {

using Clock = HostResolver::Clock;

// Longer names are no host names (DNS allows 253 characters) and are refused before any lookup.
constexpr qsizetype MaxNameBytes = 1024;

QString notFoundText(const QString& name)
{
    return u"コンピュータ名「%1」が見つかりません。"_s.arg(name);
}

/**
 * The way from a worker thread to one asynchronous caller. The worker posts through it while the
 * receiver lives; the receiver clears it under the same lock before it goes, so that a post never
 * reaches a destroyed object.
 */
struct Relay
{
    std::mutex mutex;
    QObject* receiver = nullptr;
};

/// One lookup on a worker thread. Shared by the worker and the resolver, so either may go first.
struct Job
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    Resolution result;
    std::vector<std::shared_ptr<Relay>> relays; // asynchronous callers waiting for the answer
};

void notifyReceiver(Relay& relay);

QString timeoutText(const QString& name)
{
    return u"コンピュータ名「%1」の名前解決が時間内に終わりませんでした。"_s.arg(name);
}

struct CacheEntry
{
    Resolution resolution;
    Clock::time_point expires;
};

/// The address when @p name is an IP literal: a strict dotted quad, or IPv6 (with an optional scope).
std::optional<QHostAddress> literalAddress(const QString& name)
{
    if (name.contains(u':')) {
        // QHostAddress forgives surrounding blanks; a name with blanks is no literal.
        QHostAddress address;
        if (!name.front().isSpace() && !name.back().isSpace() && address.setAddress(name) &&
            address.protocol() == QAbstractSocket::IPv6Protocol)
            return address;
        return std::nullopt;
    }
    in_addr ipv4{};
    const QByteArray latin = name.toLatin1();
    if (name.size() <= 15 && inet_pton(AF_INET, latin.constData(), &ipv4) == 1)
        return QHostAddress(ntohl(ipv4.s_addr));
    return std::nullopt;
}

/// Runs the primary lookup and, when it finds nothing, the fallback; fills in a reason when empty.
Resolution runLookup(const QString& name, Clock::time_point deadline, const HostResolver::LookupFunction& lookup,
                     const HostResolver::FallbackFunction& fallback)
{
    Resolution result = lookup ? lookup(name) : Resolution{};
    if (result.addresses.isEmpty() && fallback) {
        Resolution second = fallback(name, deadline);
        if (!second.addresses.isEmpty())
            result = std::move(second);
    }
    result.addresses = ipv4First(result.addresses);
    if (result.addresses.isEmpty() && result.error.isEmpty())
        result.error = notFoundText(name);
    if (!result.addresses.isEmpty())
        result.error.clear();
    return result;
}

} // namespace

class HostResolver::Private
{
public:
    std::chrono::milliseconds budget;
    std::chrono::milliseconds cacheTime;
    std::chrono::milliseconds failureTime;

    std::mutex mutex; // guards everything below
    LookupFunction lookup;
    FallbackFunction fallback;
    std::function<Clock::time_point()> cacheClock = [] { return Clock::now(); }; ///< measures cache lifetimes
    QHash<QString, CacheEntry> cache;
    QHash<QString, std::shared_ptr<Job>> inFlight;

    /// Where a lookup starts: an answer at once, or the lookup to wait for.
    struct Start
    {
        std::optional<Resolution> answer;
        std::shared_ptr<Job> job;
    };

    /**
     * The answer when one is there without waiting (an IP literal, a refused name, a lookup that
     * has just finished, the cache); otherwise the lookup of @p name, started when none runs.
     */
    Start start(const QString& name, Clock::time_point started)
    {
        if (name.isEmpty())
            return {Resolution{{}, u"コンピュータ名が空です。"_s}, {}};
        if (const auto literal = literalAddress(name))
            return {Resolution{{*literal}, {}}, {}};
        // A NUL would cut the name short in the C interfaces and resolve a different name.
        if (name.contains(QChar(0)) || name.toUtf8().size() > MaxNameBytes)
            return {Resolution{{}, notFoundText(name.left(64))}, {}};

        const std::lock_guard lock(mutex);
        const Clock::time_point now = cacheClock();
        if (cache.size() > 64)
            dropExpired(now);
        // A late answer beats a remembered timeout: it is what the name gives now.
        std::shared_ptr<Job> job = inFlight.value(name);
        if (job) {
            std::unique_lock jobLock(job->mutex);
            if (job->done) {
                Resolution result = job->result;
                jobLock.unlock();
                inFlight.remove(name);
                remember(name, result, now);
                return {std::move(result), {}};
            }
        }
        const auto cached = cache.constFind(name);
        if (cached != cache.cend()) {
            if (cached->expires > now)
                return {cached->resolution, {}};
            cache.erase(cached);
        }
        if (job)
            return {{}, job};

        if (inFlight.size() >= MaxLookupsInFlight)
            collectFinished(now);
        if (inFlight.size() >= MaxLookupsInFlight)
            return {Resolution{{}, u"名前解決の要求が多すぎます。しばらくしてからやり直してください。"_s}, {}};
        job = std::make_shared<Job>();
        try {
            std::thread([job, name, deadline = started + budget, lookup = lookup, fallback = fallback] {
                Resolution result = runLookup(name, deadline, lookup, fallback);
                std::vector<std::shared_ptr<Relay>> relays;
                {
                    const std::lock_guard jobLock(job->mutex);
                    job->result = std::move(result);
                    job->done = true;
                    relays.swap(job->relays);
                    job->finished.notify_all();
                }
                for (const auto& relay : relays)
                    notifyReceiver(*relay);
            }).detach();
        } catch (const std::system_error&) {
            return {Resolution{{}, u"名前解決を開始できませんでした。"_s}, {}};
        }
        inFlight.insert(name, job);
        return {{}, job};
    }

    /// Takes the answer of @p job, when it is still the lookup of @p name, into the cache.
    void finished(const QString& name, const std::shared_ptr<Job>& job, const Resolution& result)
    {
        const std::lock_guard lock(mutex);
        const auto it = inFlight.constFind(name);
        if (it != inFlight.cend() && *it == job) {
            inFlight.erase(it);
            remember(name, result, cacheClock());
        }
    }

    /// Remembers that a lookup of @p name outlived its budget; the lookup itself goes on.
    Resolution timedOut(const QString& name)
    {
        Resolution result{{}, timeoutText(name)};
        const std::lock_guard lock(mutex);
        remember(name, result, cacheClock());
        return result;
    }

    void remember(const QString& name, const Resolution& resolution, Clock::time_point now)
    {
        const auto lifetime = resolution.addresses.isEmpty() ? failureTime : cacheTime;
        if (lifetime.count() > 0)
            cache.insert(name, CacheEntry{resolution, now + lifetime});
    }

    /// Moves the answers of lookups that finished after their callers gave up into the cache.
    void collectFinished(Clock::time_point now)
    {
        for (auto it = inFlight.begin(); it != inFlight.end();) {
            std::unique_lock jobLock((*it)->mutex);
            if ((*it)->done) {
                remember(it.key(), (*it)->result, now);
                jobLock.unlock();
                it = inFlight.erase(it);
            } else {
                ++it;
            }
        }
    }

    void dropExpired(Clock::time_point now)
    {
        for (auto it = cache.begin(); it != cache.end();) {
            if (it->expires <= now)
                it = cache.erase(it);
            else
                ++it;
        }
    }
};

namespace {

/**
 * One asynchronous caller waiting for a lookup, on the caller's thread as a child of its context
 * object, so that it goes with the context. It answers once: when the worker's answer arrives or
 * when the budget runs out, whichever comes first, and then deletes itself.
 */
class AsyncLookup final : public QObject
{
public:
    /// What the resolver does with an answer: @p finished takes the worker's into the cache,
    /// @p timedOut remembers a timeout and returns its error.
    struct ResolverHooks
    {
        std::function<void(const std::shared_ptr<Job>& job, const Resolution& result)> finished;
        std::function<Resolution()> timedOut;
    };

    AsyncLookup(QObject* context, HostResolver::Callback callback, ResolverHooks hooks, std::shared_ptr<Job> job,
                Clock::time_point deadline)
        : QObject(context)
        , m_callback(std::move(callback))
        , m_hooks(std::move(hooks))
        , m_job(std::move(job))
        , m_relay(std::make_shared<Relay>())
    {
        m_relay->receiver = this;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        m_deadline.start(int(std::max<qint64>(0, left.count())), Qt::PreciseTimer, this);
        const std::lock_guard jobLock(m_job->mutex);
        if (m_job->done)
            QMetaObject::invokeMethod(this, &AsyncLookup::answerArrived, Qt::QueuedConnection);
        else
            m_job->relays.push_back(m_relay);
    }

    ~AsyncLookup() override
    {
        const std::lock_guard lock(m_relay->mutex);
        m_relay->receiver = nullptr;
    }

    Q_DISABLE_COPY_MOVE(AsyncLookup)

    void answerArrived()
    {
        Resolution result;
        {
            const std::lock_guard jobLock(m_job->mutex);
            result = m_job->result;
        }
        m_hooks.finished(m_job, result);
        answer(result);
    }

protected:
    void timerEvent(QTimerEvent* event) override
    {
        if (event->timerId() != m_deadline.timerId()) {
            QObject::timerEvent(event);
            return;
        }
        bool done = false;
        {
            const std::lock_guard jobLock(m_job->mutex);
            done = m_job->done;
        }
        // The answer may have come just now, its notice still on the way.
        if (done) {
            answerArrived();
            return;
        }
        answer(m_hooks.timedOut());
    }

private:
    void answer(const Resolution& result)
    {
        if (m_answered)
            return;
        m_answered = true;
        m_deadline.stop();
        // The callback may destroy the context and with it this object: nothing is touched after it.
        const HostResolver::Callback callback = std::move(m_callback);
        deleteLater();
        callback(result);
    }

    HostResolver::Callback m_callback;
    ResolverHooks m_hooks;
    std::shared_ptr<Job> m_job;
    std::shared_ptr<Relay> m_relay;
    QBasicTimer m_deadline;
    bool m_answered = false;
};

void notifyReceiver(Relay& relay)
{
    const std::lock_guard lock(relay.mutex);
    if (relay.receiver)
        QMetaObject::invokeMethod(static_cast<AsyncLookup*>(relay.receiver), &AsyncLookup::answerArrived,
                                  Qt::QueuedConnection);
}

} // namespace

HostResolver::HostResolver(std::chrono::milliseconds budget, std::chrono::milliseconds cacheTime)
    : HostResolver(&HostResolver::systemLookup, budget, cacheTime)
{}

HostResolver::HostResolver(LookupFunction lookup, std::chrono::milliseconds budget, std::chrono::milliseconds cacheTime)
    : d(std::make_shared<Private>())
{
    d->budget = budget;
    d->cacheTime = cacheTime;
    d->failureTime = std::min(cacheTime, std::chrono::milliseconds(std::chrono::seconds(5)));
    d->lookup = std::move(lookup);
}

// Workers still running hold their own share of their Job and copies of the lookup functions;
// asynchronous callers still waiting hold only a weak reference to the state.
HostResolver::~HostResolver() = default;

void HostResolver::setLookup(LookupFunction lookup)
{
    const std::lock_guard lock(d->mutex);
    d->lookup = std::move(lookup);
    d->cache.clear();
}

void HostResolver::setFallback(FallbackFunction fallback)
{
    const std::lock_guard lock(d->mutex);
    d->fallback = std::move(fallback);
    d->cache.clear();
}

void HostResolver::setCacheClock(std::function<Clock::time_point()> clock)
{
    const std::lock_guard lock(d->mutex);
    d->cacheClock = std::move(clock);
}

std::chrono::milliseconds HostResolver::failureCacheTime() const
{
    return d->failureTime;
}

Resolution HostResolver::resolve(const QString& name)
{
    const auto start = Clock::now();
    Private::Start started = d->start(name, start);
    if (started.answer)
        return std::move(*started.answer);

    const std::shared_ptr<Job>& job = started.job;
    Resolution result;
    {
        std::unique_lock jobLock(job->mutex);
        if (!job->finished.wait_until(jobLock, start + d->budget, [&] { return job->done; })) {
            jobLock.unlock();
            return d->timedOut(name);
        }
        result = job->result;
    }
    d->finished(name, job, result);
    return result;
}

void HostResolver::resolveAsync(const QString& name, QObject* context, Callback callback)
{
    Q_ASSERT(context && callback);
    const auto start = Clock::now();
    Private::Start started = d->start(name, start);
    if (started.answer) {
        QMetaObject::invokeMethod(
            context, [callback = std::move(callback), answer = std::move(*started.answer)] { callback(answer); },
            Qt::QueuedConnection);
        return;
    }
    // The hooks hold the resolver's state weakly: the resolver may go before the answer comes.
    const std::weak_ptr<Private> state = d;
    AsyncLookup::ResolverHooks hooks;
    hooks.finished = [state, name](const std::shared_ptr<Job>& job, const Resolution& result) {
        if (const auto resolver = state.lock())
            resolver->finished(name, job, result);
    };
    hooks.timedOut = [state, name] {
        const auto resolver = state.lock();
        return resolver ? resolver->timedOut(name) : Resolution{{}, timeoutText(name)};
    };
    new AsyncLookup(context, std::move(callback), std::move(hooks), std::move(started.job), start + d->budget);
}

Resolution HostResolver::systemLookup(const QString& name)
{
    // getaddrinfo expects the ASCII form of an internationalised name.
    QByteArray host;
    const bool ascii = std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (!ascii)
        host = QUrl::toAce(name);
    if (host.isEmpty())
        host = name.toUtf8();

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    const int status = getaddrinfo(host.constData(), nullptr, &hints, &list);
    Resolution result;
    if (status != 0) {
        switch (status) {
        case EAI_NONAME:
        case EAI_NODATA:
        case EAI_ADDRFAMILY:
        case EAI_FAIL:
            result.error = notFoundText(name);
            break;
        case EAI_AGAIN:
            result.error = u"コンピュータ名「%1」を今は解決できません（名前サーバーが応答しません）。"_s.arg(name);
            break;
        default:
            result.error = u"コンピュータ名「%1」の名前解決に失敗しました（%2）。"_s.arg(
                name, QString::fromLocal8Bit(gai_strerror(status)));
            break;
        }
        return result;
    }
    for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET || entry->ai_family == AF_INET6)
            result.addresses.append(QHostAddress(entry->ai_addr));
    }
    freeaddrinfo(list);
    result.addresses = ipv4First(result.addresses);
    if (result.addresses.isEmpty())
        result.error = notFoundText(name);
    return result;
}

HostResolver& HostResolver::shared()
{
    static HostResolver instance;
    return instance;
}

} // namespace net
