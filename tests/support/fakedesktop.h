#pragma once

// A desktop session of the test's own: a private session bus, a notification server that records
// each call, and a listener for the taskbar's count signal. List this header among a test's
// sources, so that its classes are run through moc.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

namespace testsupport {

/// Stands in for the desktop's notification server and records each call.
class FakeNotificationServer final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call
    {
        uint replacesId;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };
    QStringList capabilities;
    QList<Call> calls;
    QList<uint> closed;

public Q_SLOTS:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString&, uint replacesId, const QString& appIcon, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int)
    {
        calls.append({replacesId, appIcon, summary, body, actions, hints});
        return replacesId != 0 ? replacesId : uint(100 + calls.size());
    }
    void CloseNotification(uint id) { closed.append(id); }
};

/// Records the com.canonical.Unity.LauncherEntry Update signals a taskbar would read.
class LauncherEntryListener final : public QObject
{
    Q_OBJECT

public:
    struct Update
    {
        QString appUri;
        QVariantMap properties;
    };
    QList<Update> updates;

    /// Listens on @p bus, for every sender and path.
    bool listen(QDBusConnection bus)
    {
        // Qt 6.4 connects D-Bus signals only by the receiving slot's name.
        return bus.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                           QStringLiteral("Update"), this, SLOT(updated(QString, QVariantMap)));
    }

public Q_SLOTS:
    void updated(const QString& appUri, const QVariantMap& properties) { updates.append({appUri, properties}); }
};

/**
 * A session bus of the test's own (dbus-daemon), named in DBUS_SESSION_BUS_ADDRESS for the rest of
 * the process, with the fake notification server on a connection of its own, "desktop". The bus is
 * stopped when this goes.
 */
class PrivateSessionBus final
{
public:
    FakeNotificationServer notifications;

    ~PrivateSessionBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    /// Starts the bus, once. @return false when dbus-daemon cannot be started here.
    bool start()
    {
        if (m_daemon.state() == QProcess::Running)
            return true;
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead(5000))
            return false;
        const QString address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        QDBusConnection desktop = QDBusConnection::connectToBus(address, QStringLiteral("desktop"));
        return desktop.registerService(QStringLiteral("org.freedesktop.Notifications")) &&
               desktop.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                                      QDBusConnection::ExportAllSlots);
    }

    /// The desktop's connection to the bus.
    static QDBusConnection desktop() { return QDBusConnection(QStringLiteral("desktop")); }

    /// Sends what the notification server sends when the user clicks notification @p id.
    static void click(uint id)
    {
        desktop().send(QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                  QStringLiteral("org.freedesktop.Notifications"),
                                                  QStringLiteral("ActionInvoked"))
                       << id << QStringLiteral("default"));
    }

private:
    QProcess m_daemon;
};

} // namespace testsupport
