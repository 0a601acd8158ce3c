// Name resolution when the name server does not answer: the program's HostResolver beside the
// two ready-made asynchronous lookups it could be replaced with, QHostInfo::lookupHost with a
// timer for the 2 s budget and glibc's getaddrinfo_a with gai_suspend, and the blocking
// QHostInfo::fromName. Three situations:
//   blocking   one lookup of a name the name server never answers, made where the chat makes it:
//              inside an event handler that needs the answer before it returns (the send button,
//              the connect notice). Time until the caller has an answer, and how many events of
//              a 10 ms timer (standing for the chat socket and the window's timers) ran inside
//              the caller's handler meanwhile.
//   behind-K   K lookups of names the name server never answers are running; then a name from
//              the hosts file is asked for with the 2 s budget. Time until it is answered.
//   appears    a name the name server says does not exist is asked for once; then it is added to
//              the hosts file (as when the partner PC comes up and gets its entry). Time until a
//              lookup every 250 ms finds it.
//   moves      a name found in the hosts file gets another address there. Time until a lookup
//              every 250 ms finds the new one.
// Run it through bench/resolver.sh, which starts it in network and mount namespaces of its own
// where /etc/hosts and /etc/resolv.conf are the script's files and the name server on 127.0.0.1:53
// is this program: silent for names whose first label begins with "hang", "no such name" for
// the rest. It refuses to run anywhere else, as it writes to /etc/hosts.
// Prints one line per figure: situation, way, K, milliseconds, and whether the name was found.
#include "net/hostresolver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr auto Budget = 2s;

/// The name server of the benchmark's namespace: silent for "hang…" names, NXDOMAIN for others.
class FakeNameServer final
{
public:
    FakeNameServer()
    {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(53);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            std::perror("bench_resolver: cannot bind 127.0.0.1:53");
            std::exit(2);
        }
        m_thread = std::thread([this] { serve(); });
    }

    ~FakeNameServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }

    FakeNameServer(const FakeNameServer&) = delete;
    FakeNameServer& operator=(const FakeNameServer&) = delete;

private:
    void serve()
    {
        unsigned char packet[1500];
        while (!m_stop) {
            pollfd ready{m_fd, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0)
                continue;
            sockaddr_storage from{};
            socklen_t fromSize = sizeof from;
            const ssize_t size =
                recvfrom(m_fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
            // Header, then the question: labels, a zero byte, type and class.
            std::size_t end = 12;
            while (size > 12 && end < std::size_t(size) && packet[end] != 0)
                end += packet[end] + 1u;
            end += 5;
            if (size <= 12 || end > std::size_t(size))
                continue;
            // "hang…" names are never answered.
            if (packet[12] >= 4 && std::memcmp(packet + 13, "hang", 4) == 0)
                continue;
            packet[2] = static_cast<unsigned char>(0x80 | (packet[2] & 0x01)); // a response, recursion as asked
            packet[3] = 0x83;                                                  // recursion available, NXDOMAIN
            std::memset(packet + 6, 0, 6);                                     // no records
            sendto(m_fd, packet, end, 0, reinterpret_cast<const sockaddr*>(&from), fromSize);
        }
    }

    int m_fd = -1;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

double millisecondsSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

void report(const char* situation, const char* way, int k, double ms, bool found)
{
    std::printf("%-9s %-26s K=%-3d %9.1f ms  %s\n", situation, way, k, ms, found ? "found" : "no answer");
    std::fflush(stdout);
}

/// One getaddrinfo_a request; it must stay where it is until glibc has finished it.
struct GaiRequest
{
    explicit GaiRequest(const QByteArray& name)
        : host(name)
    {
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        block.ar_name = host.constData();
        block.ar_request = &hints;
        gaicb* list[] = {&block};
        getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr);
    }
    ~GaiRequest()
    {
        while (gai_error(&block) == EAI_INPROGRESS)
            QThread::msleep(50);
        if (block.ar_result)
            freeaddrinfo(block.ar_result);
    }
    GaiRequest(const GaiRequest&) = delete;
    GaiRequest& operator=(const GaiRequest&) = delete;

    /// Waits until the answer is there, at most @p budget. @return whether an address was found.
    bool wait(std::chrono::milliseconds budget)
    {
        const gaicb* list[] = {&block};
        const auto deadline = std::chrono::steady_clock::now() + budget;
        while (gai_error(&block) == EAI_INPROGRESS) {
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= 0ns)
                return false;
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
            const timespec timeout{time_t(seconds.count()), long((left - seconds).count())};
            gai_suspend(list, 1, &timeout);
        }
        return gai_error(&block) == 0 && block.ar_result;
    }

    QByteArray host;
    addrinfo hints{};
    gaicb block{};
};

