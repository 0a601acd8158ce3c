#pragma once

#include <QFont>
#include <QHash>
#include <QStyledItemDelegate>

namespace chat::ui {

/**
 * Draws and measures the rows of a one-line list as QStyledItemDelegate does, but hands the style
 * only as much of a row's text as can be seen: for painting, enough to fill the part of the row
 * in view; for the row's size (which sets how far the list scrolls sideways), enough to fill the
 * widest screen. The style lays out the whole text given to it several times per row and paint,
 * so a flood of long lines would otherwise keep the window busy with text nobody can see. What is
 * left out lies beyond the edge of what is shown, marked "…"; the model, and so what a screen
 * reader reads, keeps the whole line.
 */
class BoundedLineDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoundedLineDelegate)

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    /**
     * The start of @p text that covers @p width pixels in @p font with room to spare (half as much
     * again, for kerning), then "…"; @p text itself when it is not longer. Every character counts
     * at least a pixel, so a text of invisible characters is cut too.
     */
    QString textCovering(const QString& text, const QFont& font, int width) const;

    // Single characters' advances in the list's font, measured once each: adding them up costs
    // far less than laying the text out. At most one entry per UTF-16 code unit.
    mutable QFont m_measuredFont;
    mutable QHash<char16_t, qreal> m_advances;
};

} // namespace chat::ui
