#include "popuppresenter.h"

#include "common/programinfo.h"
#include "common/visibletext.h"
#include "popupwindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace messenger::popup {

PopupPresenter::PopupPresenter()
    : m_desktop(QString::fromUtf16(common::program::DisplayName), QString::fromUtf16(common::program::ServiceDesktopId),
                QString::fromUtf16(common::program::IconName))
{
    QObject::connect(&m_desktop, &os::DesktopNotifier::activated, &m_desktop, [this](const QString& key) {
        if (QWidget* window = m_byKey.value(key)) {
            window->show();
            window->raise();
            window->activateWindow();
        }
    });
}

bool PopupPresenter::hasRoom() const
{
    // A closed pop-up no longer counts, even before it has been deleted.
    m_open.removeIf([](const QPointer<QWidget>& window) { return window.isNull() || !window->isVisible(); });
    return m_open.size() < MaxOpen;
}

bool PopupPresenter::present(const service::Notification& notification)
{
    // Without a screen (the display went away) nothing can be shown.
    if (!QGuiApplication::primaryScreen())
        return false;
    auto* window = new PopupWindow(notification);
    m_open.append(window);
    m_lastShown = window;
    window->show();
    const QString key = QString::number(++m_shown);
    m_byKey.insert(key, window);
    QObject::connect(window, &QObject::destroyed, &m_desktop, [this, key] {
        m_byKey.remove(key);
        m_desktop.withdraw(key);
    });
    m_desktop.show(key, {PopupWindow::titleFor(notification),
                         common::visibleText(notification.text, common::TextShape::MultiLine)});
    return true;
}

} // namespace messenger::popup
