#include "desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace messenger {

namespace {

// Only a bus that is already there is used: with no address in the environment, the D-Bus library
// would otherwise try to start a bus of its own (autolaunch), which a service must not do.
bool sessionBusConfigured()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + u"/bus"_s);
}

} // namespace

DesktopNotifier::DesktopNotifier()
    : m_available(sessionBusConfigured() && QDBusConnection::sessionBus().isConnected())
{}

QString DesktopNotifier::escapeMarkup(const QString& text)
{
    QString escaped = text.toHtmlEscaped();
    escaped.replace(u'\'', u"&#39;"_s);
    return escaped;
}

void DesktopNotifier::notify(const QString& summary, const QString& body) const
{
    if (!m_available)
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(u"org.freedesktop.Notifications"_s, u"/org/freedesktop/Notifications"_s,
                                       u"org.freedesktop.Notifications"_s, u"Notify"_s);
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the server's default)
    call << u"Tavik Light"_s << 0u << QString() << escapeMarkup(summary) << escapeMarkup(body) << QStringList()
         << QVariantMap{{u"category"_s, u"im.received"_s}} << -1;
    // No reply is awaited: the call is sent and forgotten.
    call.setAutoStartService(true);
    QDBusConnection::sessionBus().send(call);
}

} // namespace messenger
