#pragma once

#include <QPushButton>

namespace widgets {

/**
 * A button that shows a picture in place of a caption, as the designs' graphical buttons do. The
 * picture fills the button, so the style's own focus cue (drawn on the frame or around a caption)
 * would be hidden under it; this button draws a dotted rectangle over its picture while it has the
 * keyboard focus, black dots on a white line, so that it shows on any picture.
 */
class PictureButton final : public QPushButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PictureButton)

public:
    explicit PictureButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace widgets
