#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

namespace history::core {

/// Shared between a load running on a worker thread and the window that waits for it.
struct LoadProgress
{
    std::atomic<qint64> total{0}; ///< bytes of the file, once known
    std::atomic<qint64> done{0};  ///< bytes read plus bytes parsed, out of 2 × total
    std::atomic<bool> cancel{false};
};

/**
 * The records of one log file in compact form: the file's bytes once, and per record 16 bytes
 * that place its four fields in them. A field is decoded from code page 932 only when it is asked
 * for, so loading decodes nothing. The index grows in blocks as records are found, never ahead
 * of what was read.
 */
class LogTable final
{
public:
    qsizetype rowCount() const { return m_count; }
    /// Field @p index (0 sender, 1 receiver, 2 message, 3 date-time) of record @p row, decoded.
    QString field(qsizetype row, int index) const;
    /// The same field as the bytes stored in the file.
    QByteArrayView rawField(qsizetype row, int index) const;

    static constexpr int FieldsPerRecord = 4;

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
    static constexpr quint32 GeneralLine = 0x80000000u;
    static constexpr qsizetype BlockRecords = 4096;

    const Record& record(qsizetype row) const
    {
        return m_blocks[static_cast<size_t>(row / BlockRecords)][static_cast<size_t>(row % BlockRecords)];
    }

    QByteArray m_bytes;
    std::vector<std::unique_ptr<Record[]>> m_blocks;
    qsizetype m_count = 0;
};

/// What reading a log gave: the records, how many lines were not records, or why it failed.
struct LogReadResult
{
    LogTable table;
    qsizetype skippedLines = 0;
    QString error;          ///< Japanese reason; empty on success
    bool cancelled = false; ///< the load was given up on request; error says so too

    bool ok() const { return error.isEmpty(); }
};

/// Bytes of memory a load of a file of @p fileBytes may use at most: 3 × the file plus 64 MiB.
qint64 loadBudget(qint64 fileBytes);

/**
 * Parses the code page 932 bytes of a log file. The characters that structure a record (double
 * quote, comma, CR, LF, space) are never the second byte of a two-byte character, so the bytes
 * are parsed as they are and only the fields are decoded later.
 *
 * Records as this program and its Windows version write them ("f1","f2","f3","f4" CR LF,
 * without any escaping) are recovered whole, even when the message holds commas, double quotes,
 * CR or LF:
 *  - sender and receiver hold no double quote: each ends at its first double quote, which must
 *    begin a "," on the record's first line;
 *  - the record ends at the first double quote that is followed (after spaces, if any) by a line
 *    end (CR LF, CR, LF) or the end of the file and has a "," after the receiver on its own line;
 *    the last such "," ends the message, the rest up to that quote is the date-time;
 *  - when the line after that end does not begin a record (a quoted sender and receiver), the
 *    end is moved on to the next such place, as long as no record begins in between: a message
 *    that holds a quote right before a line break is then kept whole as well.
 * Without escaping, one text can stand for different records: a message that itself holds a
 * record boundary with a whole record after it (x","y" CR LF "A","B","z) gives the same bytes as
 * two records. The rules recover every record whose sender, receiver and date-time hold no double
 * quote and no line break and whose message holds no double quote right before a line break,
 * and most others. The date-time may hold commas and quotes (the Windows version put a message's text
 * after its third comma there).
 *
 * Lines not in that form are read by the general rules, each line on its own: four fields, each
 * after leading spaces either quoted (up to the next double quote; the rest up to the next comma
 * is skipped) or plain (up to the next comma; a plain fourth field takes the rest of the line).
 * Lines that give no four fields (blank lines, broken records) are skipped and counted.
 */
LogReadResult parseLog(QByteArray bytes, LoadProgress* progress = nullptr);

/**
 * Reads and parses the log file at @p path; a file that cannot be read gives a Japanese error,
 * and so does one whose records would need more than loadBudget() of memory, or any allocation
 * that fails while loading. @p progress, when given, is updated as the load goes on and can cancel it.
 */
LogReadResult readLogFile(const QString& path, LoadProgress* progress = nullptr);

} // namespace history::core
