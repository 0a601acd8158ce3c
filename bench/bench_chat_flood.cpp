// Arrival throughput: how many datagrams per second a receiver works through when they are
// already waiting. Each receiver's buffer is enlarged first (SO_RCVBUFFORCE, root), the datagrams
// are queued while nothing reads, then the clock runs while the receiver empties the queue:
//   raw      a plain socket read with recvmmsg in a tight loop (the floor),
//   socket   net::DatagramSocket with a handler that only counts,
//   window   the main window tavik, connected as PC2: DatagramSocket + Winsock1_DataArrival
//            (List1 line, log line written to the program's journal in a temporary folder, status,
//            and the program's real window flash request;
//            run on an X display, QT_QPA_PLATFORM=xcb, for the cost a user's desktop adds),
//   mix      the same window under a hostile mix: in turn a short line, a Japanese one, every
//            control byte, 8 KiB of bytes 0x80-0xFF and a largest datagram of letters,
//   high8k   the same window under datagrams of 8 KiB of bytes 0x80-0xFF only.
// The window runs also count how often List1 repaints while it drains the queue, and the longest
// time it went without a repaint.
//
// Binds port 1001 and raises buffer sizes: run it as root in a network namespace, e.g.
//   scripts/in-netns.sh build/bin/bench_chat_flood [datagrams [raw|socket|window|mix|high8k]]
// Without a count, raw, socket and window take 200,000 datagrams, mix and high8k 20,000.
#include "benchwindow.h"
#include "common/cp932codec.h"
#include "common/datetimetext.h"
#include "history/core/journal.h"
#include "load/loopbacksender.h"
#include "net/datagramsocket.h"
#include "net/hostresolver.h"
#include "os/heapmemory.h"
#include "widgets/japaneseenvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <cstdio>
#include <random>
#include <vector>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int BufferBytes = 1 << 29; // doubled by the kernel: 1 GiB of queue

constexpr int LargestDatagram = 65507;
constexpr int HighBytesSize = 8192;

std::vector<QByteArray> payloads(int count)
{
    std::vector<QByteArray> result;
    result.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i)
        result.push_back(common::cp932::encode(u"受信測定 %1"_s.arg(i, 6, 10, QChar(u'0'))).bytes);
    return result;
}

/// @p size bytes drawn from 0x80 to 0xFF by @p random.
QByteArray randomHighBytes(std::mt19937& random, int size)
{
    std::uniform_int_distribution<int> byte(0x80, 0xFF);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& b : bytes)
        b = char(byte(random));
    return bytes;
}

/// 8 KiB of bytes 0x80-0xFF: lead and trail bytes of code page 932, half-width kana and invalid
/// sequences, a line of thousands of mixed glyphs once decoded.
std::vector<QByteArray> highBytePayloads(int count)
{
    std::mt19937 random(8192); // the same bytes in every run
    std::vector<QByteArray> result;
    result.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i)
        result.push_back(randomHighBytes(random, HighBytesSize));
    return result;
}

/// What anyone on the network may send, in turn: a short line, a Japanese one, every control byte,
/// 8 KiB of high bytes, and a largest datagram of letters (bench_chat_memory's).
std::vector<QByteArray> hostileMix(int count)
{
    std::mt19937 random(65507);
    QByteArray controls;
    for (char c = 0; c < 0x20; ++c)
        controls.append(c);
    controls.append('\x7F');
    std::vector<QByteArray> result;
    result.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        switch (i % 5) {
        case 0:
            result.push_back("f" + QByteArray::number(i));
            break;
        case 1:
            result.push_back(common::cp932::encode(u"日本語のメッセージ %1 です～"_s.arg(i)).bytes);
            break;
        case 2:
            result.push_back(controls + QByteArray::number(i));
            break;
        case 3:
            result.push_back(randomHighBytes(random, HighBytesSize));
            break;
        default:
            result.push_back(QByteArray(LargestDatagram, char('a' + i % 26)));
            break;
        }
    }
    return result;
}

