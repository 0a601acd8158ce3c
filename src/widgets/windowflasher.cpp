#include "windowflasher.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

namespace widgets {

void AlertWindowFlasher::flash(QWidget* window)
{
    if (!window)
        return;
    QApplication::alert(window);
    // Without a sync Qt 6.4 keeps the urgency request queued until some other traffic flushes it.
    // The sync runs the event loop, so it is done once per turn of the loop, however many
    // datagrams arrived in that turn: a flood then costs one round trip, not one per datagram.
    if (m_syncFor)
        return;
    m_syncFor = window; // cleared by itself if the window goes before the loop's next turn
    QTimer::singleShot(0, window, [this] {
        m_syncFor.clear();
        QGuiApplication::sync();
    });
}

} // namespace widgets
