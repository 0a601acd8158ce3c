#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace widgets {

/**
 * Holds a window that exists at most once: the first show() creates it through the factory,
 * showing it while it is open only brings it to the front, and closing it destroys it, so the
 * next show() creates it afresh. The window has no owner and is not modal.
 */
class SingleWindow final
{
public:
    using Factory = std::function<QWidget*()>;

    explicit SingleWindow(Factory factory = {});
    SingleWindow(const SingleWindow&) = delete;
    SingleWindow& operator=(const SingleWindow&) = delete;

    void setFactory(Factory factory) { m_factory = std::move(factory); }

    /// Creates the window if needed, then shows, raises and activates it. Without a factory it does nothing.
    void show();

    /// The window while it is open, else nullptr.
    QWidget* window() const { return m_window; }

private:
    Factory m_factory;
    QPointer<QWidget> m_window;
};

} // namespace widgets
