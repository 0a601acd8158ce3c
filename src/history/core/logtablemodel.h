#pragma once

#include "history/core/logreader.h"

#include <QAbstractTableModel>
#include <QBasicTimer>

namespace history::core {

/**
 * The viewer's grid content: a hidden first column, then sender, receiver, date-time and message
 * of each record (the file holds the message before the date-time; the grid shows it after).
 * Cells are decoded from the compact LogTable when the view asks for them, with spaces (also U+3000)
 * around each field removed. A cell shows at most DisplayChars characters of its field and its
 * tooltip at most ToolTipChars, each followed by 「…」 when the field is longer: only that much of
 * a field is ever decoded, so a field of many megabytes costs no more to draw than a short one.
 * Until a file is loaded it shows the designed four empty rows.
 */
class LogTableModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogTableModel)

public:
    static constexpr int ColumnCount = 5;
    static constexpr int DesignRows = 4;
    static constexpr int DisplayChars = 1000;
    static constexpr int ToolTipChars = 4000;

    explicit LogTableModel(QObject* parent = nullptr);

    /// Shows the records of @p table, replacing whatever was shown; an empty table shows no rows.
    /// A view sets up its rows in time proportional to their number, so a table of more than
    /// RevealRows records is shown RevealRows rows per turn of the event loop.
    void setTable(LogTable table);

    static constexpr int RevealRows = 1 << 20;
    /// Whether rows of the table are still to be shown.
    bool isRevealing() const { return m_revealTimer.isActive(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// The text shown in cell (@p row, @p column), the same as data() with the display role; with
    /// @p maxChars = ToolTipChars the cell's tooltip.
    QString cellText(int row, int column, int maxChars = DisplayChars) const;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    LogTable m_table;
    bool m_designRows = true;
    int m_shownRows = 0;
    QBasicTimer m_revealTimer;
};

/// @p text without the half-width and full-width spaces at its start and end.
QStringView trimSpaces(QStringView text);

} // namespace history::core