/// The descriptor of this process's UDP socket bound to @p port, found through /proc/self/fd,
/// so that its buffer can be enlarged without a hook in the socket class. -1 when there is none.
int descriptorOfPort(quint16 port)
{
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int found = -1;
    while (dirent* entry = ::readdir(dir)) {
        const int fd = atoi(entry->d_name);
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        int type = 0;
        socklen_t typeLength = sizeof type;
        if (fd <= 2 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
            ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_DGRAM)
            continue;
        const quint16 bound = address.ss_family == AF_INET6
                                  ? ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port)
                                  : ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
        if (bound == port)
            found = fd;
    }
    ::closedir(dir);
    return found;
}

bool enlarge(int fd)
{
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &BufferBytes, sizeof BufferBytes) != 0)
        return false;
    int size = 0;
    socklen_t length = sizeof size;
    ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &length);
    return size >= BufferBytes;
}

void report(const char* name, int count, qint64 nanoseconds)
{
    std::printf("%-27s %d datagrams in %.1f ms: %.0f datagrams/s\n", name, count, double(nanoseconds) / 1e6,
                double(count) * 1e9 / double(nanoseconds));
    std::fflush(stdout);
}

int runRaw(const std::vector<QByteArray>& data)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(1003);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || !enlarge(fd))
        return 1;
    const int sent = loadtest::sendToLoopback(data, 1003, 0, BufferBytes);
    constexpr int Slots = 32;
    std::vector<char> storage(Slots * 2048);
    std::vector<mmsghdr> headers(Slots);
    std::vector<iovec> vectors(Slots);
    QElapsedTimer clock;
    clock.start();
    int received = 0;
    while (received < sent) {
        for (int i = 0; i < Slots; ++i) {
            vectors[i] = {storage.data() + i * 2048, 2048};
            headers[i] = {};
            headers[i].msg_hdr.msg_iov = &vectors[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        const int n = ::recvmmsg(fd, headers.data(), Slots, 0, nullptr);
        if (n <= 0)
            break;
        received += n;
    }
    report("raw", received, clock.nsecsElapsed());
    ::close(fd);
    return received == sent ? 0 : 1;
}

int runSocket(const std::vector<QByteArray>& data)
{
    net::HostResolver resolver;
    net::DatagramSocket socket(resolver);
    socket.setProtocol(net::DatagramSocket::Udp);
    socket.setLocalPort(1004);
    if (!socket.bind().isOk() || !enlarge(descriptorOfPort(1004)))
        return 1;
    int received = 0;
    QObject::connect(&socket, &net::DatagramSocket::dataArrival, &socket, [&](qint64) {
        if (!socket.getData().isEmpty())
            ++received;
    });
    const int sent = loadtest::sendToLoopback(data, 1004, 0, BufferBytes);
    QElapsedTimer clock;
    clock.start();
    while (received < sent && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    report("socket", received, clock.nsecsElapsed());
    return received == sent ? 0 : 1;
}

/// The CPU time this process has used, in nanoseconds: on a machine shared with other work, the
/// wall-clock figures vary with the load, the CPU time much less.
qint64 processCpuNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

/// The page faults this process has taken so far: fresh memory the kernel had to hand out.
long processPageFaults()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

/// Counts a widget's paint events and the longest time without one, from restart() to stop().
class RepaintCounter final : public QObject
{
public:
    explicit RepaintCounter(QWidget* widget) { widget->installEventFilter(this); }

    void restart()
    {
        m_clock.start();
        m_lastNs = 0;
        m_longestGapNs = 0;
        m_paints = 0;
    }
    void stop() { noteGapUntil(m_clock.nsecsElapsed()); }

    int paints() const { return m_paints; }
    double longestGapMs() const { return double(m_longestGapNs) / 1e6; }

    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_clock.isValid()) {
            ++m_paints;
            noteGapUntil(m_clock.nsecsElapsed());
        }
        return false;
    }

private:
    void noteGapUntil(qint64 ns)
    {
        m_longestGapNs = std::max(m_longestGapNs, ns - m_lastNs);
        m_lastNs = ns;
    }

    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_longestGapNs = 0;
    int m_paints = 0;
};

