#pragma once

#include <QPointer>
#include <QWidget>

namespace info {

/**
 * Shows the one window of type @p Window that @p holder keeps: creates it when there is none (or
 * the one there has been closed and waits for its deletion), otherwise only brings the open one
 * to the front, so it is not loaded again. The window is shown without an owner and not modal.
 * Windows shown this way destroy themselves on close (Qt::WA_DeleteOnClose), which clears @p holder.
 * @return the shown window.
 */
template<typename Window> Window* showSingleWindow(QPointer<Window>& holder)
{
    if (holder && !holder->isVisible() && holder->testAttribute(Qt::WA_DeleteOnClose)) {
        // Closed, with its deletion still pending: a later showing must be a fresh window.
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
