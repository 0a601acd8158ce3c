#include "messenger/popup/popuppresenter.h"
#include "messenger/popup/popupprocess.h"
#include "messenger/popup/popupwindow.h"
#include "messenger/service/popupchannel.h"
#include "messenger/service/popupprocesspresenter.h"
#include "os/desktopnotifier.h"
#include "support/fakedesktop.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace messenger::popup;
using namespace messenger::service;
using testsupport::FakeNotificationServer;
using namespace Qt::StringLiterals;

namespace {

/// What has arrived on the non-blocking descriptor @p fd so far.
QByteArray readAvailable(int fd)
{
    QByteArray bytes;
    char chunk[256];
    ssize_t size = 0;
    while ((size = ::read(fd, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, size);
    return bytes;
}

int popupWindows()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return int(std::count_if(windows.cbegin(), windows.cend(), [](QWidget* window) {
        return qobject_cast<PopupWindow*>(window) && window->isVisible();
    }));
}

} // namespace

class TestPopupPresenter final : public QObject
{
    Q_OBJECT

    testsupport::PrivateSessionBus m_bus;
    FakeNotificationServer& m_fake = m_bus.notifications;

    /// A private session bus with the fake notification server on it, made once.
    bool startBus() { return m_bus.start(); }

private Q_SLOTS:
    void init()
    {
        m_fake.calls.clear();
        m_fake.closed.clear();
    }
    void cleanup() { qDeleteAll(QApplication::topLevelWidgets()); }

    // Runs first: the process has not touched a session bus yet.
    void sendsNothingWithoutSessionBus()
    {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", QDir::tempPath().toUtf8() + "/no-such-runtime-dir");
        QVERIFY(!os::DesktopNotifier({}, {}, {}).available());
    }

    // The summary is never markup; the body is escaped only for a server that reads markup in it.
    void showsPopupAndDesktopNotification_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("clickable");
        const QString plain = u"a & b <u>c</u> 'd'\n\u2407"_s;
        QTest::newRow("plain-text server") << QStringList{u"body"_s} << plain << false;
        QTest::newRow("body markup") << QStringList{u"body"_s, u"body-markup"_s}
                                     << u"a &amp; b &lt;u&gt;c&lt;/u&gt; &#39;d&#39;\n\u2407"_s << false;
        QTest::newRow("actions") << QStringList{u"actions"_s, u"body"_s} << plain << true;
    }
    void showsPopupAndDesktopNotification()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(QString, body);
        QFETCH(bool, clickable);
        if (!startBus())
            QSKIP("dbus-daemon cannot be started here");
        m_fake.capabilities = capabilities;

        PopupPresenter presenter;
        const Notification notification{u"<i>端末A</i>"_s, QHostAddress(u"192.0.2.5"_s), u"たろう"_s,
                                        u"a & b <u>c</u> 'd'\n\u0007"_s, QDateTime::currentDateTime()};
        QVERIFY(presenter.present(notification));

        const QList<QWidget*> windows = QApplication::topLevelWidgets();
        QCOMPARE(windows.size(), 1);
        QVERIFY(qobject_cast<PopupWindow*>(windows.constFirst()));
        QVERIFY(windows.constFirst()->isVisible());

        QTRY_COMPARE(m_fake.calls.size(), 1);
        const FakeNotificationServer::Call& call = m_fake.calls.constFirst();
        QCOMPARE(call.summary, u"<i>端末A</i> からのメッセージ"_s);
        QCOMPARE(call.body, body);
        QCOMPARE(call.appIcon, u"tavik-light"_s);
        QCOMPARE(call.hints.value(u"desktop-entry"_s).toString(), u"tavik-messenger"_s);
        QCOMPARE(call.replacesId, 0u);
        QCOMPARE(call.actions.contains(u"default"_s), clickable);

