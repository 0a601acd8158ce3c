#include "hostresolver.h"

#include <QHash>
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

using namespace Qt::StringLiterals;

namespace platform {

namespace {

using Clock = HostResolver::Clock;

// Longer names are no host names (DNS allows 253 characters) and are refused before any lookup.
constexpr qsizetype MaxNameBytes = 1024;

QString notFoundText(const QString& name)
{
    return u"コンピュータ名「%1」が見つかりません。"_s.arg(name);
}

/// One lookup on a worker thread. Shared by the worker and the resolver, so either may go first.
struct Job
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    Resolution result;
};

struct CacheEntry
{
    Resolution resolution;
    Clock::time_point expires;
};

/// IPv4 first, each address once; IPv4-mapped IPv6 addresses count as the IPv4 address they carry.
QList<QHostAddress> normalized(const QList<QHostAddress>& addresses)
{
    QList<QHostAddress> v4;
    QList<QHostAddress> v6;
    for (const QHostAddress& address : addresses) {
        bool isIpv4 = false;
        const quint32 ipv4 = address.toIPv4Address(&isIpv4);
        if (isIpv4) {
            const QHostAddress plain(ipv4);
            if (!v4.contains(plain))
                v4.append(plain);
        } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            if (!v6.contains(address))
                v6.append(address);
        }
    }
    return v4 + v6;
}

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
    result.addresses = normalized(result.addresses);
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
    QHash<QString, CacheEntry> cache;
    QHash<QString, std::shared_ptr<Job>> inFlight;

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

HostResolver::HostResolver(std::chrono::milliseconds budget, std::chrono::milliseconds cacheTime)
    : HostResolver(&HostResolver::systemLookup, budget, cacheTime)
{}

HostResolver::HostResolver(LookupFunction lookup, std::chrono::milliseconds budget, std::chrono::milliseconds cacheTime)
    : d(new Private)
{
    d->budget = budget;
    d->cacheTime = cacheTime;
    d->failureTime = std::min(cacheTime, std::chrono::milliseconds(std::chrono::seconds(5)));
    d->lookup = std::move(lookup);
}

HostResolver::~HostResolver()
{
    // Workers still running hold their own share of their Job and copies of the lookup
    // functions; nothing they touch belongs to this object.
    delete d;
}

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

std::chrono::milliseconds HostResolver::failureCacheTime() const
{
    return d->failureTime;
}

Resolution HostResolver::resolve(const QString& name)
{
    if (name.isEmpty())
        return {{}, u"コンピュータ名が空です。"_s};
    if (const auto literal = literalAddress(name))
        return {{*literal}, {}};
    // A NUL would cut the name short in the C interfaces and resolve a different name.
    if (name.contains(QChar(0)) || name.toUtf8().size() > MaxNameBytes)
        return {{}, notFoundText(name.left(64))};

    const auto start = Clock::now();
    std::shared_ptr<Job> job;
    {
        const std::lock_guard lock(d->mutex);
        if (d->cache.size() > 64)
            d->dropExpired(start);
        const auto cached = d->cache.constFind(name);
        if (cached != d->cache.cend()) {
            if (cached->expires > start)
                return cached->resolution;
            d->cache.erase(cached);
        }
        job = d->inFlight.value(name);
        if (!job) {
            if (d->inFlight.size() >= MaxLookupsInFlight)
                d->collectFinished(start);
            if (d->inFlight.size() >= MaxLookupsInFlight)
                return {{}, u"名前解決の要求が多すぎます。しばらくしてからやり直してください。"_s};
            job = std::make_shared<Job>();
            try {
                const auto deadline = start + d->budget;
                std::thread([job, name, deadline, lookup = d->lookup, fallback = d->fallback] {
                    Resolution result = runLookup(name, deadline, lookup, fallback);
                    const std::lock_guard jobLock(job->mutex);
                    job->result = std::move(result);
                    job->done = true;
                    job->finished.notify_all();
                }).detach();
            } catch (const std::system_error&) {
                return {{}, u"名前解決を開始できませんでした。"_s};
            }
            d->inFlight.insert(name, job);
        }
    }

    Resolution result;
    {
        std::unique_lock jobLock(job->mutex);
        if (!job->finished.wait_until(jobLock, start + d->budget, [&] { return job->done; }))
            return {{}, u"コンピュータ名「%1」の名前解決が時間内に終わりませんでした。"_s.arg(name)};
        result = job->result;
    }

    const std::lock_guard lock(d->mutex);
    const auto it = d->inFlight.constFind(name);
    if (it != d->inFlight.cend() && *it == job) {
        d->inFlight.erase(it);
        d->remember(name, result, Clock::now());
    }
    return result;
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
    result.addresses = normalized(result.addresses);
    if (result.addresses.isEmpty())
        result.error = notFoundText(name);
    return result;
}

HostResolver& HostResolver::shared()
{
    static HostResolver instance;
    return instance;
}

} // namespace platform
