#pragma once

#include <QString>

namespace common {

/// The largest log file the program reads: record positions are kept in 31 bits.
inline constexpr qint64 MaxLogFileBytes = qint64(1) << 30;

/**
 * One entry of the conversation log: who sent, who received, the message and when. The four
 * fields are kept apart from the moment they are made, so that a message holding commas never
 * spills into the date-time field when the log file is written.
 */
struct LogLine
{
    QString sender;
    QString receiver;
    QString message;
    QString dateTime;

    /// The four fields joined by single commas, without quoting: the line as the list shows it.
    QString joined() const { return sender + u',' + receiver + u',' + message + u',' + dateTime; }

    friend bool operator==(const LogLine&, const LogLine&) = default;
};

} // namespace common

// Four QStrings, each movable in memory as it is: lists of log lines grow by moving bytes.
Q_DECLARE_TYPEINFO(common::LogLine, Q_RELOCATABLE_TYPE);
