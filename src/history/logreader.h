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
 * are parsed as they are and only the fields are decoded. Records as this program and its Windows predecessor write
 * them
 * ("f1","f2","f3","f4" CR LF, without escaping) are recovered whole, even when the message holds
 * commas, double quotes, CR or LF:
 *  - sender and receiver hold no double quote: each ends at the next double quote, which must
 *    begin a "," on the record's first line;
 *  - the record ends at the first double quote followed by a line end (CR LF, CR, LF) or the end
 *    of the text that has a "," earlier on its own line; the last "," before it ends the message,
 *    and the rest is the date-time, which never holds a double quote or a line break;
 *  - when the line after that end does not begin a record (a quoted sender and receiver), the
 *    end is moved on to the next such place, as long as no record begins in between: a message
 *    holding a quote before a line break is then kept whole as well.
 * Because the format has no escaping, one text can stand for different records; the rules above
 * recover every record whose sender, receiver and date-time hold no double quote and no line
 * break and whose message holds no double quote right before a line break, and most others.
 * Lines that are not in that form are read by the general rules (on one line, four fields, each
 * after leading spaces either quoted, up to the next double quote, or plain, up to the next
 * comma; a plain fourth field takes the rest of the line); lines that give no four fields are
 * skipped and counted.
 */
LogReadResult parseLog(QByteArray bytes);

/// Reads and parses the log file at @p path; a file that cannot be read gives a Japanese error.
LogReadResult readLogFile(const QString& path);

} // namespace history
