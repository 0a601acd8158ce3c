#pragma once

#include <QIcon>

class QWidget;

namespace platform {

/**
 * The program icon in every size drawn for it (the resources ":/icons/tavik-<size>.png" linked
 * into the program); null in a program built without them.
 */
QIcon programIcon();

/// Gives @p window the program icon, where the program has one.
void applyProgramIcon(QWidget* window);

} // namespace platform
