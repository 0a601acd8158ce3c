#pragma once

#include "common/logline.h"

#include <QAbstractListModel>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTimerEvent>

namespace chat {

/// The text a list shows for an item: the line itself, or a log line's four fields joined.
inline QString lineText(const QString& line)
{
    return line;
}
inline QString lineText(const common::LogLine& line)
{
    return line.joined();
}

/**
 * The items of a conversation list, oldest first, in a model that only ever grows at its end.
 * It replaces a list widget's item per message: an append stores the item, and the text is made
 * only when a view asks for a visible row.
 *
 * A row reaches the views at once, unless it comes less than a millisecond after the one before:
 * then it belongs to a burst, and the burst's rows follow together, AnnounceIntervalMs later and
 * every AnnounceIntervalMs while the burst goes on. A view lays out all its rows after every
 * insertion, so a flood of datagrams would otherwise spend most of its time laying out the list;
 * this way a flood updates the list 25 times a second, faster than anyone reads, and a message
 * typed by a person still shows at once. items() always holds every item appended.
 */
template<typename Item> class AppendListModel final : public QAbstractListModel
{
public:
    static constexpr int AnnounceIntervalMs = 40;

    using QAbstractListModel::QAbstractListModel;

    /// Adds @p item as the last row.
    void append(Item item)
    {
        m_items.append(std::move(item));
        const bool burst = m_lastAppend.isValid() && m_lastAppend.nsecsElapsed() < BurstGapNs;
        m_lastAppend.start();
        if (m_announceTimer.isActive())
            return; // shown with the rest of its burst
        if (burst)
            m_announceTimer.start(AnnounceIntervalMs, Qt::PreciseTimer, this);
        else
            announce();
    }

    /// Every item, oldest first, including those not yet shown as rows.
    const QList<Item>& items() const { return m_items; }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
            return {};
        if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
            return {};
        return lineText(m_items.at(index.row()));
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        // Rows can be selected, for keyboard navigation and screen readers, but not edited.
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
    }

protected:
    void timerEvent(QTimerEvent* event) override
    {
        if (event->timerId() != m_announceTimer.timerId()) {
            QAbstractListModel::timerEvent(event);
            return;
        }
        m_announceTimer.stop();
        announce();
    }

private:
    // Tells the views about the items appended since the last time, as one insertion.
    void announce()
    {
        const int last = int(m_items.size()) - 1;
        if (last >= m_rows) {
            beginInsertRows({}, m_rows, last);
            m_rows = last + 1;
            endInsertRows();
        }
    }

    QList<Item> m_items;
    int m_rows = 0; // the rows the views know of: the first m_rows items
    QBasicTimer m_announceTimer;
    QElapsedTimer m_lastAppend;
    static constexpr qint64 BurstGapNs = 1'000'000;
};

/// List1's model: the display lines of the messages sent and received.
using DisplayLineModel = AppendListModel<QString>;
/// List2's model: the log lines, kept in their four fields until the log is written.
using LogLineModel = AppendListModel<common::LogLine>;

} // namespace chat
