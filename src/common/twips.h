#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace common {

/// Window designs are measured in twips; 15 twips make one device-independent pixel.
inline constexpr int TwipsPerPixel = 15;

constexpr int px(int twips)
{
    return (twips + TwipsPerPixel / 2) / TwipsPerPixel;
}
constexpr int twips(int pixels)
{
    return pixels * TwipsPerPixel;
}
constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}
constexpr QSize twipsSize(int width, int height)
{
    return QSize(px(width), px(height));
}
constexpr QPoint twipsPoint(int x, int y)
{
    return QPoint(px(x), px(y));
}

} // namespace common
