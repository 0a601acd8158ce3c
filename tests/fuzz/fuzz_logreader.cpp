// Fuzzes the log reader: any bytes as a log file must parse without fault into records whose
// fields lie in the text, and records written by the log writer must read back as written.
//
// The first byte chooses the mode: even, the rest is a log file; odd, the rest is a list of field
// texts (code page 932, separated by the byte 0xFF, which no code page 932 text holds), four to a
// record, that are written as a log and read back.

#include "fuzzcheck.h"

#include "common/cp932codec.h"
#include "history/core/logparser.h"
#include "history/core/logwriter.h"

#include <QList>

namespace {

bool holdsBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

bool holdsBreak(QByteArrayView bytes)
{
    return bytes.contains('\r') || bytes.contains('\n');
}

void checkAnyFile(QByteArrayView input)
{
    const QByteArray bytes = input.toByteArray();
    // The table shares the bytes' buffer (parseLog takes a copy of an implicitly shared array),
    // so every field must point into it, in order.
    const history::core::LogReadResult read = history::core::parseLog(bytes);
    FUZZ_CHECK(read.ok());
    const char* const begin = bytes.constData();
    const char* const end = begin + bytes.size();
    const char* previous = begin;
    for (qsizetype row = 0; row < read.table.rowCount(); ++row) {
        for (int k = 0; k < history::core::LogTable::FieldsPerRecord; ++k) {
            const QByteArrayView raw = read.table.rawField(row, k);
            const QString field = read.table.field(row, k);
            FUZZ_CHECK(field == common::cp932::decode(raw));
            if (raw.isEmpty())
                continue;
            FUZZ_CHECK(raw.data() >= previous && raw.data() + raw.size() <= end);
            previous = raw.data() + raw.size();
            // Only the message may run over several lines.
            if (k != 2)
                FUZZ_CHECK(!holdsBreak(raw));
        }
    }
    // Each record takes at least one line and each skipped line is one line.
    const qsizetype lines = bytes.count('\n') + bytes.count('\r') + 1;
    FUZZ_CHECK(read.skippedLines >= 0);
    FUZZ_CHECK(read.table.rowCount() + read.skippedLines <= lines);
}

// Whether a message holds a double quote that only spaces separate from a line break: the one
// message form a record cannot be told apart from the record's end.
bool quoteBeforeBreak(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'"')
            continue;
        qsizetype j = i + 1;
        while (j < text.size() && text[j] == u' ')
            ++j;
        if (j < text.size() && (text[j] == u'\r' || text[j] == u'\n'))
            return true;
    }
    return false;
}

void checkRoundTrip(QByteArrayView bytes)
{
    QList<QString> fields;
    for (const QByteArray& piece : bytes.toByteArray().split('\xFF'))
        fields.append(common::cp932::decode(piece));
    while (fields.size() % history::core::LogTable::FieldsPerRecord != 0)
        fields.append(QString());

    QList<common::LogLine> lines;
    bool recoverable = true;
    for (qsizetype i = 0; i < fields.size(); i += history::core::LogTable::FieldsPerRecord) {
        const common::LogLine line{fields[i], fields[i + 1], fields[i + 2], fields[i + 3]};
        for (const QString* name : {&line.sender, &line.receiver, &line.dateTime})
            recoverable = recoverable && !name->contains(u'"') && !holdsBreak(*name);
        recoverable = recoverable && !quoteBeforeBreak(line.message);
        lines.append(line);
    }

    const QByteArray file = history::core::encodeLog(lines);
    const history::core::LogReadResult read = history::core::parseLog(file);
    FUZZ_CHECK(read.ok());
    if (!recoverable)
        return;
    FUZZ_CHECK(read.skippedLines == 0);
    FUZZ_CHECK(read.table.rowCount() == lines.size());
    for (qsizetype row = 0; row < lines.size(); ++row) {
        const common::LogLine& line = lines[row];
        const QString* written[] = {&line.sender, &line.receiver, &line.message, &line.dateTime};
        for (int k = 0; k < history::core::LogTable::FieldsPerRecord; ++k) {
            // Characters code page 932 cannot store (U+FFFD of bad bytes) are written as "?".
            QString expected = *written[k];
            expected.replace(QChar(0xFFFD), u'?');
            FUZZ_CHECK(read.table.field(row, k) == expected);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView rest = fuzz::bytesOf(data + 1, size - 1);
    if (data[0] % 2 == 0)
        checkAnyFile(rest);
    else
        checkRoundTrip(rest);
    return 0;
}
