#pragma once

#include "common/status.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace history::core {

/**
 * The records of one log file in compact form: the file's bytes once, and per record 16 bytes
 * that place its four fields in them. A field is decoded from code page 932 only when it is asked
 * for, so parsing decodes nothing. The index grows in blocks as records are found, never ahead
 * of what was parsed.
 */
class LogTable final
{
public:
    static constexpr int FieldsPerRecord = 4;
    /// The index takes RecordBytes per record, in blocks of BlockRecords records.
    static constexpr qint64 RecordBytes = 16;
    static constexpr qsizetype BlockRecords = 4096;

    qsizetype rowCount() const { return m_count; }
    /// Field @p index (0 sender, 1 receiver, 2 message, 3 date-time) of record @p row, decoded.
    QString field(qsizetype row, int index) const;
    /// The same field as the bytes stored in the file.
    QByteArrayView rawField(qsizetype row, int index) const;
    /// Where record @p row begins in the file: its opening double quote, or the start of its line.
    qsizetype recordStart(qsizetype row) const;
    /// The file's bytes, which the records lie in.
    QByteArrayView bytes() const { return m_bytes; }

private:
    friend class LogParser;
    /**
     * A record in the written form: sender [a, b), receiver [b + 3, c), message [c + 3, d),
     * date-time from d + 3 to the double quote before its line end. A line read by the general
     * rules has GeneralLine set in a: it is the line [a, b), parsed again when a field is asked for.
     */
    struct Record
    {
        quint32 a;
        quint32 b;
        quint32 c;
        quint32 d;
    };
    static_assert(sizeof(Record) == RecordBytes);
    static constexpr quint32 GeneralLine = 0x80000000u;

    const Record& record(qsizetype row) const
    {
        return m_blocks[static_cast<size_t>(row / BlockRecords)][static_cast<size_t>(row % BlockRecords)];
    }

    QByteArray m_bytes;
    std::vector<std::unique_ptr<Record[]>> m_blocks;
    qsizetype m_count = 0;
};

/// What reading a log gave: the records and how many lines were not records, or why it failed.
struct LogReadResult
{
    LogTable table;
    qsizetype skippedLines = 0;
    /// TooLarge with EFBIG: the file is over MaxLogFileBytes; TooLarge with ENOMEM: its records
    /// need more memory than the load may use; Cancelled; SystemError when the file could not be read.
    common::Status status;

    bool ok() const { return status.isOk(); }
};

/// How a parse may end early: at a number of records, or when its caller asks.
struct ParseLimits
{
    qsizetype maxRecords = std::numeric_limits<qsizetype>::max();
    /// Called after every ParseStep bytes parsed, with the bytes since the last call; false stops the parse.
    std::function<bool(qsizetype parsed)> progress;
};

/// Bytes parsed between two calls of ParseLimits::progress.
inline constexpr qsizetype ParseStep = 4 * 1024 * 1024;

/**
 * Parses the code page 932 bytes of a log file (the grammar is written down in docs/formats.md,
 * "Log file"). The characters that structure a record (double quote, comma, CR, LF, space) are
 * never the second byte of a two-byte character, so the bytes are parsed as they are and only the
 * fields are decoded later.
 *
 * Records as this program and its Windows version write them ("f1","f2","f3","f4" CR LF, without
 * any escaping) are recovered whole, even when the message holds commas, double quotes, CR or LF;
 * lines not in that form are read by the general rules, each line on its own, and lines that give
 * no four fields are skipped and counted.
 */
LogReadResult parseLog(QByteArray bytes, const ParseLimits& limits = {});

} // namespace history::core
