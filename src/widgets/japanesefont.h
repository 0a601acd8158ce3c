#pragma once

#include <QFont>

namespace widgets {

/// The face the window designs name for their Japanese texts.
inline constexpr char16_t DesignFontFamily[] = u"ＭＳ Ｐゴシック";

/**
 * Maps the design face to IPAPGothic (metric-compatible), falling back to any installed Japanese
 * font. Call once after the QApplication exists and before the first window is made.
 */
void installJapaneseFontSubstitution();

/// The design face at @p pointSize, regular weight.
QFont designFont(qreal pointSize);

} // namespace widgets
