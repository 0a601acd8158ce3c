#pragma once

#include "os/desktopnotifier.h"
#include "os/launcherentry.h"
#include "widgets/windowflasher.h"

#include <QHash>
#include <QObject>
#include <QPointer>

namespace widgets {

/**
 * Draws attention to a window a message arrived for, in the way the session supports. Where the
 * window system shows urgency (X11), the window is flashed, as always. On Wayland Qt 6.4 has no
 * alert, so while the window is not active a desktop notification "相手からのメッセージ (n件)" shows
 * the message instead: one per window, replaced by the next message, withdrawn when the window
 * becomes active, and a click on it brings the window to the front with the cursor in its reply box.
 * Nothing is shown while it is active.
 *
 * In both modes the messages that arrive while their window is not active are counted, and the
 * count is shown on the program's taskbar or dock entry (LauncherEntry) until the window is
 * activated.
 */
class SessionAttention final : public QObject, public WindowFlasher
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionAttention)

public:
    enum class Mode {
        Flash,  ///< the window system shows urgency
        Notify, ///< it does not (Wayland): desktop notifications
    };
    static constexpr char16_t Summary[] = u"相手からのメッセージ";
    /// The notification's summary with @p unread messages: "相手からのメッセージ (3件)".
    static QString summaryFor(int unread);

    /// The mode for the platform Qt runs on.
    static Mode modeForPlatform(const QString& platformName);

    explicit SessionAttention(Mode mode, QObject* parent = nullptr);

    void flash(QWidget* window) override;
    void messageArrived(QWidget* window, const QString& text, QWidget* replyBox) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// The messages that arrived for one window while it was not active.
    struct Unread
    {
        int count = 0;
        QPointer<QWidget> replyBox;
    };

    static QString keyFor(const QObject* window);
    void bringToFront(const QString& key);
    void showUnreadCount();

    Mode m_mode;
    AlertWindowFlasher m_flasher;
    os::DesktopNotifier m_notifier;
    os::LauncherEntry m_launcher;
    QHash<QString, Unread> m_unread; ///< by window key
};

} // namespace widgets
