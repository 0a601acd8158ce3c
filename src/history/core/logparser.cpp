#include "logparser.h"

#include "bytescan.h"
#include "common/cp932codec.h"
#include "common/logline.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <new>
#include <optional>

namespace history::core {

using bytescan::nextSpecial;

namespace {

// The general rules for one line [@p start, @p eol): four fields, each after leading spaces
// either quoted or plain; a plain fourth field takes the rest of the line.
bool generalFields(const char* d, qsizetype start, qsizetype eol, qsizetype (&begin)[LogTable::FieldsPerRecord],
                   qsizetype (&end)[LogTable::FieldsPerRecord])
{
    qsizetype i = start;
    for (int k = 0; k < LogTable::FieldsPerRecord; ++k) {
        while (i < eol && d[i] == ' ')
            ++i;
        if (i < eol && d[i] == '"') {
            qsizetype close = i + 1;
            while (close < eol && d[close] != '"')
                ++close;
            if (close >= eol)
                return false;
            begin[k] = i + 1;
            end[k] = close;
            i = close + 1;
            while (i < eol && d[i] != ',')
                ++i;
        } else {
            qsizetype e = i;
            if (k == LogTable::FieldsPerRecord - 1)
                e = eol;
            else
                while (e < eol && d[e] != ',')
                    ++e;
            begin[k] = i;
            end[k] = e;
            i = e;
        }
        if (k < LogTable::FieldsPerRecord - 1) {
            if (i >= eol)
                return false;
            ++i;
        }
    }
    return true;
}

} // namespace

/// One pass over the file's bytes (code page 932, not decoded); see parseLog() for the rules.
class LogParser final
{
public:
    LogParser(QByteArray bytes, const ParseLimits& limits)
        : m_limits(limits)
    {
        m_table.m_bytes = std::move(bytes);
        m_d = m_table.m_bytes.constData();
        m_n = m_table.m_bytes.size();
    }

    LogReadResult run()
    {
        LogReadResult result;
        // Positions are kept in 31 bits; the top bit of a record marks a line read by the general rules.
        if (m_n > common::MaxLogFileBytes) {
            result.status = common::Status::failure(common::Status::Code::TooLarge, {}, EFBIG);
            return result;
        }
        if (!parseWrittenLines() && m_stop.isOk()) {
            m_table.m_blocks.clear();
            m_table.m_count = 0;
            parseGeneral();
        }
        if (m_stop.isOk())
            reportProgress(m_n);
        result.status = m_stop;
        if (!m_stop.isOk())
            return result;
        result.table = std::move(m_table);
        result.skippedLines = m_skipped;
        return result;
    }

private:
    // A double quote that may end a record: followed by spaces at most, then a line end or the end.
    struct Candidate
    {
        qsizetype end;       // the closing double quote
        qsizetype separator; // the last "," that ends before it, or -1
        qsizetype lastBreak; // the last CR or LF before it, or -1
    };

    /**
     * The whole text when every line is a record exactly as the program writes it and its fields
     * hold no double quote or line break: a double quote at the line's start, three "," and a
     * double quote right before the line end, and no other double quote. That is every log unless
     * a message holds a double quote, and such lines give the same records by the general rules.
     * Only masks of the double quotes, line ends and commas are looked at, 64 bytes at a time.
     * @return false as soon as a line is not in that form (or the parse was stopped); the records
     * found so far are then to be dropped.
     */
    bool parseWrittenLines()
    {
#ifdef TAVIK_AVX2_SCAN
        if (bytescan::hasAvx2())
            return parseWrittenLinesByAvx2();
#endif
        return parseWrittenLinesWith<bytescan::specialMasksByByte>();
    }

#ifdef TAVIK_AVX2_SCAN
    // Every processor with AVX2 counts bits in one instruction too.
    __attribute__((target("avx2,popcnt,bmi"))) bool parseWrittenLinesByAvx2()
    {
        return parseWrittenLinesWith<bytescan::specialMasksByAvx2>();
    }
#endif

