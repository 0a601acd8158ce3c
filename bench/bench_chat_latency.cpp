// Message latency: from the send handler of one main window (its Command2 click) to the new line
// in the partner window's List1. Both windows run in this one process and thread, PC1 and PC2 on
// loopback, so the figure includes the event loop's turn between the two. Beside it, the floor:
// a raw UDP ping-pong between two plain sockets (round trip, two threads), and one datagram from
// one plain socket to another in a single thread (one way).
//
// The windows use the program's real window flasher; run the benchmark on an X display
// (QT_QPA_PLATFORM=xcb) for the figure a user sees, or offscreen for the chat code alone.
// Binds the chat ports 1001/1002: run it in a network namespace of its own, e.g.
//   scripts/in-netns.sh build/bin/bench_chat_latency [messages]
// Prints one line per figure, microseconds.
#include "benchstats.h"
#include "benchwindow.h"
#include "common/cp932codec.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QUdpSocket>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
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

/// One datagram between two plain sockets in this thread: sendto, poll, recv.
std::vector<double> rawOneWay(int count, const QByteArray& payload)
{
    sockaddr_in a{}, b{};
    const int fa = boundSocket(a);
    const int fb = boundSocket(b);
    std::vector<double> samples;
    char buffer[2048];
    for (int i = 0; i < count; ++i) {
        const auto start = BenchClock::now();
        ::sendto(fa, payload.constData(), std::size_t(payload.size()), 0, reinterpret_cast<sockaddr*>(&b), sizeof b);
        pollfd p{fb, POLLIN, 0};
        ::poll(&p, 1, 1000);
        ::recv(fb, buffer, sizeof buffer, 0);
        samples.push_back(microseconds(BenchClock::now() - start));
    }
    ::close(fa);
    ::close(fb);
    return samples;
}

/// Round trips between two plain sockets, the echo in a second thread blocked in recvfrom.
std::vector<double> rawPingPong(int count, const QByteArray& payload)
{
    sockaddr_in a{}, b{};
    const int fa = boundSocket(a);
    const int fb = boundSocket(b);
    std::thread echo([&] {
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
    }
    echo.join();
    ::close(fa);
    ::close(fb);
    return samples;
}

/**
 * Latencies of @p count messages from one window to the other, after @p warmUp messages; the
 * windows flash with the program's flasher, or with one that does not sync (@p syncingFlasher).
 */
std::optional<std::vector<double>> chatLatency(int count, int warmUp, bool syncingFlasher)
{
    bench::ConnectedWindow a; // PC1
    bench::ConnectedWindow b; // PC2
    if (!a.open(false, syncingFlasher) || !b.open(true, syncingFlasher)) {
        std::fprintf(stderr, "bench_chat_latency: the windows did not connect\n");
        return std::nullopt;
    }
    if (!QTest::qWaitForWindowExposed(a.window.get()) || !QTest::qWaitForWindowExposed(b.window.get()))
        return std::nullopt;

    QLineEdit* text2 = a.control<QLineEdit>(u"Text2"_s);
    QPushButton* command2 = a.control<QPushButton>(u"Command2"_s);
    QAbstractItemModel* partnerList = b.control<QListWidget>(u"List1"_s)->model();
    BenchClock::time_point arrived;
    QEventLoop loop;
    QObject::connect(partnerList, &QAbstractItemModel::rowsInserted, &loop, [&] {
        arrived = BenchClock::now();
        loop.quit();
    });

    std::vector<double> samples;
    samples.reserve(std::size_t(count));
    for (int i = 0; i < warmUp + count; ++i) {
        text2->setText(u"遅延測定のメッセージ %1"_s.arg(i));
        const auto start = BenchClock::now();
        command2->click(); // runs Command2_Click
        if (partnerList->rowCount() <= i)
            loop.exec();
        if (partnerList->rowCount() != i + 1) {
            std::fprintf(stderr, "bench_chat_latency: message %d did not arrive\n", i);
            return std::nullopt;
        }
        if (i >= warmUp)
            samples.push_back(microseconds(arrived - start));
    }

    return samples;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(100, atoi(argv[1])) : 10000;
    const int warmUp = std::min(500, count / 10);

    for (const quint16 port : {quint16(1001), quint16(1002)}) {
        QUdpSocket probe;
        if (!probe.bind(QHostAddress::AnyIPv4, port)) {
            std::fprintf(stderr,
                         "bench_chat_latency: cannot bind UDP port %u (%s); run it through scripts/in-netns.sh\n", port,
                         qPrintable(probe.errorString()));
            return 77;
        }
    }

    const std::optional<std::vector<double>> alertOnly = chatLatency(count, warmUp, false);
    const std::optional<std::vector<double>> samples = chatLatency(count, warmUp, true);
    if (!alertOnly || !samples)
        return 1;

    const QByteArray payload = common::cp932::encode(u"遅延測定のメッセージ 1234"_s).bytes;
    std::vector<double> oneWay = rawOneWay(warmUp + count, payload);
    oneWay.erase(oneWay.begin(), oneWay.begin() + warmUp);
    std::vector<double> pingPong = rawPingPong(warmUp + count, payload);
    pingPong.erase(pingPong.begin(), pingPong.begin() + warmUp);

    const bench::Summary chat = bench::summarize(*samples);
    const bench::Summary quiet = bench::summarize(*alertOnly);
    const bench::Summary raw = bench::summarize(pingPong);
    const bench::Summary one = bench::summarize(oneWay);
    std::printf("messages=%d (after %d warm-up), platform %s\n", count, warmUp,
                qPrintable(QGuiApplication::platformName()));
    std::printf("chat Command2_Click -> partner List1 line: median %.1f us, p99 %.1f us, max %.1f us\n", chat.median,
                chat.p99, chat.max);
    std::printf("the same, flash without sync:              median %.1f us, p99 %.1f us, max %.1f us\n", quiet.median,
                quiet.p99, quiet.max);
    std::printf("raw UDP ping-pong, round trip (floor):     median %.1f us, p99 %.1f us, max %.1f us\n", raw.median,
                raw.p99, raw.max);
    std::printf("raw UDP one way, one thread:               median %.1f us, p99 %.1f us, max %.1f us\n", one.median,
                one.p99, one.max);
    std::printf("ratio chat/ping-pong: median %.2f, p99 %.2f (target: at most 3)\n", chat.median / raw.median,
                chat.p99 / raw.p99);
    return 0;
}
