#include "boundedlinedelegate.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFontMetricsF>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace chat::ui {

namespace {

// For a platform that reports no screen: wider than any in use.
constexpr int FallbackScreenWidth = 7680;

int widestScreenWidth()
{
    int widest = 0;
    for (const QScreen* screen : QGuiApplication::screens())
        widest = std::max(widest, screen->geometry().width());
    return widest > 0 ? widest : FallbackScreenWidth;
}

/// How much of the row painted with @p option is in view: from its start to its end or to the
/// right edge of the view, whichever comes first.
int widthInView(const QStyleOptionViewItem& option)
{
    const auto* view = qobject_cast<const QAbstractScrollArea*>(option.widget);
    if (!view || option.direction != Qt::LeftToRight)
        return option.rect.width();
    return std::clamp(view->viewport()->width() - option.rect.left(), 0, option.rect.width());
}

QStyle* styleOf(const QStyleOptionViewItem& option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

} // namespace

void BoundedLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem shown = option;
    initStyleOption(&shown, index);
    // A row elided at its start or middle shows the end of its text; only one elided at the right is cut.
    if (shown.textElideMode == Qt::ElideRight || shown.textElideMode == Qt::ElideNone)
        shown.text = textCovering(shown.text, shown.font, widthInView(option));
    styleOf(option)->drawControl(QStyle::CE_ItemViewItem, &shown, painter, option.widget);
}

QSize BoundedLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (const QVariant size = index.data(Qt::SizeHintRole); size.isValid())
        return size.toSize();
    QStyleOptionViewItem measured = option;
    initStyleOption(&measured, index);
    measured.text = textCovering(measured.text, measured.font, widestScreenWidth());
    return styleOf(option)->sizeFromContents(QStyle::CT_ItemViewItem, &measured, QSize(), option.widget);
}

QString BoundedLineDelegate::textCovering(const QString& text, const QFont& font, int width) const
{
    if (font != m_measuredFont) {
        m_measuredFont = font;
        m_advances.clear();
    }
    const QFontMetricsF metrics(font);
    const qreal wanted = 1.5 * std::max(width, 0);
    qreal covered = 0;
    qsizetype end = 0;
    while (end < text.size() && covered < wanted) {
        const QChar c = text.at(end);
        if (c.isHighSurrogate() && end + 1 < text.size() && text.at(end + 1).isLowSurrogate()) {
            covered += std::max(metrics.horizontalAdvance(text.sliced(end, 2)), qreal(1));
            end += 2;
            continue;
        }
        auto known = m_advances.constFind(c.unicode());
        if (known == m_advances.cend())
            known = m_advances.insert(c.unicode(), metrics.horizontalAdvance(c));
        covered += std::max(*known, qreal(1));
        ++end;
    }
    return end < text.size() ? text.first(end) + u'…' : text;
}

} // namespace chat::ui