/// Counts the events of a 10 ms timer that run while a caller waits.
struct TickCounter
{
    QTimer timer;
    int ticks = 0;
    TickCounter()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { ++ticks; });
        timer.start();
    }
};

/// Waits for an asynchronous answer inside the caller, as a blocking caller on the UI thread would have to.
std::optional<QHostInfo> qtLookupInNestedLoop(const QString& name)
{
    QEventLoop loop;
    std::optional<QHostInfo> answer;
    QHostInfo::lookupHost(name, &loop, [&](const QHostInfo& info) {
        answer = info;
        loop.quit();
    });
    QTimer::singleShot(Budget, &loop, &QEventLoop::quit);
    loop.exec();
    return answer;
}

bool found(const std::optional<QHostInfo>& info)
{
    return info && info->error() == QHostInfo::NoError && !info->addresses().isEmpty();
}

void blocking(net::HostResolver& resolver)
{
    QElapsedTimer clock;
    {
        TickCounter events;
        clock.start();
        const bool ok = !resolver.resolve(u"hang-blocking-ours.example"_s).addresses.isEmpty();
        report("blocking", "HostResolver::resolve", 0, millisecondsSince(clock), ok);
        std::printf("          events inside the handler: %d\n", events.ticks);
    }
    {
        TickCounter events;
        clock.start();
        const bool ok = found(qtLookupInNestedLoop(u"hang-blocking-qt.example"_s));
        report("blocking", "lookupHost+timer,nested", 0, millisecondsSince(clock), ok);
        std::printf("          events inside the handler: %d\n", events.ticks);
    }
    {
        clock.start();
        GaiRequest request("hang-blocking-gai.example");
        const bool ok = request.wait(Budget);
        report("blocking", "getaddrinfo_a+gai_suspend", 0, millisecondsSince(clock), ok);
    }
    {
        clock.start();
        const QHostInfo info = QHostInfo::fromName(u"hang-blocking-fromname.example"_s);
        report("blocking", "QHostInfo::fromName", 0, millisecondsSince(clock),
               info.error() == QHostInfo::NoError && !info.addresses().isEmpty());
    }
}

/// Lets the hung lookups of a round end (the name server's silence lasts the resolver's timeouts).
void waitForHungLookups(std::chrono::milliseconds hang)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < hang.count())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void behind(int k, std::chrono::milliseconds hang)
{
    QElapsedTimer clock;
    // A name of its own per round: QHostInfo keeps what it found.
    const QString hostsName = u"pc-hosts-%1.example"_s.arg(k);
    {
        net::HostResolver resolver;
        QObject context;
        for (int i = 0; i < k; ++i)
            resolver.resolveAsync(u"hang-ours-%1-%2.example"_s.arg(k).arg(i), &context, [](const auto&) {});
        QThread::msleep(200);
        bool ok = false;
        bool answered = false;
        clock.start();
        resolver.resolveAsync(hostsName, &context, [&](const auto& answer) {
            ok = !answer.addresses.isEmpty();
            answered = true;
        });
        while (!answered)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        report("behind-K", "HostResolver::resolveAsync", k, millisecondsSince(clock), ok);
        waitForHungLookups(hang);
    }
    {
        QObject context;
        for (int i = 0; i < k; ++i)
            QHostInfo::lookupHost(u"hang-qt-%1-%2.example"_s.arg(k).arg(i), &context, [](const QHostInfo&) {});
        QThread::msleep(200);
        clock.start();
        const bool ok = found(qtLookupInNestedLoop(hostsName));
        report("behind-K", "lookupHost+timer", k, millisecondsSince(clock), ok);
        waitForHungLookups(hang);
    }
    {
        std::vector<std::unique_ptr<GaiRequest>> hung;
        for (int i = 0; i < k; ++i)
            hung.push_back(std::make_unique<GaiRequest>(QByteArray("hang-gai-") + QByteArray::number(k) + '-' +
                                                        QByteArray::number(i) + ".example"));
        QThread::msleep(200);
        clock.start();
        GaiRequest request(hostsName.toLatin1());
        const bool ok = request.wait(Budget);
        report("behind-K", "getaddrinfo_a+gai_suspend", k, millisecondsSince(clock), ok);
        hung.clear(); // waits for them
    }
}

