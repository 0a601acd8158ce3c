#include "popuppresenter.h"

#include "popupwindow.h"
#include "visibletext.h"

#include <QGuiApplication>
#include <QScreen>

namespace messenger {

bool PopupPresenter::present(const Notification& notification)
{
    // Without a screen (the display went away) nothing can be shown.
    if (!QGuiApplication::primaryScreen())
        return false;
    auto* window = new PopupWindow(notification);
    window->show();
    m_desktop.notify(PopupWindow::titleFor(notification), visibleText(notification.text, TextShape::MultiLine));
    return true;
}

} // namespace messenger
