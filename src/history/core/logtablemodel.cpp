#include "logtablemodel.h"

#include "common/cp932codec.h"

#include <QTimerEvent>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace history::core {

namespace {

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\u3000';
}

// Grid column to record field: column 3 shows the date-time (field 4), column 4 the message.
constexpr int FieldOfColumn[LogTableModel::ColumnCount] = {-1, 0, 1, 3, 2};

} // namespace

QStringView trimSpaces(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

LogTableModel::LogTableModel(QObject* parent)
    : QAbstractTableModel(parent)
{}

namespace {

// A view addresses rows with int; more rows than that cannot be shown.
int viewableRows(const LogTable& table)
{
    return static_cast<int>(std::min<qsizetype>(table.rowCount(), std::numeric_limits<int>::max()));
}

} // namespace

void LogTableModel::setTable(LogTable table)
{
    m_revealTimer.stop();
    beginResetModel();
    m_table = std::move(table);
    m_designRows = false;
    m_shownRows = std::min(viewableRows(m_table), RevealRows);
    endResetModel();
    if (m_shownRows < viewableRows(m_table))
        m_revealTimer.start(0, this);
}

void LogTableModel::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_revealTimer.timerId()) {
        QAbstractTableModel::timerEvent(event);
        return;
    }
    const int total = viewableRows(m_table);
    const int next = total - m_shownRows > RevealRows ? m_shownRows + RevealRows : total;
    if (next > m_shownRows) {
        beginInsertRows({}, m_shownRows, next - 1);
        m_shownRows = next;
        endInsertRows();
    }
    if (m_shownRows >= total)
        m_revealTimer.stop();
}

int LogTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return m_designRows ? DesignRows : m_shownRows;
}

int LogTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString LogTableModel::cellText(int row, int column, int maxChars) const
{
    if (m_designRows || row < 0 || row >= m_table.rowCount() || column < 0 || column >= ColumnCount)
        return {};
    const int field = FieldOfColumn[column];
    if (field < 0)
        return {};
    const QByteArrayView raw = m_table.rawField(row, field);
    // A code page 932 character takes one or two bytes: this many bytes hold more than maxChars
    // characters after the leading spaces of a usual field, so a longer field is cut here.
    const qsizetype prefixBytes = 2 * (qsizetype(maxChars) + 64);
    if (raw.size() <= prefixBytes) {
        const QString text = common::cp932::decode(raw);
        const QStringView trimmed = trimSpaces(text);
        if (trimmed.size() <= maxChars)
            return trimmed.size() == text.size() ? text : trimmed.toString();
        return trimmed.first(maxChars) + u'…';
    }
    const QString head = common::cp932::decode(raw.first(prefixBytes));
    QStringView shown = trimSpaces(head);
    // Only the start of the field was decoded: its end (and a character cut in two there) is not shown.
    shown = shown.first(std::min<qsizetype>(shown.size(), maxChars));
    return shown + u'…';
}

QVariant LogTableModel::data(const QModelIndex& index, int role) const
{
    // The tooltip shows more of a cell too narrow for it (a long message above all), up to ToolTipChars.
    if (!index.isValid() || index.model() != this || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return cellText(index.row(), index.column(), role == Qt::ToolTipRole ? ToolTipChars : DisplayChars);
}

QVariant LogTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    switch (section) {
    case 1:
        return u"ホストPC名"_s;
    case 2:
        return u"受信側PC名"_s;
    case 3:
        return u"送信日時"_s;
    case 4:
        return u"送信メッセージ"_s;
    default:
        return QString();
    }
}

Qt::ItemFlags LogTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace history::core
