#pragma once

#include <QStyledItemDelegate>

namespace history::ui {

/**
 * Draws a cell of the search results with the keyword marked: each match of the cell (the
 * model's SearchResultModel::MatchesRole) in bold on a yellow ground, the rest as usual.
 */
class SearchHitDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchHitDelegate)

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace history::ui