    template<bytescan::BlockMasks (*masksAt)(const char*, qsizetype, qsizetype)>
    [[gnu::always_inline]] bool parseWrittenLinesWith()
    {
        const auto above = [](qsizetype bit) { return bit >= 64 ? quint64(0) : ~quint64(0) << bit; };
        const auto below = [](qsizetype bit) { return bit >= 64 ? ~quint64(0) : (quint64(1) << bit) - 1; };
        WrittenLine line;
        qsizetype skipTo = 0; // past the LF of a CR LF
        bytescan::BlockMasks next = masksAt(m_d, 0, m_n);
        for (qsizetype block = 0; block < m_n; block += 64) {
            if (block - m_reported >= ParseStep && !reportProgress(block))
                return false;
            const bytescan::BlockMasks masks = next;
            next = block + 64 < m_n ? masksAt(m_d, block + 64, m_n) : bytescan::BlockMasks{};
            // Where a "," begins: a double quote, a comma, a double quote.
            const quint64 separators =
                masks.quotes & (masks.commas >> 1 | next.commas << 63) & (masks.quotes >> 2 | next.quotes << 62);
            for (quint64 ends = masks.breaks; ends != 0; ends &= ends - 1) {
                const qsizetype end = block + std::countr_zero(ends);
                if (end < skipTo)
                    continue;
                const quint64 span = above(std::max<qsizetype>(line.start - block, 0)) & below(end - block);
                if (!line.take(masks.quotes & span, separators & span, block) || !addWrittenLine(line, end))
                    return false;
                line = {skipTo = afterBreak(end)};
            }
            const quint64 rest = above(std::max<qsizetype>(line.start - block, 0));
            if (!line.take(masks.quotes & rest, separators & rest, block))
                return false;
        }
        return line.start == m_n || addWrittenLine(line, m_n);
    }

    /// A line read by parseWrittenLines(), up to where it has got.
    struct WrittenLine
    {
        qsizetype start = 0;
        qsizetype quotes = 0;
        qsizetype separatorCount = 0;
        qsizetype separators[3] = {};

        // Adds the double quotes and the separators of a part of the line; false past three separators.
        [[gnu::always_inline]] bool take(quint64 quoteBits, quint64 separatorBits, qsizetype block)
        {
            quotes += std::popcount(quoteBits);
            for (; separatorBits != 0; separatorBits &= separatorBits - 1) {
                if (separatorCount == 3)
                    return false;
                separators[separatorCount++] = block + std::countr_zero(separatorBits);
            }
            return true;
        }
    };

    // @p line, ending at @p eol, as one record in the written form, or false when it is not in that
    // form. Eight double quotes in all, one at each end and two in each of three separators that
    // share none: then they are the quotes of the four fields.
    bool addWrittenLine(const WrittenLine& line, qsizetype eol)
    {
        const qsizetype start = line.start;
        const qsizetype* s = line.separators;
        if (line.quotes != 8 || line.separatorCount != 3 || m_d[start] != '"' || m_d[eol - 1] != '"' || s[0] <= start ||
            s[1] < s[0] + 3 || s[2] < s[1] + 3 || s[2] + 2 >= eol - 1)
            return false;
        return addRecord({static_cast<quint32>(start + 1), static_cast<quint32>(s[0]), static_cast<quint32>(s[1]),
                          static_cast<quint32>(s[2])});
    }

    void parseGeneral()
    {
        qsizetype pos = 0;
        while (pos < m_n && m_stop.isOk()) {
            if (pos - m_reported >= ParseStep && !reportProgress(pos))
                return;
            if (isBreak(pos)) { // a blank line, the commonest line that is not a record
                ++m_skipped;
                pos = afterBreak(pos);
                continue;
            }
            qsizetype start = pos;
            while (start < m_n && m_d[start] == ' ')
                ++start;
            if (const auto next = parseQuotedRecord(start)) {
                pos = *next;
                continue;
            }
            const qsizetype eol = lineEnd(pos);
            qsizetype begin[LogTable::FieldsPerRecord];
            qsizetype end[LogTable::FieldsPerRecord];
            if (generalFields(m_d, pos, eol, begin, end))
                addRecord({LogTable::GeneralLine | static_cast<quint32>(pos), static_cast<quint32>(eol), 0, 0});
            else
                ++m_skipped;
            pos = afterBreak(eol);
        }
    }

