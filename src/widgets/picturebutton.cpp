#include "picturebutton.h"

#include <QPainter>

namespace widgets {

namespace {

// How far inside the button's edge the mark runs: clear of the frame, over the picture.
constexpr int FocusMarkInset = 3;

} // namespace

PictureButton::PictureButton(QWidget* parent)
    : QPushButton(parent)
{}

void PictureButton::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    if (!hasFocus())
        return;
    const QRect mark = rect().adjusted(FocusMarkInset, FocusMarkInset, -FocusMarkInset - 1, -FocusMarkInset - 1);
    if (mark.width() < 2 || mark.height() < 2)
        return;
    QPainter painter(this);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(mark);
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.drawRect(mark);
}

} // namespace widgets
