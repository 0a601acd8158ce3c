#pragma once

#include <QPoint>
#include <QSize>

class QDialog;
class QLabel;
class QPushButton;
class QRect;
class QString;

namespace info {

/**
 * Gives @p window the fixed dialog frame of the designs: a title bar with a close button only (no
 * minimise or maximise), a client area of @p clientTwips that cannot be resized, placed with its
 * top-left corner at @p positionTwips from the top-left corner of the primary screen.
 */
void setUpFixedDialog(QDialog* window, QSize clientTwips, QPoint positionTwips);

/**
 * The closing button both windows have first in their tab order: the default button, so Enter
 * presses it, and the one Esc presses too.
 */
QPushButton* makeCloseButton(QDialog* window, const QString& caption, QRect geometry, const QString& description);

/// The program icon at its natural 32 x 32 size, without a border.
QLabel* makeIconBox(QDialog* window, QRect geometry);

/// Where both information windows are placed, in twips from the screen's top-left corner.
inline constexpr QPoint DesignScreenPosition{2340, 1935};

} // namespace info
