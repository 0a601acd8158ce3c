// Message latency: from the send handler of one main window (its Command2 click) to the new line
// in the partner window's List1, with the two windows in two processes, as two copies of the
// program on one machine: PC1 here, PC2 in a child process started from this program, on
// loopback. The partner writes the steady-clock time of each new List1 row to a pipe; the clock
// is the system's monotonic clock, the same in both processes. Between messages both sides get
// a few milliseconds to repaint, as between the messages a user types. Beside it, the floor: a
// raw UDP ping-pong between two plain sockets (round trip, two threads), with the same pauses and
// back to back. Each pair runs on two CPUs, one end on each, as on two PCs.
//
// The windows use the program's real window flasher; run the benchmark on an X display
// (QT_QPA_PLATFORM=xcb) for the figure a user sees, or offscreen for the chat code alone.
// Binds the chat ports 1001/1002: run it in a network namespace of its own, e.g.
//   scripts/in-netns.sh build/bin/bench_chat_latency [messages]
// Prints one line per figure, microseconds.
#include "benchstats.h"
#include "benchwindow.h"
#include "common/cp932codec.h"
#include "common/datetimetext.h"
#include "os/heapmemory.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using BenchClock = std::chrono::steady_clock;

namespace {

double microseconds(BenchClock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

int boundSocket(sockaddr_in& address)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return fd;
}

/**
 * Keeps the calling thread on @p cpu when the machine has a second one. The two ends of each
 * measurement run on two CPUs, as two PCs would: otherwise the scheduler may wake the receiver
 * on the sender's CPU, where it waits until the sender's send handler has finished.
 */
void pinToCpu(int cpu)
{
    if (std::thread::hardware_concurrency() < 2)
        return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    ::sched_setaffinity(0, sizeof set, &set);
}

/**
 * Round trips between two plain sockets, the echo in a second thread blocked in recvfrom;
 * back to back, or with @p gap between them as between the chat's messages.
 */
std::vector<double> rawPingPong(int count, const QByteArray& payload, std::chrono::milliseconds gap)
{
    sockaddr_in a{}, b{};
    const int fa = boundSocket(a);
    const int fb = boundSocket(b);
    std::thread echo([&] {
        pinToCpu(1);
        char buffer[2048];
        for (int i = 0; i < count; ++i) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(fb, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
            ::sendto(fb, buffer, std::size_t(std::max<ssize_t>(n, 0)), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
    });
    std::vector<double> samples;
    char buffer[2048];
    for (int i = 0; i < count; ++i) {
        const auto start = BenchClock::now();
        ::sendto(fa, payload.constData(), std::size_t(payload.size()), 0, reinterpret_cast<sockaddr*>(&b), sizeof b);
        ::recv(fa, buffer, sizeof buffer, 0);
        samples.push_back(microseconds(BenchClock::now() - start));
        std::this_thread::sleep_for(gap);
    }
    echo.join();
    ::close(fa);
    ::close(fb);
    return samples;
}

constexpr std::chrono::milliseconds Gap{3};

/// Notes when the event loop last found a socket readable: where the partner's own work starts.
class ReadableProbe final : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::SockAct)
            last = BenchClock::now();
        return false;
    }
    BenchClock::time_point last;
};

/**
 * The partner process: PC2's window, reporting for each new List1 row the time its socket was
 * found readable and the time of the row, on standard output.
 */
