// Fuzzes what a received datagram becomes: its text as the socket decodes it, the line of the
// conversation list, the log line, and that log line written to a log file and read back.

#include "fuzzcheck.h"

#include "chat/core/messagelines.h"
#include "common/cp932codec.h"
#include "history/core/logparser.h"
#include "history/core/logwriter.h"
#include "support/logmessageforms.h"

using namespace Qt::StringLiterals;

namespace {

// Characters that would break a list line or reorder what follows them.
bool breaksLine(char16_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C ||
           c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString received = common::cp932::decode(fuzz::bytesOf(data, size));
    const QString prefix = QString::fromUtf16(chat::core::PartnerPrefix);

    // The list line: the prefix, then the text on one line, every character kept or made visible.
    const QString shown = chat::core::partnerDisplayLine(received);
    FUZZ_CHECK(shown.startsWith(prefix));
    FUZZ_CHECK(shown.size() >= prefix.size() + received.size());
    for (qsizetype i = prefix.size(); i < shown.size(); ++i)
        FUZZ_CHECK(!breaksLine(shown[i].unicode()));
    bool plain = true;
    for (const QChar c : received)
        plain = plain && !breaksLine(c.unicode());
    if (plain)
        FUZZ_CHECK(shown == prefix + received);

    // The log line keeps the text as received, but for line breaks: one datagram, one record.
    QString logged = received;
    logged.replace(u'\r', u'?').replace(u'\n', u'?');
    const QString partner = u"PCA"_s;
    const QString own = u"PCB"_s;
    const QString when = u"2002/10/18 9:05:03"_s;
    const common::LogLine line = chat::core::receivedLogLine(partner, own, received, when);
    FUZZ_CHECK(line.sender == partner && line.receiver == own && line.dateTime == when);
    FUZZ_CHECK(line.message == prefix + logged);
    FUZZ_CHECK(line.joined() == partner + u',' + own + u',' + prefix + logged + u',' + when);

    // Written to a log file and read back, the record comes back whole; characters that code
    // page 932 cannot store (U+FFFD of bad bytes) are written as "?".
    const history::core::LogReadResult read = history::core::parseLog(history::core::encodeLog({line, line}));
    FUZZ_CHECK(read.ok());
    if (testsupport::quoteBeforeBreak(line.message))
        return 0;
    QString stored = line.message;
    stored.replace(QChar(0xFFFD), u'?');
    FUZZ_CHECK(read.skippedLines == 0);
    FUZZ_CHECK(read.table.rowCount() == 2);
    for (qsizetype row = 0; row < 2; ++row) {
        FUZZ_CHECK(read.table.field(row, 0) == partner);
        FUZZ_CHECK(read.table.field(row, 1) == own);
        FUZZ_CHECK(read.table.field(row, 2) == stored);
        FUZZ_CHECK(read.table.field(row, 3) == when);
    }
    return 0;
}
