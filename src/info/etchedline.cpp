#include "etchedline.h"

#include "common/twips.h"

#include <QPainter>
#include <QPalette>

#include <algorithm>

namespace info {

EtchedLine::EtchedLine(int y, int greyFrom, int whiteFrom, int to, QWidget* parent)
    : QWidget(parent)
    , m_greyFrom(common::px(greyFrom))
    , m_whiteFrom(common::px(whiteFrom))
{
    const int left = std::min(m_greyFrom, m_whiteFrom);
    // The end point is not drawn, as with any line drawn from one point to another.
    setGeometry(left, common::px(y), common::px(to) - left, 2);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void EtchedLine::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const int left = x();
    painter.fillRect(m_whiteFrom - left, 0, width() - (m_whiteFrom - left), 2, palette().color(QPalette::Light));
    // The shadow line lies over the highlight's upper row, which gives the sunken look.
    painter.fillRect(m_greyFrom - left, 0, width() - (m_greyFrom - left), 1, palette().color(QPalette::Dark));
}

} // namespace info