        // A click on the notification brings back the pop-up; closing the pop-up withdraws it.
        windows.constFirst()->hide();
        QDBusConnection desktop(u"desktop"_s);
        desktop.send(QDBusMessage::createSignal(u"/org/freedesktop/Notifications"_s, u"org.freedesktop.Notifications"_s,
                                                u"ActionInvoked"_s)
                     << 101u << u"default"_s);
        QTRY_VERIFY(windows.constFirst()->isVisible());
        windows.constFirst()->close();
        QTRY_COMPARE(m_fake.closed, QList<uint>{101u});
    }

    // Under one key a notification is replaced, not stacked, also in a flood, and withdrawn by its id.
    void replacesAndWithdrawsUnderOneKey()
    {
        if (!startBus())
            QSKIP("dbus-daemon cannot be started here");
        m_fake.capabilities = {u"body"_s};
        os::DesktopNotifier notifier(u"Tavik Light"_s, u"example.taviklight.TavikLight"_s, u"tavik-light"_s);
        for (int i = 0; i < 200; ++i)
            notifier.show(u"conversation"_s, {u"相手からのメッセージ"_s, QString::number(i)});
        // The list is empty until the first call arrives: never ask it for its last element before.
        QTRY_VERIFY(!m_fake.calls.isEmpty() && m_fake.calls.constLast().body == u"199"_s);
        QVERIFY2(m_fake.calls.size() <= 3, qPrintable(QString::number(m_fake.calls.size())));
        QCOMPARE(m_fake.calls.constFirst().replacesId, 0u);
        for (qsizetype i = 1; i < m_fake.calls.size(); ++i)
            QCOMPARE(m_fake.calls.at(i).replacesId, 101u);
        notifier.withdraw(u"conversation"_s);
        QTRY_COMPARE(m_fake.closed, QList<uint>{101u});
        // Another key is another notification.
        notifier.show(u"other"_s, {u"x"_s, u"y"_s});
        QTRY_COMPARE(m_fake.calls.constLast().body, u"y"_s);
        QCOMPARE(m_fake.calls.constLast().replacesId, 0u);
    }

    // A service started with the session may ask before the notification server is there: once it
    // has come, its capabilities count (a body with markup is escaped for it).
    void asksAgainWhenTheServerCameLater()
    {
        if (!startBus())
            QSKIP("dbus-daemon cannot be started here");
        QDBusConnection desktop(u"desktop"_s);
        QVERIFY(desktop.unregisterService(u"org.freedesktop.Notifications"_s));
        os::DesktopNotifier notifier(u"Tavik Light"_s, u"tavik-messenger"_s, u"tavik-light"_s);
        notifier.show(u"1"_s, {u"s"_s, u"<b>"_s});
        // The question fails: nobody has the name. The bus handles one connection's messages in
        // order, so a round trip on the same connection comes back after the failed question; the
        // event loop hands that to the notifier, which then sends the held notice (to nobody), and
        // a second round trip comes back after that one failed too.
        const auto roundTrip = [] {
            const QDBusMessage ping = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus"_s, u"GetId"_s));
            QCoreApplication::processEvents();
            return ping.type() == QDBusMessage::ReplyMessage;
        };
        QVERIFY(roundTrip());
        QVERIFY(roundTrip());
        QVERIFY(m_fake.calls.isEmpty());

        m_fake.capabilities = {u"body"_s, u"body-markup"_s};
        QVERIFY(desktop.registerService(u"org.freedesktop.Notifications"_s));
        notifier.show(u"2"_s, {u"s"_s, u"<b>"_s});
        QTRY_COMPARE(m_fake.calls.size(), 1);
        QCOMPARE(m_fake.calls.constFirst().body, u"&lt;b&gt;"_s);
    }

    void refusesWhileTheScreenIsFull()
    {
        PopupPresenter presenter;
        const Notification notification{u"PCA"_s, QHostAddress(u"192.0.2.5"_s), u"PCB"_s, u"x"_s, {}};
        for (int i = 0; i < PopupPresenter::MaxOpen; ++i) {
            QVERIFY(presenter.hasRoom());
            QVERIFY(presenter.present(notification));
        }
        QVERIFY(!presenter.hasRoom());
        QApplication::topLevelWidgets().constFirst()->close();
        QVERIFY(presenter.hasRoom());
    }

    // The pop-up process's side of the pipe: one report per frame, one per pop-up that closes, and
    // at the end of its input the pop-ups left are closed without further reports.
    void pipeReaderReportsEachPopup()
    {
        int input[2];
        int reports[2];
        QVERIFY(::pipe2(input, O_CLOEXEC) == 0);
        QVERIFY(::pipe2(reports, O_CLOEXEC | O_NONBLOCK) == 0);
        const auto closeAll = qScopeGuard([&] {
            for (const int fd : {input[0], input[1], reports[0], reports[1]})
                if (fd >= 0)
                    ::close(fd);
        });
        PopupPresenter presenter;
        PopupPipeReader reader(presenter, input[0], reports[1]);
        const QByteArray frame = popupchannel::encodeNotification(
            {u"PCA"_s, QHostAddress(u"192.0.2.5"_s), u"PCB"_s, u"x"_s, QDateTime::currentDateTime()});
        // A frame and a half in one write, the rest in another.
        const QByteArray two = frame + frame;
        const qsizetype split = frame.size() + 3;
        QCOMPARE(::write(input[1], two.constData(), size_t(split)), split);
        QCOMPARE(::write(input[1], two.constData() + split, size_t(two.size() - split)), two.size() - split);
        QByteArray got;
        QTRY_COMPARE((got += readAvailable(reports[0])), "SS"_ba);
        QCOMPARE(popupWindows(), 2);

        QApplication::topLevelWidgets().constFirst()->close();
        QTRY_COMPARE((got += readAvailable(reports[0])), "SSC"_ba);

        QCOMPARE(::write(input[1], frame.constData(), size_t(frame.size())), frame.size());
        QTRY_COMPARE((got += readAvailable(reports[0])), "SSCS"_ba);
        ::close(std::exchange(input[1], -1));
        QTRY_COMPARE(popupWindows(), 0);
        QTest::qWait(50); // a report that should not come would be there by now
        QCOMPARE((got += readAvailable(reports[0])), "SSCS"_ba);
    }

    // The service's side: whatever the pop-up process does, present() answers, and a process that
    // cannot be relied on is ended and reported. Small scripts stand in for the process.
    void processPresenterAnswers_data()
    {
        QTest::addColumn<QString>("script"); // empty: the program does not exist
        QTest::addColumn<bool>("shown");
        QTest::addColumn<int>("open"); // pop-ups counted as open afterwards, at most 1
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("problem");
        QTest::newRow("program missing") << QString() << false << 0 << false << true;
        QTest::newRow("ends before answering") << u"exit 3"_s << false << 0 << false << true;
        QTest::newRow("killed before answering")
            << u"head -c1 >/dev/null; kill -KILL $$"_s << false << 0 << false << true;
        QTest::newRow("never answers") << u"exec sleep 30"_s << false << 0 << false << true;
        QTest::newRow("answers nonsense") << u"printf X; exec cat >/dev/null"_s << false << 0 << false << true;
        QTest::newRow("reports a close before any pop-up")
            << u"printf C; exec cat >/dev/null"_s << false << 0 << false << true;
        // Without any pop-up left the process is told to end: it runs only while there are some.
        QTest::newRow("not shown") << u"printf N; exec cat >/dev/null"_s << false << 0 << false << false;
        QTest::newRow("shown") << u"printf S; exec cat >/dev/null"_s << true << 1 << true << false;
        QTest::newRow("shown, closed at once") << u"printf SC; exec cat >/dev/null"_s << true << 0 << false << false;
    }
    void processPresenterAnswers()
    {
        QFETCH(QString, script);
        QFETCH(bool, shown);
        QFETCH(int, open);
        QFETCH(bool, running);
        QFETCH(bool, problem);
        const QString program = script.isEmpty() ? u"/nonexistent/tavik-messenger"_s : u"/bin/sh"_s;
        PopupProcessPresenter presenter(program, {u"-c"_s, script}, 1, std::chrono::milliseconds(2000));
        QSignalSpy problems(&presenter, &PopupProcessPresenter::problem);
        const Notification notification{u"PCA"_s, QHostAddress(u"192.0.2.5"_s), u"PCB"_s, u"x"_s, {}};
        QCOMPARE(presenter.present(notification), shown);
        QTRY_COMPARE(presenter.openPopups(), open);
        QCOMPARE(presenter.hasRoom(), open == 0);
        QTRY_COMPARE(presenter.processId() != 0, running);
        QCOMPARE(problems.size(), problem ? 1 : 0);
    }

    // A process told to end is not handed the next notification: that one starts a new process.
    // The last one ends with the presenter, not left behind.
    void processPresenterStartsAnewAndEndsItsProcess()
    {
        auto presenter = std::make_unique<PopupProcessPresenter>(
            u"/bin/sh"_s, QStringList{u"-c"_s, u"printf SC; exec cat >/dev/null"_s}, 1);
        const Notification notification{u"PCA"_s, QHostAddress(u"192.0.2.5"_s), u"PCB"_s, u"x"_s, {}};
        QVERIFY(presenter->present(notification));
        QTRY_COMPARE(presenter->processId(), 0);
        QVERIFY(presenter->present(notification));

        presenter = std::make_unique<PopupProcessPresenter>(
            u"/bin/sh"_s, QStringList{u"-c"_s, u"printf S; exec cat >/dev/null"_s}, 1);
        QVERIFY(presenter->present(notification));
        const auto pid = pid_t(presenter->processId());
        QVERIFY(pid > 0);
        presenter.reset();
        QCOMPARE(::kill(pid, 0), -1); // ended on the end of its input, and reaped
    }
};

QTEST_MAIN(TestPopupPresenter)
#include "tst_popuppresenter.moc"