    // Tells the caller how far the parse is; false when it asks to stop.
    bool reportProgress(qsizetype pos)
    {
        if (pos <= m_reported)
            return true;
        const qsizetype parsed = pos - m_reported;
        m_reported = pos;
        if (!m_limits.progress || m_limits.progress(parsed))
            return true;
        m_stop = common::Status::failure(common::Status::Code::Cancelled);
        return false;
    }

    bool isBreak(qsizetype i) const
    {
        return m_d[i] == '\r' || m_d[i] == '\n';
    }
    bool isSeparator(qsizetype i) const
    {
        return i + 2 < m_n && m_d[i] == '"' && m_d[i + 1] == ',' && m_d[i + 2] == '"';
    }

    qsizetype lineEnd(qsizetype i) const
    {
        i = nextSpecial(m_d, i, m_n);
        while (i < m_n && !isBreak(i))
            i = nextSpecial(m_d, i + 1, m_n);
        return i;
    }

    // @p i is at a line end (or the end of the text): the start of the next line.
    qsizetype afterBreak(qsizetype i) const
    {
        if (i < m_n && m_d[i] == '\r')
            ++i;
        if (i < m_n && m_d[i] == '\n')
            ++i;
        return i;
    }

    // Where a sender or receiver that starts at @p i ends: its first double quote, which must
    // begin a "," on the same line. -1 otherwise.
    qsizetype nameEnd(qsizetype i) const
    {
        i = nextSpecial(m_d, i, m_n);
        return i < m_n && m_d[i] == '"' && isSeparator(i) ? i : -1;
    }

    // Whether the line at @p q looks like the start of a written record: a double quote after
    // leading spaces, then the separators after the sender and the receiver.
    bool startsRecord(qsizetype q) const
    {
        while (q < m_n && m_d[q] == ' ')
            ++q;
        if (q >= m_n || m_d[q] != '"')
            return false;
        const qsizetype first = nameEnd(q + 1);
        return first >= 0 && nameEnd(first + 3) >= 0;
    }

    bool recordBeginsIn(qsizetype from, qsizetype to) const
    {
        for (qsizetype line = from; line <= to && line < m_n; line = afterBreak(lineEnd(line))) {
            if (startsRecord(line))
                return true;
        }
        return false;
    }

    // The scan for candidates moves forward only, over the whole text once.
    std::optional<Candidate> scanNextCandidate()
    {
        while ((m_scan = nextSpecial(m_d, m_scan, m_n)) < m_n) {
            const char c = m_d[m_scan];
            if (c == '"') {
                if (isSeparator(m_scan)) {
                    m_prevSeparator = m_lastSeparator;
                    m_lastSeparator = m_scan++;
                    continue;
                }
                qsizetype j = m_scan + 1;
                while (j < m_n && m_d[j] == ' ')
                    ++j;
                if (j == m_n || isBreak(j)) {
                    const qsizetype end = m_scan++;
                    // A separator whose last quote is this one cannot end the message before it.
                    const qsizetype separator = m_lastSeparator + 3 <= end ? m_lastSeparator : m_prevSeparator;
                    return Candidate{end, separator, m_lastBreak};
                }
            } else if (c == '\r' || c == '\n') {
                m_lastBreak = m_scan;
            }
            ++m_scan;
        }
        return std::nullopt;
    }

    // The first candidate at or after @p from that can end a record whose message starts at
    // @p messageStart: a separator after the message start on the candidate's own line. Queries
    // come with growing positions, and a candidate that did not fit an earlier record cannot fit
    // a later one, so the scan never goes back and the whole parse stays linear.
    std::optional<Candidate> recordEnd(qsizetype messageStart, qsizetype from)
    {
        for (;;) {
            if (!m_candidate || m_candidate->end < from) {
                m_candidate = scanNextCandidate();
                if (!m_candidate)
                    return std::nullopt;
                continue;
            }
            if (m_candidate->separator >= messageStart && m_candidate->separator > m_candidate->lastBreak)
                return m_candidate;
            m_candidate = scanNextCandidate();
            if (!m_candidate)
                return std::nullopt;
        }
    }

