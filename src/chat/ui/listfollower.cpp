#include "listfollower.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QScrollBar>

namespace chat::ui {

ListFollower::ListFollower(QAbstractItemView* view)
    : QObject(view)
    , m_view(view)
{
    // The model announces a burst of lines as one insertion, so the view scrolls once per batch.
    QAbstractItemModel* model = view->model();
    Q_ASSERT(model);
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, &ListFollower::rememberWhetherAtEnd);
    connect(model, &QAbstractItemModel::rowsInserted, this, &ListFollower::followIfItWasAtEnd);
}

void ListFollower::rememberWhetherAtEnd()
{
    const QScrollBar* bar = m_view->verticalScrollBar();
    // Without a scroll bar the range is empty and the value is its maximum: all rows are in view.
    m_wasAtEnd = bar->value() >= bar->maximum();
}

void ListFollower::followIfItWasAtEnd()
{
    if (m_wasAtEnd)
        m_view->scrollToBottom(); // lays out the new rows first, so the range includes them
}

} // namespace chat::ui
