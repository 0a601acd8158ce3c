#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QDBusPendingCallWatcher;

namespace os {

/// One desktop notification: both texts are plain text, whatever the notification server makes of markup.
struct DesktopNotice
{
    QString summary;
    QString body;
};

/**
 * Desktop notifications through org.freedesktop.Notifications on the session bus, for both programs.
 * Each notification is shown under a key of the caller's: showing again under the same key replaces
 * it rather than adding another, withdraw() takes it away, and a click on it (where the server
 * supports actions) is reported as activated(key).
 *
 * Nothing waits for the server: the calls are asynchronous, so a server that is absent, refuses or
 * never answers never holds up the program. The server's capabilities are asked for once; until the
 * answer comes (or the call fails) notices are held, the latest per key, and at most one call per
 * key is on its way, so a flood of messages costs a handful of calls, not one each. The summary is
 * sent as plain text (the notification protocol allows no markup there), the body escaped only when the
 * server reads markup in it (capability "body-markup"). Without a session bus nothing is sent.
 */
class DesktopNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifier)

public:
    /// @p desktopEntry: the desktop-file id (without ".desktop") sent as hint and by which the server
    /// finds the program; @p iconName: the icon theme's name of the program icon.
    DesktopNotifier(QString appName, QString desktopEntry, QString iconName, QObject* parent = nullptr);

    /// Whether a session bus is connected (a notification server may still be missing on it).
    bool available() const { return m_available; }

    /// Shows @p notice under @p key, replacing what is shown under that key.
    void show(const QString& key, const DesktopNotice& notice);
    /// Takes away the notification shown under @p key, if any.
    void withdraw(const QString& key);

    /// @p text with the characters a notification server reads as markup escaped.
    static QString escapeMarkup(const QString& text);

Q_SIGNALS:
    /// The user clicked the notification shown under @p key.
    void activated(const QString& key);

private:
    struct Entry
    {
        uint id = 0;                          ///< the server's id, 0 while none is known
        bool sending = false;                 ///< a Notify call is on its way
        bool withdrawn = false;               ///< to be closed as soon as its id is known
        std::optional<DesktopNotice> pending; ///< the latest notice not yet sent
    };

    void askCapabilities();
    void capabilitiesAnswered(QDBusPendingCallWatcher* call);
    void sendPending(const QString& key);
    void notifyAnswered(const QString& key, QDBusPendingCallWatcher* call);
    void close(uint id);

private Q_SLOTS:
    // D-Bus signals can be connected only by name.
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);

private:
    QString m_appName;
    QString m_desktopEntry;
    QString m_iconName;
    bool m_available = false;
    std::optional<QStringList> m_capabilities; ///< empty while not yet answered
    bool m_askAgain = false;                   ///< the last question failed: ask again with the next notice
    QHash<QString, Entry> m_entries;
};

} // namespace os
