#include "designcontrol.h"

#include <QWidget>

namespace widgets {

void describe(QWidget* widget, const QString& accessibleName, const QString& description)
{
    if (!accessibleName.isEmpty())
        widget->setAccessibleName(accessibleName);
    widget->setAccessibleDescription(description);
}

void keepOuterMinimum(QWidget* window, QSize outerMinimum)
{
    const QSize frameExtra = window->frameGeometry().size() - window->size();
    window->setMinimumSize((outerMinimum - frameExtra).expandedTo(QSize(1, 1)));
    if (window->isMinimized())
        return;
    if (window->frameGeometry().width() < outerMinimum.width())
        window->resize(outerMinimum.width() - frameExtra.width(), window->height());
    if (window->frameGeometry().height() < outerMinimum.height())
        window->resize(window->width(), outerMinimum.height() - frameExtra.height());
}

} // namespace widgets
