#pragma once

#include <QPointer>
#include <QWidget>

namespace info {

/**
 * Shows the one window of type @p Window that @p holder keeps: creates it when there is none,
 * otherwise only brings the open one to the front, so it is not loaded again. The window is shown
 * without an owner and not modal. Windows shown this way destroy themselves on close
 * (Qt::WA_DeleteOnClose), which clears @p holder; a held window that is no longer visible has been
 * closed and waits for its deletion, so it is replaced by a fresh one.
 * @return the shown window.
 */
template<typename Window> Window* showSingleWindow(QPointer<Window>& holder)
{
    if (holder && !holder->isVisible()) {
        // Closed, with its deletion still pending (Qt clears WA_DeleteOnClose when it schedules it).
        holder->deleteLater();
        holder.clear();
    }
    if (!holder)
        holder = new Window();
    if (holder->isMinimized())
        holder->showNormal();
    else
        holder->show();
    holder->raise();
    holder->activateWindow();
    return holder.data();
}

} // namespace info
