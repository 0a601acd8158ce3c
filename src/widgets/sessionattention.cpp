#include "sessionattention.h"

#include "common/programinfo.h"
#include "common/visibletext.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace widgets {

SessionAttention::Mode SessionAttention::modeForPlatform(const QString& platformName)
{
    return platformName.startsWith(u"wayland"_s) ? Mode::Notify : Mode::Flash;
}

SessionAttention::SessionAttention(Mode mode, QObject* parent)
    : QObject(parent)
    , m_mode(mode)
    , m_notifier(QString::fromUtf16(common::program::DisplayName), QString::fromUtf16(common::program::ChatDesktopId),
                 QString::fromUtf16(common::program::IconName))
{
    connect(&m_notifier, &os::DesktopNotifier::activated, this, [](const QString& key) {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (keyFor(window) == key) {
                window->showNormal();
                window->raise();
                window->activateWindow();
            }
        }
    });
}

QString SessionAttention::keyFor(const QObject* window)
{
    return QString::number(quintptr(window), 16);
}

void SessionAttention::flash(QWidget* window)
{
    m_flasher.flash(window);
}

void SessionAttention::messageArrived(QWidget* window, const QString& text)
{
    if (!window)
        return;
    if (m_mode == Mode::Flash) {
        m_flasher.flash(window);
        return;
    }
    if (window->isActiveWindow())
        return;
    // Watched from the first message on, to withdraw the notice when the window is activated.
    window->removeEventFilter(this);
    window->installEventFilter(this);
    m_notifier.show(keyFor(window),
                    {QString::fromUtf16(Summary), common::visibleText(text, common::TextShape::MultiLine)});
}

bool SessionAttention::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Destroy || event->type() == QEvent::Close)
        m_notifier.withdraw(keyFor(watched));
    return QObject::eventFilter(watched, event);
}

} // namespace widgets
