#include "columnfit.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QStyle>
#include <QTableView>

namespace widgets {

QString withWidestDigits(const QString& text, const QFontMetrics& metrics)
{
    QChar widest = u'0';
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        if (metrics.horizontalAdvance(QChar(digit)) > metrics.horizontalAdvance(widest))
            widest = QChar(digit);
    }
    QString result = text;
    for (QChar& c : result) {
        if (c >= u'0' && c <= u'9')
            c = widest;
    }
    return result;
}

int cellWidthFor(const QAbstractItemView& view, const QString& text)
{
    // The item delegates draw a cell's text inside this margin on each side and elide what does
    // not fit; a table draws its grid line inside the cell's last pixel.
    const int margin = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
    const auto* table = qobject_cast<const QTableView*>(&view);
    const int gridLine = table && table->showGrid() ? 1 : 0;
    return view.fontMetrics().horizontalAdvance(text) + 2 * margin + gridLine;
}

} // namespace widgets
