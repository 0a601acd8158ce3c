#pragma once

#include "os/inputmethodcheck.h"

#include <QString>

class QWidget;

namespace widgets {

/// What the user is told when Japanese cannot be typed into the program: why, and what to do.
QString inputMethodNoticeText(const os::UnreachableInputMethod& method);

/**
 * Tells the user, in a box that blocks nothing, when the session's input method cannot reach the
 * program (see os::unreachableInputMethod()). The box stands over @p parent and closes with it.
 * @return the box, or nullptr when there is nothing to tell.
 */
QWidget* showInputMethodNotice(QWidget* parent, const os::InputMethodEnvironment& environment,
                               const QStringList& availableModules);

} // namespace widgets
