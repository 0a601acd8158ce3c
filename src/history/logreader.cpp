#include "logreader.h"

#include "common/cp932codec.h"
#include "oserrortext.h"

#include <QFile>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace history {

namespace {

// Larger files are refused rather than filling the memory: a million records take about 70 MB.
constexpr qint64 MaxFileBytes = qint64(1) << 30;

QString tooLargeText()
{
    return u"ファイルが大きすぎます（1 GB まで読み込めます）。"_s;
}

// Asks for huge pages behind a large buffer that is about to be filled: a million records fill
// about 100 MB, and faulting that in 4 KB pages costs more than the parsing. Only a hint.
void preferHugePages(const void* data, size_t size)
{
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t HugePage = 2 * 1024 * 1024;
    const auto begin = (reinterpret_cast<uintptr_t>(data) + HugePage - 1) & ~(HugePage - 1);
    const auto end = (reinterpret_cast<uintptr_t>(data) + size) & ~(HugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

// The first of the bytes '"', CR and LF at or after @p i, or @p n. Everything else in a record
// is skipped sixteen bytes at a time, which is most of the file.
qsizetype nextSpecial(const char* d, qsizetype i, qsizetype n)
{
#ifdef __SSE2__
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(chunk, quote),
                                          _mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf)));
        const int mask = _mm_movemask_epi8(hits);
        if (mask != 0)
            return i + std::countr_zero(static_cast<unsigned>(mask));
    }
#endif
    for (; i < n; ++i) {
        if (d[i] == '"' || d[i] == '\r' || d[i] == '\n')
            return i;
    }
    return n;
}

} // namespace

/// One pass over the decoded text; see parseLog() for the rules.
class LogParser final
{
public:
    explicit LogParser(QByteArray bytes)
    {
        m_table.m_bytes = std::move(bytes);
        m_d = m_table.m_bytes.constData();
        m_n = m_table.m_bytes.size();
    }

    LogReadResult run()
    {
        LogReadResult result;
        if (static_cast<quint64>(m_n) > std::numeric_limits<quint32>::max()) {
            result.error = tooLargeText();
            return result;
        }
        // One record per line in the usual case; reserving avoids regrowing a large vector.
        qsizetype lines = std::count(m_d, m_d + m_n, '\n');
        if (lines == 0)
            lines = std::count(m_d, m_d + m_n, '\r');
        m_table.m_spans.reserve(static_cast<size_t>(lines + 1) * LogTable::FieldsPerRecord);
        preferHugePages(m_table.m_spans.data(), m_table.m_spans.capacity() * sizeof(LogTable::Span));

        qsizetype pos = 0;
        while (pos < m_n) {
            qsizetype start = pos;
            while (start < m_n && m_d[start] == ' ')
                ++start;
            if (const auto next = parseQuotedRecord(start)) {
                pos = *next;
                continue;
            }
            const qsizetype eol = lineEnd(pos);
            if (!parseGeneralLine(pos, eol))
                ++m_skipped;
            pos = afterBreak(eol);
        }
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

    bool isBreak(qsizetype i) const { return m_d[i] == '\r' || m_d[i] == '\n'; }
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
        addField(start + 1, first);
        addField(first + 3, second);
        addField(messageStart, end->separator);
        addField(end->separator + 3, end->end);
        return afterBreak(lineEnd(end->end + 1));
    }

    // The general rules for one line [@p start, @p eol): four fields, each after leading spaces
    // either quoted or plain; a plain fourth field takes the rest of the line.
    bool parseGeneralLine(qsizetype start, qsizetype eol)
    {
        qsizetype begin[LogTable::FieldsPerRecord];
        qsizetype end[LogTable::FieldsPerRecord];
        qsizetype i = start;
        for (int k = 0; k < LogTable::FieldsPerRecord; ++k) {
            while (i < eol && m_d[i] == ' ')
                ++i;
            if (i < eol && m_d[i] == '"') {
                qsizetype close = i + 1;
                while (close < eol && m_d[close] != '"')
                    ++close;
                if (close >= eol)
                    return false;
                begin[k] = i + 1;
                end[k] = close;
                i = close + 1;
                while (i < eol && m_d[i] != ',')
                    ++i;
            } else {
                qsizetype e = i;
                if (k == LogTable::FieldsPerRecord - 1)
                    e = eol;
                else
                    while (e < eol && m_d[e] != ',')
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
        for (int k = 0; k < LogTable::FieldsPerRecord; ++k)
            addField(begin[k], end[k]);
        return true;
    }

    void addField(qsizetype begin, qsizetype end)
    {
        m_table.m_spans.push_back({static_cast<quint32>(begin), static_cast<quint32>(end - begin)});
    }

    LogTable m_table;
    const char* m_d = nullptr;
    qsizetype m_n = 0;
    qsizetype m_skipped = 0;

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

LogReadResult parseLog(QByteArray bytes)
{
    return LogParser(std::move(bytes)).run();
}

LogReadResult readLogFile(const QString& path)
{
    LogReadResult failed;
    // O_NONBLOCK keeps a named pipe from blocking the window; it is refused below anyway.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        failed.error = osErrorText(errno);
        return failed;
    }
    const auto fail = [&](const QString& error) {
        ::close(fd);
        failed.error = error;
        return failed;
    };
    struct stat info = {};
    if (::fstat(fd, &info) != 0)
        return fail(osErrorText(errno));
    if (S_ISDIR(info.st_mode))
        return fail(osErrorText(EISDIR));
    if (!S_ISREG(info.st_mode))
        return fail(u"通常のファイルではありません。"_s);
    if (info.st_size > MaxFileBytes)
        return fail(tooLargeText());

    QByteArray bytes(static_cast<qsizetype>(info.st_size), Qt::Uninitialized);
    preferHugePages(bytes.constData(), static_cast<size_t>(bytes.size()));
    qsizetype total = 0;
    while (total < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + total, static_cast<size_t>(bytes.size() - total));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(osErrorText(errno));
        }
        if (n == 0)
            break;
        total += n;
    }
    bytes.truncate(total);
    // A file that grew after it was measured is read on in pieces, up to the limit.
    for (char piece[64 * 1024]; total <= MaxFileBytes;) {
        const ssize_t n = ::read(fd, piece, sizeof piece);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(osErrorText(errno));
        }
        if (n == 0)
            break;
        bytes.append(piece, n);
        total += n;
    }
    ::close(fd);
    if (total > MaxFileBytes) {
        failed.error = tooLargeText();
        return failed;
    }
    return parseLog(std::move(bytes));
}

} // namespace history
