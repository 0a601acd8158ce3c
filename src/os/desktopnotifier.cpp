#include "desktopnotifier.h"

#include "os/sessionbus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace os {

namespace {

const QString Service = u"org.freedesktop.Notifications"_s;
const QString Path = u"/org/freedesktop/Notifications"_s;
const QString Interface = u"org.freedesktop.Notifications"_s;
// The action a click on the notification itself invokes.
const QString DefaultAction = u"default"_s;

QDBusMessage call(const QString& method)
{
    QDBusMessage message = QDBusMessage::createMethodCall(Service, Path, Interface, method);
    message.setAutoStartService(true);
    return message;
}

} // namespace

DesktopNotifier::DesktopNotifier(QString appName, QString desktopEntry, QString iconName, QObject* parent)
    : QObject(parent)
    , m_appName(std::move(appName))
    , m_desktopEntry(std::move(desktopEntry))
    , m_iconName(std::move(iconName))
    , m_available(sessionBusAvailable())
{
    if (!m_available)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    // QDBusConnection takes D-Bus signals only by the receiving slot's name.
    bus.connect(Service, Path, Interface, u"ActionInvoked"_s, this, SLOT(onActionInvoked(uint, QString)));
    bus.connect(Service, Path, Interface, u"NotificationClosed"_s, this, SLOT(onNotificationClosed(uint, uint)));
    askCapabilities();
}

void DesktopNotifier::askCapabilities()
{
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call(u"GetCapabilities"_s)), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotifier::capabilitiesAnswered);
}

QString DesktopNotifier::escapeMarkup(const QString& text)
{
    QString escaped = text.toHtmlEscaped();
    escaped.replace(u'\'', u"&#39;"_s);
    return escaped;
}

void DesktopNotifier::show(const QString& key, const DesktopNotice& notice)
{
    if (!m_available)
        return;
    // A server that was not there yet (the service starts with the session) may have come since.
    if (m_askAgain) {
        m_askAgain = false;
        m_capabilities.reset();
        askCapabilities();
    }
    Entry& entry = m_entries[key];
    entry.pending = notice;
    entry.withdrawn = false;
    sendPending(key);
}

void DesktopNotifier::withdraw(const QString& key)
{
    const auto found = m_entries.find(key);
    if (found == m_entries.end())
        return;
    found->pending.reset();
    if (found->sending) {
        found->withdrawn = true; // closed when its id arrives
        return;
    }
    close(found->id);
    m_entries.erase(found);
}

void DesktopNotifier::capabilitiesAnswered(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    const QDBusPendingReply<QStringList> reply = *watcher;
    // No server, or one that refuses: notices are still sent, as plain text without actions, and the
    // question is asked again with the next notice.
    m_capabilities = reply.isError() ? QStringList() : reply.value();
    m_askAgain = reply.isError();
    for (const QString& key : m_entries.keys())
        sendPending(key);
}

void DesktopNotifier::sendPending(const QString& key)
{
    const auto found = m_entries.find(key);
    if (found == m_entries.end() || !found->pending || found->sending || !m_capabilities)
        return;
    const DesktopNotice notice = *found->pending;
    found->pending.reset();
    found->sending = true;

    QDBusMessage message = call(u"Notify"_s);
    const QString body = m_capabilities->contains(u"body-markup"_s) ? escapeMarkup(notice.body) : notice.body;
    const QStringList actions =
        m_capabilities->contains(u"actions"_s) ? QStringList{DefaultAction, u"表示"_s} : QStringList();
    const QVariantMap hints{{u"desktop-entry"_s, m_desktopEntry}, {u"category"_s, u"im.received"_s}};
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the server's default)
    message << m_appName << found->id << m_iconName << notice.summary << body << actions << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, key](QDBusPendingCallWatcher* call) { notifyAnswered(key, call); });
}

void DesktopNotifier::notifyAnswered(const QString& key, QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    const QDBusPendingReply<uint> reply = *watcher;
    const auto found = m_entries.find(key);
    if (found == m_entries.end())
        return;
    found->sending = false;
    if (!reply.isError())
        found->id = reply.value();
    if (found->withdrawn) {
        close(found->id);
        m_entries.erase(found);
        return;
    }
    sendPending(key); // what arrived meanwhile replaces the one just shown
}

void DesktopNotifier::close(uint id)
{
    if (id == 0)
        return;
    QDBusMessage message = call(u"CloseNotification"_s);
    message << id;
    QDBusConnection::sessionBus().send(message);
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action)
{
    if (action != DefaultAction || id == 0)
        return;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        if (it->id == id) {
            Q_EMIT activated(it.key());
            return;
        }
    }
}

void DesktopNotifier::onNotificationClosed(uint id, uint)
{
    // Gone by itself (expired, dismissed): the next notice under its key starts afresh.
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->id == id && !it->sending) {
            if (it->pending)
                it->id = 0;
            else
                m_entries.erase(it);
            return;
        }
    }
}

} // namespace os
