#pragma once

#include "history/core/logsearch.h"

#include <QAbstractTableModel>

namespace history::core {

/**
 * The records a search found, one row each: date-time, sending PC, receiving PC, message and the
 * log file's name. Rows are only ever added at the end, as the search finds them. The matches of
 * a cell are its MatchesRole: a QList<int> of start and length pairs in the cell's text.
 */
class SearchResultModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchResultModel)

public:
    enum Column { DateTimeColumn, SenderColumn, ReceiverColumn, MessageColumn, FileColumn, ColumnCount };
    static constexpr int MatchesRole = Qt::UserRole + 1;

    explicit SearchResultModel(QObject* parent = nullptr);

    void append(const QList<SearchHit>& hits);
    void clear();
    const SearchHit& hit(int row) const { return m_hits.at(row); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<SearchHit> m_hits;
};

} // namespace history::core
