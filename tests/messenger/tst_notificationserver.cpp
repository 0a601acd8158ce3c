#include "messenger/service/descriptorlimit.h"
#include "messenger/service/notificationserver.h"
#include "net/notificationprotocol.h"
#include "rawclient.h"
#include "recordingpresenter.h"

#include <QScopeGuard>
#include <QTcpServer>
#include <QTest>

#include <memory>
#include <vector>

#include <cerrno>
#include <sys/resource.h>

#include <unistd.h>

using namespace messenger::service;
using namespace net::notification;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QDateTime Arrival(QDate(2002, 10, 18), QTime(9, 5, 3));

QByteArray request(const QString& text, const QString& sender = u"PCA"_s)
{
    return *encodeRequest({sender, u"PCB"_s, text});
}

} // namespace

class TestNotificationServer final : public QObject
{
    Q_OBJECT

    std::unique_ptr<RecordingPresenter> m_presenter;
    std::unique_ptr<NotificationServer> m_server;

    void start(ServerLimits limits = {}, bool canShow = true, bool hasRoom = true)
    {
        m_presenter = std::make_unique<RecordingPresenter>(canShow, hasRoom);
        m_server = std::make_unique<NotificationServer>(*m_presenter, 0, limits, [] { return Arrival; });
        QVERIFY(m_server->listen().isOk());
    }

    /// Sends @p bytes on a new connection from @p from and waits until the service has answered and closed.
    QByteArray exchange(const QByteArray& bytes, const QHostAddress& from = QHostAddress())
    {
        RawClient client(m_server->port(), QHostAddress::LocalHost, from);
        client.send(bytes);
        if (!QTest::qWaitFor([&] { return client.closed; }, 5000))
            return "no close"_ba;
        return client.received;
    }

private Q_SLOTS:
    void cleanup()
    {
        m_server.reset();
        m_presenter.reset();
    }

    void showsWellFormedMessage()
    {
        start();
        QCOMPARE(exchange(*encodeRequest({u"端末A"_s, u"たろう"_s, u"こんにちは\n2行目"_s})), encodeReply(0));
        QCOMPARE(m_presenter->seen().size(), 1);
        const Notification seen = m_presenter->seen().constFirst();
        QCOMPARE(seen.sender, u"端末A"_s);
        QCOMPARE(seen.recipient, u"たろう"_s);
        QCOMPARE(seen.text, u"こんにちは\n2行目"_s);
        QCOMPARE(seen.senderAddress, QHostAddress(QHostAddress::LocalHost));
        QCOMPARE(seen.arrival, Arrival);
        QTRY_COMPARE(m_server->openConnections(), 0);
    }

    void acceptsIpv6AndSlowlyArrivingBytes()
    {
        start();
        RawClient client(m_server->port(), QHostAddress::LocalHostIPv6);
        if (!client.socket.waitForConnected(2000))
            QSKIP("no IPv6 loopback here");
        for (const char byte : request(u"ゆっくり"_s)) {
            client.send(QByteArray(1, byte));
            QVERIFY(client.socket.waitForBytesWritten(1000));
            QTest::qWait(1);
        }
        QTRY_VERIFY(client.closed);
        QCOMPARE(client.received, encodeReply(0));
        QCOMPARE(m_presenter->seen().constFirst().senderAddress, QHostAddress(QHostAddress::LocalHostIPv6));
    }

    void answersMalformedFramesWith87()
    {
        start();
        const QByteArray good = request(u"x"_s);
        QByteArray badVersion = good;
        badVersion[4] = 2;
        QCOMPARE(exchange(badVersion), encodeReply(87));
        // Only the header of an oversized frame is sent: the answer must not wait for the body.
        QCOMPARE(exchange(QByteArray::fromHex("54564b4d 01 01 0001 0001 00001001")), encodeReply(87));
        QByteArray badUtf8 = request(u"xy"_s);
        badUtf8.back() = char(0xFF);
        QCOMPARE(exchange(badUtf8), encodeReply(87));
        QVERIFY(m_presenter->seen().isEmpty());
    }

    void dropsForeignBytesWithoutReply()
    {
        start();
        QCOMPARE(exchange("GET / HTTP/1.0\r\n\r\n"_ba), QByteArray());
        QVERIFY(m_presenter->seen().isEmpty());
    }

    void closesSlowSenderAtTheDeadline()
    {
        ServerLimits limits;
        limits.frameTimeout = 300ms;
        start(limits);
        RawClient client(m_server->port());
        client.send(request(u"途中まで"_s).left(20));
        QTRY_VERIFY_WITH_TIMEOUT(client.closed, 5000);
        QVERIFY(client.received.isEmpty());
        QTRY_COMPARE(m_server->openConnections(), 0);
        QVERIFY(m_presenter->seen().isEmpty());
    }