    // A record in the written form starting at @p start. @return where the next line starts.
    std::optional<qsizetype> parseQuotedRecord(qsizetype start)
    {
        if (start >= m_n || m_d[start] != '"')
            return std::nullopt;
        const qsizetype first = nameEnd(start + 1);
        if (first < 0)
            return std::nullopt;
        const qsizetype second = nameEnd(first + 3);
        if (second < 0)
            return std::nullopt;
        const qsizetype messageStart = second + 3;
        auto end = recordEnd(messageStart, messageStart);
        if (!end)
            return std::nullopt;
        for (;;) {
            const qsizetype next = afterBreak(lineEnd(end->end + 1));
            if (next >= m_n || startsRecord(next))
                break;
            const auto later = recordEnd(messageStart, next);
            if (!later || recordBeginsIn(next, later->end))
                break;
            end = later;
        }
        addRecord({static_cast<quint32>(start + 1), static_cast<quint32>(first), static_cast<quint32>(second),
                   static_cast<quint32>(end->separator)});
        return afterBreak(lineEnd(end->end + 1));
    }

    // Stores one record; a new block of the index is taken only when the last one is full. Past
    // the caller's limit the parse stops, reporting that the memory does not suffice.
    bool addRecord(const LogTable::Record& record)
    {
        if (m_table.m_count >= m_limits.maxRecords) {
            m_stop = common::Status::failure(common::Status::Code::TooLarge, {}, ENOMEM);
            return false;
        }
        const auto slot = static_cast<size_t>(m_table.m_count % LogTable::BlockRecords);
        if (slot == 0)
            m_table.m_blocks.push_back(std::make_unique_for_overwrite<LogTable::Record[]>(LogTable::BlockRecords));
        m_table.m_blocks.back()[slot] = record;
        ++m_table.m_count;
        return true;
    }

    LogTable m_table;
    const char* m_d = nullptr;
    qsizetype m_n = 0;
    qsizetype m_skipped = 0;
    const ParseLimits& m_limits;
    qsizetype m_reported = 0;
    common::Status m_stop;

    qsizetype m_scan = 0;
    qsizetype m_lastSeparator = -1;
    qsizetype m_prevSeparator = -1;
    qsizetype m_lastBreak = -1;
    std::optional<Candidate> m_candidate;
};

QString LogTable::field(qsizetype row, int index) const
{
    return common::cp932::decode(rawField(row, index));
}

QByteArrayView LogTable::rawField(qsizetype row, int index) const
{
    const Record& r = record(row);
    const char* d = m_bytes.constData();
    const auto view = [d](qsizetype begin, qsizetype end) { return QByteArrayView(d + begin, end - begin); };
    if (r.a & GeneralLine) {
        qsizetype begin[FieldsPerRecord];
        qsizetype end[FieldsPerRecord];
        if (!generalFields(d, r.a & ~GeneralLine, r.b, begin, end))
            return {};
        return view(begin[index], end[index]);
    }
    switch (index) {
    case 0:
        return view(r.a, r.b);
    case 1:
        return view(r.b + 3, r.c);
    case 2:
        return view(r.c + 3, r.d);
    default: {
        // The date-time holds no line break and its closing quote is followed by spaces at most,
        // then the line end or the end of the file.
        const qsizetype n = m_bytes.size();
        qsizetype e = nextSpecial(d, r.d + 3, n);
        while (e < n && d[e] != '\r' && d[e] != '\n')
            e = nextSpecial(d, e + 1, n);
        while (e > r.d + 3 && d[e - 1] == ' ')
            --e;
        return view(r.d + 3, std::max<qsizetype>(e - 1, r.d + 3));
    }
    }
}

qsizetype LogTable::recordStart(qsizetype row) const
{
    const Record& r = record(row);
    return (r.a & GeneralLine) ? qsizetype(r.a & ~GeneralLine) : qsizetype(r.a) - 1;
}

LogReadResult parseLog(QByteArray bytes, const ParseLimits& limits)
{
    try {
        return LogParser(std::move(bytes), limits).run();
    } catch (const std::bad_alloc&) {
        LogReadResult result;
        result.status = common::Status::failure(common::Status::Code::TooLarge, {}, ENOMEM);
        return result;
    }
}

} // namespace history::core
