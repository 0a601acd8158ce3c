#include "singlewindow.h"

namespace widgets {

SingleWindow::SingleWindow(Factory factory)
    : m_factory(std::move(factory))
{}

void SingleWindow::show()
{
    // A window that was just closed still exists until its deferred deletion runs; Qt clears
    // WA_DeleteOnClose when it schedules that. Showing it again would show a window about to vanish.
    if (m_window && !m_window->isVisible() && !m_window->testAttribute(Qt::WA_DeleteOnClose))
        m_window.clear();
    if (!m_window) {
        if (!m_factory)
            return;
        m_window = m_factory();
        if (!m_window)
            return;
        // Closing destroys it, and QPointer forgets it, so the next show creates it afresh.
        m_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_window->show();
    if (m_window->isMinimized())
        m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace widgets
