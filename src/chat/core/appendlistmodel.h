#pragma once

#include "common/logline.h"

#include <QAbstractListModel>
#include <QBasicTimer>
#include <QList>
#include <QString>
#include <QTimerEvent>

#include <chrono>
#include <functional>

namespace chat::core {

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
 * A row reaches the views at once, unless it comes less than a millisecond after the one before
 * (after the views have dealt with that one, when it was shown at once): then it belongs to a
 * burst, and the burst's rows follow together, AnnounceIntervalMs later and every
 * AnnounceIntervalMs while the burst goes on. A view lays out all its rows after every
 * insertion, so a flood of datagrams would otherwise spend most of its time laying out the list;
 * this way a flood updates the list 25 times a second, faster than anyone reads, and a message
 * typed by a person still shows at once.
 *
 * With a @p MaxItems above 0 the model keeps only the last MaxItems items: each append beyond them
 * drops the oldest at once, and the views learn of the dropped rows together with the next
 * insertion, as one removal. Otherwise items() holds every item appended.
 */
template<typename Item, qsizetype MaxItems = 0> class AppendListModel final : public QAbstractListModel
{
    static_assert(MaxItems >= 0);

public:
    static constexpr int AnnounceIntervalMs = 40;
    /// A monotonic clock in nanoseconds; tests replace it to decide what counts as a burst.
    using Clock = std::function<qint64()>;

    using QAbstractListModel::QAbstractListModel;

    void setClock(Clock clock) { m_clock = std::move(clock); }

    /// Adds @p item as the last row.
    void append(Item item)
    {
        m_items.append(std::move(item));
        if (MaxItems > 0 && m_items.size() > MaxItems)
            dropOldest();
        const qint64 now = m_clock();
        const bool burst = m_lastAppendNs >= 0 && now - m_lastAppendNs < BurstGapNs;
        m_lastAppendNs = now;
        if (m_announceTimer.isActive())
            return; // shown with the rest of its burst
        if (burst) {
            m_announceTimer.start(AnnounceIntervalMs, Qt::PreciseTimer, this);
        } else {
            announce();
            // The views' own work on the new row (layout, scrolling) is no pause between rows:
            // counted as one, a row that costs the views a millisecond would end every burst.
            m_lastAppendNs = m_clock();
        }
    }

    /// The items kept, oldest first, including those not yet shown as rows.
    const QList<Item>& items() const { return m_items; }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
            return {};
        if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
            return {};
        // A row dropped since the views last heard has no item any more; they learn it shortly.
        const qsizetype item = qsizetype(index.row()) - m_dropped;
        if (item < 0)
            return QString();
        return lineText(m_items.at(item));
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
    // Drops the oldest item. A row the views know of stays a row until the next announce(), so
    // that a flood removes rows once per announcement, not once per datagram.
    void dropOldest()
    {
        m_items.removeFirst();
        if (m_dropped < m_rows)
            ++m_dropped; // one of the known rows; otherwise an item no view ever heard of
    }

    // Tells the views about the rows dropped and the items appended since the last time, as one
    // removal and one insertion.
    void announce()
    {
        if (m_dropped > 0) {
            beginRemoveRows({}, 0, m_dropped - 1);
            m_rows -= m_dropped;
            m_dropped = 0;
            endRemoveRows();
        }
        const int last = int(m_items.size()) - 1;
        if (last >= m_rows) {
            beginInsertRows({}, m_rows, last);
            m_rows = last + 1;
            endInsertRows();
        }
    }

    QList<Item> m_items;
    int m_rows = 0;    // the rows the views know of: m_dropped gone ones, then the first items
    int m_dropped = 0; // known rows whose items were dropped, not yet removed from the views
    QBasicTimer m_announceTimer;
    Clock m_clock = [] {
        return qint64(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    };
    qint64 m_lastAppendNs = -1;
    static constexpr qint64 BurstGapNs = 1'000'000;
};

/// List1's model: the display lines of the messages sent and received, the last 20,000 of them.
/// The log lines keep every message, so a long conversation or a flood costs List1 bounded memory.
using DisplayLineModel = AppendListModel<QString, 20000>;
/// List2's model: the log lines, kept in their four fields until the log is written.
using LogLineModel = AppendListModel<common::LogLine>;

} // namespace chat::core