int runWindow(const std::vector<QByteArray>& data, const char* name)
{
    QTemporaryDir folder;
    history::core::Journal journal(folder.path());
    bench::ConnectedWindow side; // PC2, listening on 1001
    if (!side.open(true, [&journal](const common::LogLine& line) { journal.append(line); }) ||
        !QTest::qWaitForWindowExposed(side.window.get()))
        return 1;
    if (!enlarge(descriptorOfPort(1001)))
        return 1;
    // List2 counts every arrival; List1 keeps only the last 20,000 lines.
    const QAbstractItemModel* list2 = side.list(u"List2")->model();
    RepaintCounter repaints(side.list(u"List1")->viewport());
    int insertions = 0;
    QObject::connect(side.list(u"List1")->model(), &QAbstractItemModel::rowsInserted, side.window.get(),
                     [&insertions] { ++insertions; });
    const int sent = loadtest::sendToLoopback(data, 1001, 1002, BufferBytes);
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuBefore = processCpuNs();
    const long faultsBefore = processPageFaults();
    repaints.restart();
    insertions = 0;
    while (list2->rowCount() < sent && clock.elapsed() < 300000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 elapsed = clock.nsecsElapsed();
    const qint64 cpu = processCpuNs() - cpuBefore;
    const long faults = processPageFaults() - faultsBefore;
    repaints.stop();
    report(name, list2->rowCount(), elapsed);
    std::printf("%-27s %.1f ms of CPU time, %ld page faults; List1 told of new rows %d times, repainted %d times "
                "(%.1f/s), longest without a repaint %.0f ms\n",
                name, double(cpu) / 1e6, faults, insertions, repaints.paints(),
                repaints.paints() * 1e9 / double(elapsed), repaints.longestGapMs());
    std::fflush(stdout);
    return list2->rowCount() == sent ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    common::pinLocalTimeZone();  // as the program does
    os::keepFreedHeapForReuse(); // as the program does
    QApplication app(argc, argv);
    widgets::applyJapaneseEnvironment(app); // the program's fonts: the cost of drawing a line depends on them
    const auto count = [&](int fallback) { return argc > 1 ? std::max(1000, atoi(argv[1])) : fallback; };
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::AnyIPv4, 1001)) {
        std::fprintf(stderr,
                     "bench_chat_flood: cannot bind UDP port 1001 (%s); run it as root through "
                     "scripts/in-netns.sh\n",
                     qPrintable(probe.errorString()));
        return 77;
    }
    probe.close();
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    // An optional second argument picks one run: raw, socket, window, mix or high8k (for profiling).
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const auto wanted = [&](const char16_t* name) { return only.isEmpty() || only == QStringView(name); };
    int failures = 0;
    if (wanted(u"raw") || wanted(u"socket") || wanted(u"window")) {
        const std::vector<QByteArray> data = payloads(count(200000));
        if (wanted(u"raw"))
            failures += runRaw(data);
        if (wanted(u"socket"))
            failures += runSocket(data);
        if (wanted(u"window"))
            failures += runWindow(data, "window");
    }
    if (wanted(u"mix"))
        failures += runWindow(hostileMix(count(20000)), "window, hostile mix");
    if (wanted(u"high8k"))
        failures += runWindow(highBytePayloads(count(20000)), "window, 8 KiB of high bytes");
    if (failures)
        std::fprintf(stderr, "bench_chat_flood: %d runs did not receive every datagram (buffer too small?)\n",
                     failures);
    return failures ? 1 : 0;
}
