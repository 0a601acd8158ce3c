#include "messenger/service/notificationserver.h"
#include "net/hostresolver.h"
#include "net/notificationclient.h"
#include "net/notificationprotocol.h"
#include "recordingpresenter.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QTcpServer>
#include <QTest>
#include <QThread>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

/// Runs an object made by @p make on a thread of its own, since the client blocks the test's thread.
class ServiceThread final
{
public:
    explicit ServiceThread(const std::function<QObject*()>& make)
    {
        m_context.moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            &m_context, [&] { m_object = make(); }, Qt::BlockingQueuedConnection);
    }
    ~ServiceThread()
    {
        QMetaObject::invokeMethod(
            &m_context, [this] { delete m_object; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    QObject* object() const { return m_object; }

private:
    QThread m_thread;
    QObject m_context;
    QObject* m_object = nullptr;
};

/// Finds no name at all.
class NoNamesResolver final : public net::HostResolver
{
public:
    net::Resolution resolve(const QString&) override { return {{}, u"見つかりません"_s}; }
};

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

class TestMessengerClient final : public QObject
{
    Q_OBJECT

    RecordingPresenter m_presenter;
    std::unique_ptr<ServiceThread> m_service;
    quint16 m_port = 0;

    void startService(messenger::service::Presenter& presenter)
    {
        m_service = std::make_unique<ServiceThread>([&presenter] {
            auto* server = new messenger::service::NotificationServer(presenter, 0);
            return server->listen().isOk() ? server : nullptr;
        });
        QVERIFY(m_service->object());
        m_port = static_cast<messenger::service::NotificationServer*>(m_service->object())->port();
    }

private Q_SLOTS:
    void initTestCase() { startService(m_presenter); }
    void cleanupTestCase() { m_service.reset(); }

    void deliversSenderRecipientAndText()
    {
        net::NotificationClient client(nullptr, m_port);
        QCOMPARE(client.send(u"127.0.0.1"_s, u"上記PCさんが接続しました。"_s), 0u);
        QTRY_COMPARE(m_presenter.seen().size(), 1);
        const messenger::service::Notification seen = m_presenter.seen().constFirst();
        QCOMPARE(seen.sender, QHostInfo::localHostName());
        QCOMPARE(seen.recipient, u"127.0.0.1"_s);
        QCOMPARE(seen.text, u"上記PCさんが接続しました。"_s);
    }

    void failsWithNameNotFound()
    {
        net::NotificationClient refused(nullptr, closedPort());
        QCOMPARE(refused.send(u"127.0.0.1"_s, u"x"_s), net::NotificationClient::NameNotFound);

        NoNamesResolver resolver;
        net::NotificationClient unresolved(&resolver, m_port);
        QCOMPARE(unresolved.send(u"no-such-pc"_s, u"x"_s), net::NotificationClient::NameNotFound);
    }

    void givesUpWhenNoReplyComes()
    {
        // A listener that never accepts or answers: the kernel completes the connection anyway.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        net::NotificationClient client(nullptr, silent.serverPort(), 500ms);
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(client.send(u"127.0.0.1"_s, u"x"_s), net::NotificationClient::NameNotFound);
        QVERIFY2(elapsed.elapsed() < 3000, "the client must give up at its deadline");
    }

    void refusesTooLongTextWithoutSending()
    {
        const int before = int(m_presenter.seen().size());
        net::NotificationClient client(nullptr, m_port);
        QCOMPARE(client.send(u"127.0.0.1"_s, QString(4097, u'x')), net::notification::StatusMalformed);
        QCOMPARE(client.send(QString(256, u'n'), u"x"_s), net::notification::StatusMalformed);
        QCOMPARE(int(m_presenter.seen().size()), before);
    }

    void passesServiceStatusThrough()
    {
        // Earlier tests used part of this sender's five messages a minute; the rest go through, then 2136.
        net::NotificationClient client(nullptr, m_port);
        quint32 status = 0;
        int shown = 0;
        while ((status = client.send(u"127.0.0.1"_s, u"x"_s)) == 0)
            ++shown;
        QCOMPARE(status, net::notification::StatusRefused);
        QVERIFY(shown <= 5);
        QCOMPARE(m_presenter.seen().size(), 5);
    }

    void passesNoDisplayThrough()
    {
        messenger::service::NoDisplayPresenter noDisplay;
        m_service.reset();
        startService(noDisplay);
        net::NotificationClient client(nullptr, m_port);
        QCOMPARE(client.send(u"127.0.0.1"_s, u"x"_s), net::notification::StatusNoDisplay);
        m_service.reset();
    }
};

QTEST_GUILESS_MAIN(TestMessengerClient)
#include "tst_messengerclient.moc"
