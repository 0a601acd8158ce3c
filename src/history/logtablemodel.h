#pragma once

#include "history/logreader.h"

#include <QAbstractTableModel>

namespace history {

/**
 * The viewer's grid content: a hidden first column, then sender, receiver, date-time and message
 * of each record (the file holds the message before the date-time; the grid shows it after).
 * Cells are decoded from the compact LogTable when the view asks for them, with spaces (also U+3000)
 * around each field removed.
 * Until a file is loaded it shows the designed four empty rows.
 */
class LogTableModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogTableModel)

public:
    static constexpr int ColumnCount = 5;
    static constexpr int DesignRows = 4;

    explicit LogTableModel(QObject* parent = nullptr);

    /// Shows the records of @p table, replacing whatever was shown; an empty table shows no rows.
    void setTable(LogTable table);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// The text shown in cell (@p row, @p column), the same as data() with the display role.
    QString cellText(int row, int column) const;

private:
    LogTable m_table;
    bool m_designRows = true;
};

/// @p text without the half-width and full-width spaces at its start and end.
QStringView trimSpaces(QStringView text);

} // namespace history
