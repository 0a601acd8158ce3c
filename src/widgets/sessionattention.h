#pragma once

#include "os/desktopnotifier.h"
#include "widgets/windowflasher.h"

#include <QObject>
#include <QPointer>

namespace widgets {

/**
 * Draws attention to a window a message arrived for, in the way the session supports. Where the
 * window system shows urgency (X11), the window is flashed, as always. On Wayland Qt 6.4 has no
 * alert, so while the window is not active a desktop notification "相手からのメッセージ" shows the
 * message instead: one per window, replaced by the next message, withdrawn when the window becomes
 * active, and a click on it brings the window to the front. Nothing is shown while it is active.
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

    /// The mode for the platform Qt runs on.
    static Mode modeForPlatform(const QString& platformName);

    explicit SessionAttention(Mode mode, QObject* parent = nullptr);

    void flash(QWidget* window) override;
    void messageArrived(QWidget* window, const QString& text) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static QString keyFor(const QObject* window);

    Mode m_mode;
    AlertWindowFlasher m_flasher;
    os::DesktopNotifier m_notifier;
};

} // namespace widgets
