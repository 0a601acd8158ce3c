#pragma once

#include <QAccessible>
#include <QAccessibleInterface>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace testsupport {

/**
 * Lists the controls of @p window that a screen reader could not announce: each one without an
 * accessible name or without an accessible description, as "objectName (Class): no name" or
 * "...: no description". The name and description are read through the accessibility interface,
 * as a screen reader gets them, so a button's caption or a label's text counts as its name, and
 * a picture button without caption counts as nameless.
 *
 * Checked are the window's controls: every descendant widget that the program named (an objectName
 * that is not one of Qt's internal "qt_…" parts), and every unnamed widget that takes the keyboard
 * focus, unless it lies inside a named control (the inner parts of a calendar, a table, a spin box)
 * or hands its focus to another widget. Hidden controls are checked too: a layout may show them later.
 * Windows of their own among the children (menus, child dialogs) are left to a call of their own.
 */
inline QStringList controlsWithoutAccessibleText(const QWidget* window)
{
    QStringList gaps;
    const QList<QWidget*> widgets = window->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        const QString name = widget->objectName();
        // Qt's own inner parts, and windows of their own (menus, child dialogs) checked on their own.
        if (name.startsWith(QLatin1String("qt_")) || widget->isWindow())
            continue;
        if (name.isEmpty()) {
            if (widget->focusPolicy() == Qt::NoFocus || widget->focusProxy() != nullptr)
                continue;
            bool insideNamedControl = false;
            for (QWidget* up = widget->parentWidget(); up && up != window; up = up->parentWidget()) {
                if (!up->objectName().isEmpty()) {
                    insideNamedControl = true;
                    break;
                }
            }
            if (insideNamedControl)
                continue;
        }
        const QString label = (name.isEmpty() ? QStringLiteral("<unnamed>") : name) + QStringLiteral(" (") +
                              QString::fromLatin1(widget->metaObject()->className()) + QStringLiteral(")");
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
        if (!iface) {
            gaps.append(label + QStringLiteral(": no accessibility interface"));
            continue;
        }
        if (iface->text(QAccessible::Name).trimmed().isEmpty())
            gaps.append(label + QStringLiteral(": no name"));
        if (iface->text(QAccessible::Description).trimmed().isEmpty())
            gaps.append(label + QStringLiteral(": no description"));
    }
    return gaps;
}

} // namespace testsupport
