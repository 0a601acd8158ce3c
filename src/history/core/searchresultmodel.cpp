#include "searchresultmodel.h"

using namespace Qt::StringLiterals;

namespace history::core {

namespace {

// Record field shown in each column but the last: 3 date-time, 0 sender, 1 receiver, 2 message.
constexpr int FieldOfColumn[SearchResultModel::FileColumn] = {3, 0, 1, 2};

} // namespace

SearchResultModel::SearchResultModel(QObject* parent)
    : QAbstractTableModel(parent)
{}

void SearchResultModel::append(const QList<SearchHit>& hits)
{
    if (hits.isEmpty())
        return;
    beginInsertRows({}, int(m_hits.size()), int(m_hits.size() + hits.size() - 1));
    m_hits.append(hits);
    endInsertRows();
}

void SearchResultModel::clear()
{
    beginResetModel();
    m_hits.clear();
    endResetModel();
}

int SearchResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_hits.size());
}

int SearchResultModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() >= m_hits.size())
        return {};
    const SearchHit& hit = m_hits.at(index.row());
    if (index.column() == FileColumn)
        return role == Qt::DisplayRole || role == Qt::ToolTipRole ? QVariant(hit.fileName) : QVariant();
    const int field = FieldOfColumn[index.column()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return hit.fields[field];
    case MatchesRole: {
        QList<int> pairs;
        for (const TextSpan& span : hit.matches[field])
            pairs << int(span.start) << int(span.length);
        return QVariant::fromValue(pairs);
    }
    default:
        return {};
    }
}

QVariant SearchResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    static const QString Titles[ColumnCount] = {u"日時"_s, u"送信側PC"_s, u"受信側PC"_s, u"メッセージ"_s,
                                                u"ファイル"_s};
    return section >= 0 && section < ColumnCount ? Titles[section] : QString();
}

} // namespace history::core
