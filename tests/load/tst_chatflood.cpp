// A flood of datagrams into a connected main window, in the test's own network namespace: every
// datagram the kernel handed to the window is recorded in List2, in order and unchanged, List1 shows
// the last 20,000 of them, nothing crashes, and the window keeps answering. The figures (rate, event-loop lag,
// memory per message) are printed; only correctness is asserted.
#include "common/cp932codec.h"
#include "load/loopbacksender.h"
#include "load/procstats.h"
#include "net/datagramsocket.h"
#include "support/chatharness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int FloodSize = 200000;
constexpr quint16 WindowPort = 1001; // the window is PC2: it listens on 1001

/// The text of datagram @p index: a sequence number, and on every seventh one Japanese text as well.
QString floodText(int index)
{
    QString text = u"f%1"_s.arg(index, 6, 10, QChar(u'0'));
    if (index % 7 == 0)
        text += u" 日本語のテキスト～"_s;
    return text;
}

/// The sequence number of a flood text, or -1 when @p text is not one.
int floodIndex(QStringView text)
{
    if (text.size() < 7 || text.at(0) != u'f')
        return -1;
    bool ok = false;
    const int index = text.mid(1, 6).toInt(&ok);
    return ok && text == floodText(index) ? index : -1;
}

} // namespace

class TestChatFlood final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Exact counting needs UDP counters that only this test moves: a namespace of its own.
        if (qEnvironmentVariable("TAVIK_NETNS") != u"1"_s)
            QSKIP("This load test needs a network namespace of its own (CTest starts it through scripts/in-netns.sh).");
        QUdpSocket probe;
        if (!probe.bind(QHostAddress::AnyIPv4, WindowPort))
            QSKIP(qPrintable(u"Cannot bind UDP port %1: %2"_s.arg(WindowPort).arg(probe.errorString())));
    }

    void cleanup() { QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty()); }

    void everyDeliveredDatagramIsShownAndRecorded()
    {
        testsupport::ChatHarness side;
        side.make([](chat::ui::ChatServices& services) { services.clock = common::systemClock(); });
        QVERIFY(side.showConnected(true));
        QVERIFY(QTest::qWaitForWindowExposed(side.window.get()));

        std::vector<QByteArray> payloads;
        payloads.reserve(FloodSize);
        for (int i = 0; i < FloodSize; ++i)
            payloads.push_back(common::cp932::encode(floodText(i)).bytes);

        const std::optional<loadtest::UdpCounters> before = loadtest::readUdpCounters();
        QVERIFY(before);
        const qint64 rssBefore = loadtest::residentBytes();
        loadtest::LagProbe lag;
        lag.start();

        QElapsedTimer clock;
        clock.start();
        std::atomic<int> sent{-1};
        std::thread sender([&] { sent = loadtest::sendToLoopback(payloads, WindowPort, 1002); });

        const QAbstractItemModel* list1 = side.list(u"List1")->model();
        const QAbstractItemModel* list2 = side.list(u"List2")->model();
        // Done when the sender has finished and everything the kernel delivered has been read and shown.
        const auto settled = [&] {
            if (sent.load() < 0)
                return false;
            const std::optional<loadtest::UdpCounters> now = loadtest::readUdpCounters();
            return now && quint64(list2->rowCount()) == now->inDatagrams - before->inDatagrams &&
                   now->inDatagrams - before->inDatagrams + now->inErrors - before->inErrors >= quint64(sent.load());
        };
        const bool done = QTest::qWaitFor(settled, 300000);
        const qint64 elapsedMs = clock.elapsed();
        sender.join();
        lag.stop();
        const qint64 rssAfter = loadtest::residentBytes();
        const loadtest::UdpCounters after = *loadtest::readUdpCounters();

        const quint64 delivered = after.inDatagrams - before->inDatagrams;
        const quint64 dropped = after.rcvbufErrors - before->rcvbufErrors;
        std::printf("flood: sent %d, delivered %llu, dropped for a full receive buffer %llu, other drops %llu\n",
                    sent.load(), static_cast<unsigned long long>(delivered), static_cast<unsigned long long>(dropped),
                    static_cast<unsigned long long>(after.inErrors - before->inErrors - dropped));
        std::printf("flood: %lld ms until all shown (%.0f shown per second)\n", static_cast<long long>(elapsedMs),
                    elapsedMs > 0 ? double(list2->rowCount()) * 1000.0 / double(elapsedMs) : 0.0);
        std::printf("flood: event-loop lag over %lld samples: median %lld ms, 99%% %lld ms, max %lld ms\n",
                    static_cast<long long>(lag.samples()), static_cast<long long>(lag.quantile(0.5)),
                    static_cast<long long>(lag.quantile(0.99)), static_cast<long long>(lag.maximum()));
        std::printf("flood: resident memory %+.1f MiB, %.0f bytes per shown message\n",
                    double(rssAfter - rssBefore) / 1048576.0,
                    list2->rowCount() > 0 ? double(rssAfter - rssBefore) / double(list2->rowCount()) : 0.0);
        std::fflush(stdout);

        QVERIFY2(done, "the window did not show every delivered datagram within 300 s");
        QCOMPARE(sent.load(), FloodSize);
        QCOMPARE(quint64(list2->rowCount()), delivered);
        QTRY_COMPARE(list1->rowCount(), std::min(list2->rowCount(), 20000));
        QCOMPARE(qsizetype(list2->rowCount()), side.window->logLines().size());
        QCOMPARE(side.flasher.count(), qsizetype(list2->rowCount()));
        // Nothing was lost on the way besides what the kernel dropped at the full buffer.
        QCOMPARE(delivered + (after.inErrors - before->inErrors), quint64(FloodSize));

        // Each log line is one datagram, unchanged, in the order sent; no datagram appears twice.
        // List1 shows the last of them.
        int previous = -1;
        const int firstShown = list2->rowCount() - list1->rowCount();
        for (int row = 0; row < list2->rowCount(); ++row) {
            const common::LogLine& log = side.window->logLines().at(row);
            QVERIFY2(log.message.startsWith(u"相手>"_s), qPrintable(log.message));
            const int index = floodIndex(QStringView(log.message).mid(3));
            QVERIFY2(index > previous, qPrintable(u"row %1: %2"_s.arg(row).arg(log.message)));
            previous = index;
            QCOMPARE(log.sender, u"127.0.0.1"_s);
            if (row >= firstShown)
                QCOMPARE(list1->index(row - firstShown, 0).data().toString(), log.message);
        }

        // The window still answers: a message typed now goes out at once.
        QUdpSocket partner;
        QVERIFY(partner.bind(QHostAddress::AnyIPv4, 1002));
        side.text(u"Text2")->setText(u"まだ動いています"_s);
        QTest::keyClick(side.text(u"Text2"), Qt::Key_Return);
        QTRY_VERIFY(partner.hasPendingDatagrams());
        QCOMPARE(partner.receiveDatagram().data(), common::cp932::encode(u"まだ動いています"_s).bytes);
        QTRY_COMPARE(list1->index(list1->rowCount() - 1, 0).data().toString(), u"貴方>まだ動いています"_s);
    }
};

QTEST_MAIN(TestChatFlood)
#include "tst_chatflood.moc"
