#include "windowflasher.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

namespace platform {

void AlertWindowFlasher::flash(QWidget* window)
{
    if (!window)
        return;
    // The alert asks the window manager for the urgency hint; without the sync Qt 6.4 keeps the
    // request queued until some other traffic flushes it.
    QApplication::alert(window);
    QGuiApplication::sync();
}

} // namespace platform
