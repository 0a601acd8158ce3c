#pragma once

#include <QString>

class QAbstractItemView;
class QFontMetrics;

namespace widgets {

/**
 * @p text with every decimal digit replaced by the one that is widest in @p metrics: as wide as
 * any text of the same form can be, since a proportional font need not give all digits one width.
 */
QString withWidestDigits(const QString& text, const QFontMetrics& metrics);

/**
 * The width a column of @p view needs to show @p text whole in one of its cells, in the view's
 * font: the text, the style's margin on either side of it and, in a table, the grid line.
 */
int cellWidthFor(const QAbstractItemView& view, const QString& text);

} // namespace widgets
