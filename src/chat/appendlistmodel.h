#pragma once

#include "common/logline.h"

#include <QAbstractListModel>
#include <QList>
#include <QString>

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
 * It replaces a list widget's item per message: an append stores the item and tells the view
 * about one new row, nothing more, and the text is made only when a view asks for a visible
 * row. That keeps a flood of arriving messages cheap however long the conversation gets.
 */
template<typename Item> class AppendListModel final : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    /// Adds @p item as the last row.
    void append(Item item)
    {
        const int row = int(m_items.size());
        beginInsertRows({}, row, row);
        m_items.append(std::move(item));
        endInsertRows();
    }

    /// Every item, oldest first.
    const QList<Item>& items() const { return m_items; }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_items.size()); }

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

private:
    QList<Item> m_items;
};

/// List1's model: the display lines of the messages sent and received.
using DisplayLineModel = AppendListModel<QString>;
/// List2's model: the log lines, kept in their four fields until the log is written.
using LogLineModel = AppendListModel<common::LogLine>;

} // namespace chat
