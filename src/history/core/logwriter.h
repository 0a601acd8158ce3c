#pragma once

#include "common/logline.h"
#include "common/status.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

namespace history::core {

/**
 * The log file name for @p when without ".txt": the year as plain decimal text, then month,
 * day, hour, minute and second as two digits each (2003/03/05 07:04:09 gives 20030305070409).
 */
QString logFileStem(const QDateTime& when);

/**
 * The log file bytes for @p lines in code page 932: per line one record of the four fields, each
 * between double quotes without any escaping, commas between, CR LF after every record. A
 * character with no code page 932 form is written as "?", so the file stays valid code page 932.
 */
QByteArray encodeLog(const QList<common::LogLine>& lines);
/// Appends the record of @p line, encoded as encodeLog() encodes it, to @p bytes.
void appendLogRecord(QByteArray& bytes, const common::LogLine& line);

/// The folder log files are written to: "log" under the current working directory, resolved now.
QString defaultLogFolder();

/// What writing the log file gave.
struct LogWriteResult
{
    /// The file written, or the one that could not be written (absolute); empty when there was nothing to write.
    QString path;
    /// Why the file could not be written; its detail is that file.
    common::Status status;

    bool failed() const { return !status.isOk(); }
    bool written() const { return status.isOk() && !path.isEmpty(); }
};

/**
 * Writes @p lines as a new log file in @p folder, named after @p when. The folder is created when
 * it is missing. An existing file is never replaced: when the name is taken, "_2", "_3", … is
 * added before ".txt". The file appears whole or not at all: the bytes go to a temporary file in
 * the same folder, are flushed to the disk and then renamed into place.
 */
LogWriteResult writeLog(const QList<common::LogLine>& lines, const QDateTime& when, const QString& folder);

/**
 * The same with the bytes written by @p fill into the temporary file's descriptor; it returns 0,
 * or the errno value of a failure (the file is then removed).
 */
LogWriteResult writeLogWith(const std::function<int(int fd)>& fill, const QDateTime& when, const QString& folder);

/// Writes all of @p bytes to @p fd, resuming after interruptions; false (errno set) on a failure.
bool writeAll(int fd, const QByteArray& bytes);

/// Writes the records of @p lines to @p fd in pieces; 0, or the errno value of a failure.
int writeLogRecords(int fd, const QList<common::LogLine>& lines);

/**
 * Gives the complete, flushed file @p sourcePath (in @p folder) the name writeLog() would give a log
 * written at @p when, never replacing an existing file. On failure the file stays where it was.
 */
LogWriteResult publishLogFile(const QByteArray& sourcePath, const QDateTime& when, const QString& folder);

} // namespace history::core
