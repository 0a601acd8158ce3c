#include "messenger/desktopnotifier.h"
#include "messenger/popuppresenter.h"
#include "messenger/popupwindow.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QProcess>
#include <QTest>

using namespace messenger;
using namespace Qt::StringLiterals;

namespace {

/// Stands in for the desktop's notification server and records each call.
class FakeNotificationServer final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList summaries;
    QStringList bodies;

public Q_SLOTS:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body, const QStringList&,
                const QVariantMap&, int)
    {
        summaries.append(summary);
        bodies.append(body);
        return uint(summaries.size());
    }
};

} // namespace

class TestPopupPresenter final : public QObject
{
    Q_OBJECT

    QProcess m_bus;

private Q_SLOTS:
    void cleanup() { qDeleteAll(QApplication::topLevelWidgets()); }
    void cleanupTestCase()
    {
        m_bus.kill();
        m_bus.waitForFinished();
    }

    // Runs first: the process has not touched a session bus yet.
    void sendsNothingWithoutSessionBus()
    {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", QDir::tempPath().toUtf8() + "/no-such-runtime-dir");
        QVERIFY(!DesktopNotifier().available());
    }

    void showsPopupAndDesktopNotification()
    {
        m_bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
        if (!m_bus.waitForStarted() || !m_bus.waitForReadyRead(5000))
            QSKIP("dbus-daemon cannot be started here");
        const QString address = QString::fromUtf8(m_bus.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());

        FakeNotificationServer fake;
        QDBusConnection desktop = QDBusConnection::connectToBus(address, u"desktop"_s);
        QVERIFY(desktop.registerService(u"org.freedesktop.Notifications"_s));
        QVERIFY(desktop.registerObject(u"/org/freedesktop/Notifications"_s, &fake, QDBusConnection::ExportAllSlots));

        PopupPresenter presenter;
        const Notification notification{u"<i>端末A</i>"_s, QHostAddress(u"192.0.2.5"_s), u"たろう"_s,
                                        u"a & b <u>c</u> 'd'\n\u0007"_s, QDateTime::currentDateTime()};
        QVERIFY(presenter.present(notification));

        const QList<QWidget*> windows = QApplication::topLevelWidgets();
        QCOMPARE(windows.size(), 1);
        QVERIFY(qobject_cast<PopupWindow*>(windows.constFirst()));
        QVERIFY(windows.constFirst()->isVisible());

        QTRY_COMPARE(fake.bodies.size(), 1);
        QCOMPARE(fake.summaries.constFirst(), u"&lt;i&gt;端末A&lt;/i&gt; からのメッセージ"_s);
        QCOMPARE(fake.bodies.constFirst(), u"a &amp; b &lt;u&gt;c&lt;/u&gt; &#39;d&#39;\n\u2407"_s);
        QDBusConnection::disconnectFromBus(u"desktop"_s);
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
};

QTEST_MAIN(TestPopupPresenter)
#include "tst_popuppresenter.moc"
