#pragma once

#include <QWidget>

namespace info {

/**
 * The etched groove that the dialog designs draw with two lines on one row: a highlight line 2
 * pixels high and, over its upper row, a shadow line 1 pixel high. The designs' white and grey
 * (128, 128, 128) are the classic 3D highlight and shadow, so the lines take the palette's Light
 * and Dark colours and stay visible in a dark theme. The two lines may start at different x
 * positions; both end at the same x. The groove is decoration only: it ignores the mouse and
 * takes no focus.
 */
class EtchedLine final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EtchedLine)

public:
    /// All positions in twips of @p parent's client area; @p y is the row both lines are drawn on.
    EtchedLine(int y, int greyFrom, int whiteFrom, int to, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_greyFrom;  // pixels, in the parent's coordinates
    int m_whiteFrom; // pixels, in the parent's coordinates
};

} // namespace info