/// The three ways, each a lookup with the 2 s budget that returns the addresses found.
struct Way
{
    const char* label;
    std::function<QList<QHostAddress>(const QString& name)> lookup;
};

QList<QHostAddress> gaiAddresses(const QString& name)
{
    GaiRequest request(name.toLatin1());
    QList<QHostAddress> addresses;
    if (request.wait(Budget)) {
        for (const addrinfo* entry = request.block.ar_result; entry; entry = entry->ai_next)
            addresses.append(QHostAddress(entry->ai_addr));
    }
    return addresses;
}

void writeHosts(const QByteArray& content, QIODevice::OpenMode mode)
{
    // The bind-mounted file is written in place: a new file would not be the one mounted.
    QFile hosts(u"/etc/hosts"_s);
    if (!hosts.open(mode) || hosts.write(content) != content.size()) {
        std::fprintf(stderr, "bench_resolver: cannot write /etc/hosts\n");
        std::exit(2);
    }
}

/// A name that was not found appears, and a name that was found moves to another address.
void changes()
{
    net::HostResolver resolver;
    const std::vector<Way> ways{
        {"HostResolver::resolve", [&resolver](const QString& name) { return resolver.resolve(name).addresses; }},
        {"lookupHost+timer",
         [](const QString& name) {
             const std::optional<QHostInfo> info = qtLookupInNestedLoop(name);
             return info ? info->addresses() : QList<QHostAddress>{};
         }},
        {"getaddrinfo_a+gai_suspend", gaiAddresses},
    };
    const QHostAddress moved(u"10.0.0.10"_s);
    const auto newName = [](std::size_t way) { return u"newpc-%1.example"_s.arg(way); };
    const auto movingName = [](std::size_t way) { return u"movingpc-%1.example"_s.arg(way); };

    writeHosts("10.0.0.9 movingpc-0.example movingpc-1.example movingpc-2.example\n", QIODevice::Append);
    for (std::size_t way = 0; way < ways.size(); ++way) {
        ways[way].lookup(newName(way));
        ways[way].lookup(movingName(way));
    }
    writeHosts("127.0.0.1 localhost\n10.0.0.9 newpc-0.example newpc-1.example newpc-2.example\n"
               "10.0.0.10 movingpc-0.example movingpc-1.example movingpc-2.example\n",
               QIODevice::WriteOnly | QIODevice::Truncate);

    QElapsedTimer clock;
    clock.start();
    constexpr double GiveUpMs = 75'000;
    std::vector<std::optional<double>> appearedAt(ways.size());
    std::vector<std::optional<double>> movedAt(ways.size());
    const auto allSeen = [&] {
        return std::all_of(appearedAt.cbegin(), appearedAt.cend(), [](const auto& at) { return at.has_value(); }) &&
               std::all_of(movedAt.cbegin(), movedAt.cend(), [](const auto& at) { return at.has_value(); });
    };
    while (!allSeen() && millisecondsSince(clock) < GiveUpMs) {
        for (std::size_t way = 0; way < ways.size(); ++way) {
            if (!appearedAt[way] && !ways[way].lookup(newName(way)).isEmpty())
                appearedAt[way] = millisecondsSince(clock);
            if (!movedAt[way] && ways[way].lookup(movingName(way)).contains(moved))
                movedAt[way] = millisecondsSince(clock);
        }
        waitForHungLookups(250ms);
    }
    for (std::size_t way = 0; way < ways.size(); ++way)
        report("appears", ways[way].label, 0, appearedAt[way].value_or(GiveUpMs), appearedAt[way].has_value());
    for (std::size_t way = 0; way < ways.size(); ++way)
        report("moves", ways[way].label, 0, movedAt[way].value_or(GiveUpMs), movedAt[way].has_value());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariable("TAVIK_BENCH_RESOLVER") != u"1"_s) {
        std::fprintf(stderr, "bench_resolver: run it through bench/resolver.sh (it writes to /etc/hosts)\n");
        return 2;
    }
    FakeNameServer nameServer;

    // How long the system resolver waits for a silent name server (resolv.conf's timeout and attempts).
    QElapsedTimer clock;
    clock.start();
    QHostInfo::fromName(u"hang-measure.example"_s);
    const auto hang = std::chrono::milliseconds(clock.elapsed() + 1000);
    std::printf("a silent name server holds a lookup %.1f s\n", double(hang.count() - 1000) / 1000);

    net::HostResolver resolver;
    blocking(resolver);
    for (const int k : {0, 19, 20, 32})
        behind(k, hang);
    changes();
    return 0;
}
