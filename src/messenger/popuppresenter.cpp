#include "popuppresenter.h"

#include "common/visibletext.h"
#include "popupwindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace messenger {

bool PopupPresenter::hasRoom() const
{
    // A closed pop-up no longer counts, even before it has been deleted.
    m_open.removeIf([](const QPointer<QWidget>& window) { return window.isNull() || !window->isVisible(); });
    return m_open.size() < MaxOpen;
}

bool PopupPresenter::present(const Notification& notification)
{
    // Without a screen (the display went away) nothing can be shown.
    if (!QGuiApplication::primaryScreen())
        return false;
    auto* window = new PopupWindow(notification);
    m_open.append(window);
    window->show();
    m_desktop.notify(PopupWindow::titleFor(notification),
                     common::visibleText(notification.text, common::TextShape::MultiLine));
    return true;
}

} // namespace messenger