    void refusesNinthConnectionWhileEightAreOpen()
    {
        start();
        // Two from each of four addresses: the per-address limit lets all of them in.
        std::vector<std::unique_ptr<RawClient>> idle;
        for (int i = 0; i < 8; ++i)
            idle.push_back(std::make_unique<RawClient>(m_server->port(), QHostAddress::LocalHost,
                                                       QHostAddress(u"127.0.0.%1"_s.arg(1 + i / 2))));
        QTRY_COMPARE(m_server->openConnections(), 8);
        QCOMPARE(exchange(request(u"9"_s), QHostAddress(u"127.0.0.9"_s)), encodeReply(2136));
        QVERIFY(m_presenter->seen().isEmpty());
        for (const auto& client : idle)
            QVERIFY(!client->closed);

        // A slot that frees up is usable again.
        idle.front()->socket.abort();
        QTRY_COMPARE(m_server->openConnections(), 7);
        QCOMPARE(exchange(request(u"10"_s), QHostAddress(u"127.0.0.9"_s)), encodeReply(0));
    }

    void oneAddressHoldsAtMostTwoSlots()
    {
        start();
        RawClient first(m_server->port()), second(m_server->port());
        QTRY_COMPARE(m_server->openConnections(), 2);
        // The third from the same address, also when it comes as IPv4-mapped IPv6, is refused at once.
        QCOMPARE(exchange(request(u"3"_s)), encodeReply(2136));
        {
            RawClient mapped(m_server->port(), QHostAddress(u"::ffff:127.0.0.1"_s));
            if (mapped.socket.waitForConnected(2000)) {
                mapped.send(request(u"mapped"_s));
                QTRY_VERIFY_WITH_TIMEOUT(mapped.closed, 5000);
                QCOMPARE(mapped.received, encodeReply(2136));
            }
        }
        // Other addresses are not held up by it.
        QCOMPARE(exchange(request(u"other"_s), QHostAddress(u"127.0.0.2"_s)), encodeReply(0));
        QCOMPARE(m_server->openConnections(), 2);
        // Once one of its slots is free, the address is served again.
        first.socket.abort();
        QTRY_COMPARE(m_server->openConnections(), 1);
        QCOMPARE(exchange(request(u"again"_s)), encodeReply(0));
        QCOMPARE(m_presenter->seen().size(), 2);
        QVERIFY(!second.closed);
    }

    void resumesAcceptingAfterRunningOutOfDescriptors()
    {
        start();
        // The client's own descriptor exists before the limit drops, so only the service's accept fails.
        RawClient client(m_server->port());
        client.send(request(u"後で"_s));
        QVERIFY(client.socket.waitForBytesWritten(2000));

        // A plain flag, not a QSignalSpy: while no descriptor is free the sanitizers cannot check a
        // virtual call they have not seen yet (they test memory through a pipe), and a spy makes one.
        bool paused = false;
        connect(m_server.get(), &NotificationServer::acceptingPaused, this, [&paused] { paused = true; });
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
        const int lowestFree = ::dup(0);
        QVERIFY(lowestFree >= 0);
        ::close(lowestFree);
        // No descriptor below the lowest free one is free: accept fails with EMFILE.
        rlimit exhausted = saved;
        exhausted.rlim_cur = rlim_t(lowestFree);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &exhausted), 0);
        auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_NOFILE, &saved); });
        QTRY_VERIFY(paused); // the system refused the connection
        QVERIFY(!client.closed);
        QCOMPARE(m_server->openConnections(), 0);

        // Once descriptors are free again, the waiting connection is served without a restart.
        restore.dismiss();
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
        QTRY_VERIFY_WITH_TIMEOUT(client.closed, 5000);
        QCOMPARE(client.received, encodeReply(0));
        QCOMPARE(exchange(request(u"次"_s)), encodeReply(0));

        // The program starts with its soft limit raised to the hard one.
        rlimit low = saved;
        low.rlim_cur = std::min<rlim_t>(64, saved.rlim_max);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &low), 0);
        QCOMPARE(raiseDescriptorLimit(), static_cast<long long>(saved.rlim_max));
        rlimit raised{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &raised), 0);
        QCOMPARE(raised.rlim_cur, saved.rlim_max);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    }

    void refusesSixthMessageFromOneSender()
    {
        start();
        for (int i = 1; i <= 5; ++i)
            QCOMPARE(exchange(request(QString::number(i))), encodeReply(0));
        QCOMPARE(exchange(request(u"6"_s)), encodeReply(2136));
        QCOMPARE(m_presenter->seen().size(), 5);
        QCOMPARE(m_presenter->seen().constLast().text, u"5"_s);
    }

    void answersWhatThePresenterCouldDo()
    {
        start({}, false);
        QCOMPARE(exchange(request(u"x"_s)), encodeReply(50));
        start({}, true, false);
        QCOMPARE(exchange(request(u"x"_s)), encodeReply(2136));
        QVERIFY(m_presenter->seen().isEmpty());
    }

    void reportsPortInUse()
    {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::Any));
        RecordingPresenter presenter;
        NotificationServer server(presenter, other.serverPort());
        const common::Status failure = server.listen();
        QCOMPARE(failure.code(), common::Status::Code::SocketError);
        QCOMPARE(failure.sysErrno(), EADDRINUSE);
    }
};

QTEST_GUILESS_MAIN(TestNotificationServer)
#include "tst_notificationserver.moc"