int runPartner()
{
    pinToCpu(1);
    bench::ConnectedWindow b;
    if (!b.open(true) || !QTest::qWaitForWindowExposed(b.window.get()))
        return 1;
    ReadableProbe probe;
    QCoreApplication::instance()->installEventFilter(&probe);
    QObject::connect(b.list(u"List1")->model(), &QAbstractItemModel::rowsInserted, b.window.get(), [&probe] {
        const auto nanoseconds = [](BenchClock::time_point t) {
            return std::to_string(std::chrono::nanoseconds(t.time_since_epoch()).count());
        };
        const std::string line = nanoseconds(probe.last) + ' ' + nanoseconds(BenchClock::now()) + '\n';
        if (::write(STDOUT_FILENO, line.data(), line.size()) < 0)
            QCoreApplication::exit(1);
    });
    std::puts("ready");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

/// What the partner reported for a row: when its socket was found readable, when the row came.
struct PartnerTimes
{
    BenchClock::time_point readable;
    BenchClock::time_point row;
};

/// The partner's times for its next row, or nothing when it reported none within 2 s.
std::optional<PartnerTimes> partnerRow(QProcess& partner)
{
    while (!partner.canReadLine()) {
        if (!partner.waitForReadyRead(2000))
            return std::nullopt;
    }
    const QList<QByteArray> fields = partner.readLine().trimmed().split(' ');
    if (fields.size() != 2)
        return std::nullopt;
    const auto at = [](const QByteArray& field) {
        return BenchClock::time_point(std::chrono::nanoseconds(field.toLongLong()));
    };
    return PartnerTimes{at(fields[0]), at(fields[1])};
}

/// Samples in microseconds: the whole latency, the send handler, and the partner's receive path.
struct LatencySamples
{
    std::vector<double> total;   ///< Command2 click to the partner's List1 row
    std::vector<double> handler; ///< Command2_Click from start to return, in the sender
    std::vector<double> receive; ///< socket found readable to the List1 row, in the partner
};

/// Latencies of @p count messages from this process's window to the partner's, after @p warmUp.
std::optional<LatencySamples> chatLatency(int count, int warmUp)
{
    QProcess partner;
    partner.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    partner.start(QCoreApplication::applicationFilePath(), {u"--partner"_s});
    if (!partner.waitForReadyRead(10000) || partner.readLine().trimmed() != "ready") {
        std::fprintf(stderr, "bench_chat_latency: the partner process did not start\n");
        return std::nullopt;
    }
    bench::ConnectedWindow a; // PC1
    if (!a.open(false) || !QTest::qWaitForWindowExposed(a.window.get())) {
        std::fprintf(stderr, "bench_chat_latency: the window did not connect\n");
        return std::nullopt;
    }

    QLineEdit* text2 = a.text(u"Text2");
    QPushButton* command2 = a.button(u"Command2");
    LatencySamples samples;
    for (int i = 0; i < warmUp + count; ++i) {
        text2->setText(u"遅延測定のメッセージ %1"_s.arg(i));
        const auto start = BenchClock::now();
        command2->click(); // runs Command2_Click
        const auto returned = BenchClock::now();
        const std::optional<PartnerTimes> arrived = partnerRow(partner);
        if (!arrived) {
            std::fprintf(stderr, "bench_chat_latency: message %d did not arrive\n", i);
            return std::nullopt;
        }
        if (i >= warmUp) {
            samples.total.push_back(microseconds(arrived->row - start));
            samples.handler.push_back(microseconds(returned - start));
            samples.receive.push_back(microseconds(arrived->row - arrived->readable));
        }
        QTest::qWait(int(Gap.count()));
    }
    partner.kill();
    partner.waitForFinished();
    return samples;
}

} // namespace

int main(int argc, char** argv)
{
    common::pinLocalTimeZone();  // as the program does
    os::keepFreedHeapForReuse(); // as the program does
    QApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--partner") == 0)
        return runPartner();
    pinToCpu(0);
    const int count = argc > 1 ? std::max(100, atoi(argv[1])) : 3000;
    const int warmUp = std::min(300, count / 10);

    for (const quint16 port : {quint16(1001), quint16(1002)}) {
        QUdpSocket probe;
        if (!probe.bind(QHostAddress::AnyIPv4, port)) {
            std::fprintf(stderr,
                         "bench_chat_latency: cannot bind UDP port %u (%s); run it through scripts/in-netns.sh\n", port,
                         qPrintable(probe.errorString()));
            return 77;
        }
    }

    const std::optional<LatencySamples> samples = chatLatency(count, warmUp);
    if (!samples)
        return 1;
    const QByteArray payload = common::cp932::encode(u"遅延測定のメッセージ 1234"_s).bytes;
    const auto floor = [&](std::chrono::milliseconds gap) {
        std::vector<double> pingPong = rawPingPong(warmUp + count, payload, gap);
        pingPong.erase(pingPong.begin(), pingPong.begin() + warmUp);
        return bench::summarize(pingPong);
    };
    const bench::Summary raw = floor(Gap);
    const bench::Summary rawBackToBack = floor(std::chrono::milliseconds(0));

    const bench::Summary chat = bench::summarize(samples->total);
    const bench::Summary handler = bench::summarize(samples->handler);
    const bench::Summary receive = bench::summarize(samples->receive);
    std::printf("messages=%d (after %d warm-up), platform %s\n", count, warmUp,
                qPrintable(QGuiApplication::platformName()));
    std::printf("chat Command2_Click -> partner List1 line: median %.1f us, p99 %.1f us, max %.1f us\n", chat.median,
                chat.p99, chat.max);
    std::printf("  of which partner, socket readable -> row: median %.1f us, p99 %.1f us\n", receive.median,
                receive.p99);
    std::printf("  sender's Command2_Click, start to return: median %.1f us, p99 %.1f us\n", handler.median,
                handler.p99);
    std::printf("raw UDP ping-pong, round trip, same pauses: median %.1f us, p99 %.1f us, max %.1f us\n", raw.median,
                raw.p99, raw.max);
    std::printf("raw UDP ping-pong, round trip, back to back: median %.1f us, p99 %.1f us, max %.1f us\n",
                rawBackToBack.median, rawBackToBack.p99, rawBackToBack.max);
    std::printf("ratio chat/ping-pong: median %.2f, p99 %.2f (target: at most 3)\n", chat.median / raw.median,
                chat.p99 / raw.p99);
    return 0;
}
