// Memory under a flood of the largest datagrams: the main window, connected as PC2 and journalling
// as the program does, receives 20,000 datagrams of 65,507 bytes (1.3 GB) from the partner's port;
// the sender waits whenever the window is more than 16 datagrams behind, so none is dropped. Prints
// the peak resident memory (VmHWM) and checks that the log written at the end holds every record
// byte for byte.
//
// Binds ports 1001 and 1002: run it in a network namespace, e.g.
//   scripts/in-netns.sh build/bin/bench_chat_memory [datagrams]
#include "benchwindow.h"
#include "common/datetimetext.h"
#include "history/core/journal.h"
#include "load/loopbacksender.h"
#include "os/heapmemory.h"
#include "widgets/errortext.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int DatagramBytes = 65507;

/// The payload of datagram @p index: its number, then letters up to the largest datagram.
QByteArray payload(int index)
{
    QByteArray bytes = QByteArray::number(index) + ':';
    bytes.append(DatagramBytes - bytes.size(), char('a' + index % 26));
    return bytes;
}

/// A figure from /proc/self/status in KiB (VmHWM: the peak resident memory).
long statusKib(const char* field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    common::pinLocalTimeZone();
    os::keepFreedHeapForReuse(); // as the program does
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;

    QTemporaryDir folder;
    history::core::Journal journal(folder.path());
    std::atomic<int> recorded{0};
    bench::ConnectedWindow side;
    side.make([&](chat::ui::ChatServices& services) {
        services.clock = common::systemClock();
        services.logLineAdded = [&](const common::LogLine& line) {
            journal.append(line);
            ++recorded;
        };
    });
    if (!side.showConnected(true) || !QTest::qWaitForWindowExposed(side.window.get())) {
        std::fprintf(stderr, "bench_chat_memory: the window did not connect\n");
        return 1;
    }
    const long baseKib = statusKib("VmRSS:");

    QElapsedTimer clock;
    clock.start();
    std::atomic<int> sent{0};
    std::atomic<bool> givenUp{false};
    std::thread sender([&] {
        for (int i = 0; i < count && !givenUp; ++i) {
            while (i - recorded.load() > 16 && !givenUp)
                std::this_thread::yield();
            sent += loadtest::sendToLoopback({payload(i)}, 1001, 1002);
        }
    });
    givenUp = !QTest::qWaitFor([&] { return recorded.load() >= count; }, 600000);
    sender.join();
    const qint64 elapsedMs = clock.elapsed();
    const long peakKib = statusKib("VmHWM:");

    const history::core::LogWriteResult written =
        journal.saveAsLog(side.window->logLines(), QDateTime::currentDateTime());
    QFile log(written.path);
    if (written.failed() || !log.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "bench_chat_memory: the log was not written: %s\n",
                     qPrintable(widgets::errorText(written.status)));
        return 1;
    }
    // Each record: "127.0.0.1","<host>","相手>" + payload + "","<date-time>" CR LF, in order.
    int records = 0;
    bool exact = true;
    for (QByteArray line; !(line = log.readLine()).isEmpty(); ++records) {
        const QByteArray expected = "\",\"\x91\x8a\x8e\xe8>" + payload(records) + "\",\""; // 相手> in code page 932
        exact = exact && line.endsWith("\"\r\n") && line.contains(expected);
    }
    std::printf("memory: %d of %d datagrams of %d bytes in %.1f s; resident %.1f MiB before, peak %.1f MiB; "
                "log %lld bytes, %d records, %s\n",
                recorded.load(), sent.load(), DatagramBytes, double(elapsedMs) / 1000.0, double(baseKib) / 1024.0,
                double(peakKib) / 1024.0, static_cast<long long>(log.size()), records,
                exact && records == count ? "every record byte for byte" : "RECORDS DIFFER");
    return exact && records == count ? 0 : 1;
}
