#include "searchhitdelegate.h"

#include "history/core/searchresultmodel.h"

#include <QApplication>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace history::ui {

namespace {

// Black on yellow reads at a contrast of about 16:1 in light and dark themes alike, selected or not.
constexpr QRgb MarkGround = 0xFFE45C;
constexpr QRgb MarkText = 0x000000;

} // namespace

void SearchHitDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QList<int> matches = index.data(core::SearchResultModel::MatchesRole).value<QList<int>>();
    if (matches.isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    const QString text = cell.text;
    cell.text.clear();
    const QStyle* style = cell.widget ? cell.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget); // ground, selection, focus
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, cell.widget) + 1;
    const QRect area =
        style->subElementRect(QStyle::SE_ItemViewItemText, &cell, cell.widget).adjusted(margin, 0, -margin, 0);
    const bool selected = cell.state & QStyle::State_Selected;
    const QColor textColor = cell.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    QFont bold = cell.font;
    bold.setBold(true);

    painter->save();
    painter->setClipRect(area);
    int x = area.left();
    const auto draw = [&](qsizetype from, qsizetype to, bool match) {
        if (to <= from || x > area.right())
            return;
        const QString part = text.sliced(from, to - from);
        const QFont& font = match ? bold : cell.font;
        const int width = QFontMetrics(font).horizontalAdvance(part);
        const QRect box(x, area.top(), width, area.height());
        if (match)
            painter->fillRect(box.adjusted(0, 1, 0, -1), QColor(MarkGround));
        painter->setFont(font);
        painter->setPen(match ? QColor(MarkText) : textColor);
        painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, part);
        x += width;
    };
    // A match beyond the cell's right edge is brought into sight: the text starts a little before
    // it, the cut marked with 「…」.
    qsizetype at = 0;
    const qsizetype firstMatch = std::clamp<qsizetype>(matches.at(0), 0, text.size());
    const QFontMetrics plain(cell.font);
    const int matchWidth = QFontMetrics(bold).horizontalAdvance(
        text.sliced(firstMatch, std::clamp<qsizetype>(matches.value(1), 0, text.size() - firstMatch)));
    if (plain.horizontalAdvance(text.first(firstMatch)) + matchWidth > area.width()) {
        at = firstMatch;
        while (at > 0 && plain.horizontalAdvance(text.sliced(at - 1, firstMatch - at + 1)) <= area.width() / 3)
            --at;
        const QString cut = u"…"_s;
        painter->setFont(cell.font);
        painter->setPen(textColor);
        painter->drawText(QRect(x, area.top(), area.width(), area.height()), Qt::AlignLeft | Qt::AlignVCenter, cut);
        x += plain.horizontalAdvance(cut);
    }
    for (qsizetype k = 0; k + 1 < matches.size(); k += 2) {
        const qsizetype start = std::clamp<qsizetype>(matches.at(k), at, text.size());
        const qsizetype end = std::clamp<qsizetype>(start + matches.at(k + 1), start, text.size());
        draw(at, start, false);
        draw(start, end, true);
        at = end;
    }
    draw(at, text.size(), false);
    painter->restore();
}

} // namespace history::ui
