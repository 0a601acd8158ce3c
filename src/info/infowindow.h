#pragma once

#include <QPoint>
#include <QSize>

class QDialog;
class QLabel;
class QPushButton;
class QRect;
class QString;

namespace info {

/// Where both information windows are placed, in twips from the screen's top-left corner.
inline constexpr QPoint DesignScreenPosition{2340, 1935};

/**
 * Sets up @p window as an information window named @p objectName: deleted when closed, titled
 * @p title (also its accessible name) and described by @p description for screen readers, with
 * the fixed dialog frame of the designs (a title bar with a close button only, no minimise or
 * maximise), a client area of @p clientTwips that cannot be resized, placed at
 * DesignScreenPosition from the top-left corner of the primary screen.
 */
void setUpInfoWindow(QDialog* window, const QString& objectName, const QString& title, const QString& description,
                     QSize clientTwips);

/**
 * The closing button both windows have first in their tab order: the default button, so Enter
 * presses it, and the one Esc presses too.
 */
QPushButton* makeCloseButton(QDialog* window, const QString& caption, QRect geometry, const QString& description);

/// The program icon at its natural 32 x 32 size, without a border.
QLabel* makeIconBox(QDialog* window, QRect geometry);

} // namespace info
