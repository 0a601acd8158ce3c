#pragma once

#include <QIcon>

class QWidget;

namespace widgets {

/**
 * The program icon in the sizes a window shows (the resources ":/icons/tavik-<size>.png", 16 to
 * 64 pixels, linked into the program); null in a program built without them. The larger sizes
 * of menus and launchers come from the icon theme, where the package installs them.
 */
const QIcon& programIcon();

/// Gives @p window the program icon, where the program has one.
void applyProgramIcon(QWidget* window);

} // namespace widgets
