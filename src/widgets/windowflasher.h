#pragma once

#include <QPointer>
#include <QWidget>

namespace widgets {

/// Draws the user's attention to a window (taskbar entry and title), as an arrived message does.
class WindowFlasher
{
public:
    virtual ~WindowFlasher() = default;
    virtual void flash(QWidget* window) = 0;
    /**
     * A message @p text arrived for @p window, where the user answers in @p replyBox (may be null).
     * By default the window is flashed.
     */
    virtual void messageArrived(QWidget* window, const QString& text, QWidget* replyBox)
    {
        Q_UNUSED(text);
        Q_UNUSED(replyBox);
        flash(window);
    }
};

/// QApplication::alert followed by a sync, so that the request reaches the window manager at once.
class AlertWindowFlasher final : public WindowFlasher
{
public:
    void flash(QWidget* window) override;

private:
    QPointer<QWidget> m_syncFor; ///< the window whose sync is due in this turn of the event loop
};

} // namespace widgets
