#pragma once

#include "widgets/singlewindow.h"

#include <QPointer>

namespace testsupport {

/// Opens a window the way the main window's menu does, through @p single; @p holder follows it.
template<typename Window> Window* showThrough(widgets::SingleWindow& single, QPointer<Window>& holder)
{
    single.show();
    holder = qobject_cast<Window*>(single.window());
    return holder.data();
}

} // namespace testsupport
