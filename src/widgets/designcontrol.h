#pragma once

#include <QSize>
#include <QString>

class QObject;
class QWidget;

namespace widgets {

/// Gives @p object the name its window's design has for it, so that tests and tools find it by that name.
template<typename T> T* named(T* object, const QString& designName)
{
    object->setObjectName(designName);
    return object;
}

/**
 * Tells screen readers what @p widget is: @p accessibleName (left as Qt derives it from the
 * caption when empty) and @p description. Text boxes, lists and picture buttons have no caption
 * a screen reader could read, so every control of a window is described this way.
 */
void describe(QWidget* widget, const QString& accessibleName, const QString& description);

/**
 * Keeps @p window's outer size, frame included, at least @p outerMinimum. The minimum also goes to
 * the window system, so a drag cannot leave the window smaller; a minimised window keeps its size.
 */
void keepOuterMinimum(QWidget* window, QSize outerMinimum);

} // namespace widgets
