#pragma once

#include "common/status.h"
#include "history/core/logparser.h"
#include "history/core/searchprefilter.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace history::core {

/// What to look for: a keyword, and optionally the first and the last day of the records wanted.
struct SearchQuery
{
    QString keyword;
    QDate from; ///< invalid: no first day
    QDate to;   ///< invalid: no last day
};

/// Where the keyword stands in a shown text.
struct TextSpan
{
    qsizetype start = 0;
    qsizetype length = 0;

    friend bool operator==(const TextSpan&, const TextSpan&) = default;
};

/// One record that holds the keyword.
struct SearchHit
{
    QString fileName;     ///< the log file's name in the folder searched
    qsizetype record = 0; ///< the record's row in the log viewer, from 0
    /**
     * Sender, receiver, message and date-time as the results show them: without the spaces
     * around them, a long one cut to LogTableModel::DisplayChars characters around its first
     * match, 「…」 marking what was cut.
     */
    std::array<QString, LogTable::FieldsPerRecord> fields;
    std::array<QList<TextSpan>, LogTable::FieldsPerRecord> matches; ///< where the keyword is in each shown field
};

/**
 * A query made ready for searching files: its keyword folded (see foldForSearch(), spaces around
 * it dropped) and its byte prefilter (see SearchPrefilter). A record matches when one of its four
 * fields holds the keyword and its day lies in the query's days: the day its date-time field
 * starts with (year/month/day), or, when the field gives none, the day the file's name gives.
 */
class SearchMatcher final
{
public:
    explicit SearchMatcher(const SearchQuery& query);

    /// Whether there is anything to look for: false for a keyword of spaces only.
    bool isValid() const { return !m_keyword.isEmpty(); }

    /**
     * Whether the log file named @p fileName may hold records of the query's days: a log is written
     * at the end of its conversation, so one named before the first day holds no later record.
     */
    bool mayHold(const QString& fileName) const;

    /**
     * Calls @p found with each record of @p table (the log file @p fileName) that matches, in file
     * order, until it returns false.
     */
    void search(const LogTable& table, const QString& fileName, const std::function<bool(SearchHit&&)>& found) const;

private:
    bool inDays(const LogTable& table, qsizetype row, QDate fileDate) const;
    std::optional<SearchHit> match(const LogTable& table, qsizetype row) const;

    QString m_keyword;
    SearchPrefilter m_prefilter;
    QDate m_from;
    QDate m_to;
};

/// The day a log file's name gives (year, month, day, hour, minute, second, ...), or an invalid date.
QDate logFileDate(QStringView fileName);

/**
 * The names of the log files in @p folder, oldest first: 14 digits of the date and time, perhaps
 * "_2", "_3", … when several were written in one second, then ".txt". Recovered conversations
 * are named the same way.
 */
common::Result<QStringList> logFilesIn(const QString& folder);

} // namespace history::core
