#include "sessionattention.h"

#include "common/programinfo.h"
#include "common/visibletext.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace widgets {

SessionAttention::Mode SessionAttention::modeForPlatform(const QString& platformName)
{
    return platformName.startsWith(u"wayland"_s) ? Mode::Notify : Mode::Flash;
}

QString SessionAttention::summaryFor(int unread)
{
    return QString::fromUtf16(Summary) + u" (%1件)"_s.arg(unread);
}

SessionAttention::SessionAttention(Mode mode, QObject* parent)
    : QObject(parent)
    , m_mode(mode)
    , m_notifier(QString::fromUtf16(common::program::DisplayName), QString::fromUtf16(common::program::ChatDesktopId),
                 QString::fromUtf16(common::program::IconName))
    , m_launcher(QString::fromUtf16(common::program::ChatDesktopId))
{
    connect(&m_notifier, &os::DesktopNotifier::activated, this, &SessionAttention::bringToFront);
}

// A click on the notification: the window comes to the front, ready for the answer.
void SessionAttention::bringToFront(const QString& key)
{
    const QPointer<QWidget> replyBox = m_unread.value(key).replyBox;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (keyFor(window) != key)
            continue;
        window->showNormal();
        window->raise();
        window->activateWindow();
        if (replyBox && replyBox->window() == window && replyBox->isVisible())
            replyBox->setFocus(Qt::ActiveWindowFocusReason);
    }
}

QString SessionAttention::keyFor(const QObject* window)
{
    return QString::number(quintptr(window), 16);
}

void SessionAttention::flash(QWidget* window)
{
    m_flasher.flash(window);
}

void SessionAttention::messageArrived(QWidget* window, const QString& text, QWidget* replyBox)
{
    if (!window)
        return;
    if (m_mode == Mode::Flash)
        m_flasher.flash(window);
    if (window->isActiveWindow())
        return;
    const QString key = keyFor(window);
    Unread& unread = m_unread[key];
    // Watched from the first unread message on, to clear the count and withdraw the notice when
    // the window is activated.
    if (unread.count++ == 0)
        window->installEventFilter(this);
    unread.replyBox = replyBox;
    showUnreadCount();
    if (m_mode == Mode::Notify)
        m_notifier.show(key, {summaryFor(unread.count), common::visibleText(text, common::TextShape::MultiLine)});
}

void SessionAttention::showUnreadCount()
{
    qint64 total = 0;
    for (const Unread& unread : std::as_const(m_unread))
        total += unread.count;
    m_launcher.setCount(total);
}

bool SessionAttention::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Destroy || event->type() == QEvent::Close) {
        const QString key = keyFor(watched);
        m_notifier.withdraw(key);
        if (m_unread.remove(key))
            showUnreadCount();
        watched->removeEventFilter(this);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace widgets
