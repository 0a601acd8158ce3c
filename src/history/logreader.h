#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

namespace history {

/**
 * The records of one log file in compact form: the file's bytes once, and per record the place
 * of its four fields in them. A field is decoded from code page 932 only when it is asked for,
 * so a million records cost the file size plus 32 bytes each, and loading decodes nothing.
 */
class LogTable final
{
public:
    qsizetype rowCount() const { return static_cast<qsizetype>(m_spans.size() / FieldsPerRecord); }
    /// Field @p index (0 sender, 1 receiver, 2 message, 3 date-time) of record @p row, decoded.
    QString field(qsizetype row, int index) const;
    /// The same field as the bytes stored in the file.
    QByteArrayView rawField(qsizetype row, int index) const
    {
        const Span& s = m_spans[static_cast<size_t>(row * FieldsPerRecord + index)];
        return QByteArrayView(m_bytes).sliced(s.start, s.length);
    }

    static constexpr int FieldsPerRecord = 4;

private:
    friend class LogParser;
    struct Span
    {
        quint32 start;
        quint32 length;
    };
    QByteArray m_bytes;
    std::vector<Span> m_spans;
};

/// What reading a log gave: the records, how many lines were not records, or why it failed.
struct LogReadResult
{
    LogTable table;
    qsizetype skippedLines = 0;
    QString error; ///< Japanese reason; empty on success

    bool ok() const { return error.isEmpty(); }
};

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
LogReadResult parseLog(QByteArray bytes);

/// Reads and parses the log file at @p path; a file that cannot be read gives a Japanese error.
LogReadResult readLogFile(const QString& path);

} // namespace history
