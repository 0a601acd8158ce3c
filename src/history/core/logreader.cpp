#include "logreader.h"

#include "common/cp932codec.h"
#include "oserrortext.h"

#include <QFile>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <new>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace history::core {

namespace {

// Larger files are refused rather than filling the memory: a million records take about 70 MB.
constexpr qint64 MaxFileBytes = qint64(1) << 30;

QString tooLargeText()
{
    return u"ファイルが大きすぎます（1 GB まで読み込めます）。"_s;
}

QString outOfMemoryText()
{
    return u"メモリが足りないため、このファイルを読み込めません。記録が多すぎるか、ログファイルではないファイルです。"_s;
}

QString cancelledText()
{
    return u"読み込みを取り消しました。"_s;
}

// Thrown inside a load that was asked to stop; caught where the load began.
struct LoadCancelled
{};

// A grid's row header keeps about this much per row (Qt's QHeaderView: one 8-byte section item);
// it is part of what viewing a file needs, so the budget counts it with the index.
constexpr qint64 ViewBytesPerRecord = 8;

// Bytes read or parsed between two looks at the progress and the cancel request.
constexpr qsizetype ProgressStep = 4 * 1024 * 1024;

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
    LogParser(QByteArray bytes, LoadProgress* progress)
        : m_progress(progress)
    {
        m_table.m_bytes = std::move(bytes);
        m_d = m_table.m_bytes.constData();
        m_n = m_table.m_bytes.size();
        m_indexBudget = loadBudget(m_n) - m_n;
    }

    LogReadResult run()
    {
        LogReadResult result;
        // Positions are kept in 31 bits; the top bit of a record marks a line read by the general rules.
        if (m_n > MaxFileBytes) {
            result.error = tooLargeText();
            return result;
        }
        qsizetype pos = 0;
        qsizetype reported = 0;
        while (pos < m_n) {
            if (pos - reported >= ProgressStep) {
                reportProgress(pos - reported);
                reported = pos;
            }
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
        reportProgress(m_n - reported);
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

    void reportProgress(qsizetype parsed)
    {
        if (!m_progress)
            return;
        m_progress->done.fetch_add(parsed, std::memory_order_relaxed);
        if (m_progress->cancel.load(std::memory_order_relaxed))
            throw LoadCancelled{};
    }

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
        addRecord({static_cast<quint32>(start + 1), static_cast<quint32>(first), static_cast<quint32>(second),
                   static_cast<quint32>(end->separator)});
        return afterBreak(lineEnd(end->end + 1));
    }

    // Stores one record; a new block of the index is taken only when the last one is full, and
    // only while the whole load stays within its budget.
    void addRecord(const LogTable::Record& record)
    {
        const auto slot = static_cast<size_t>(m_table.m_count % LogTable::BlockRecords);
        if (slot == 0) {
            const qint64 blockBytes = LogTable::BlockRecords * (qint64(sizeof(LogTable::Record)) + ViewBytesPerRecord);
            m_indexBytes += blockBytes + qint64(sizeof(void*));
            if (m_indexBytes > m_indexBudget)
                throw std::bad_alloc();
            m_table.m_blocks.push_back(std::make_unique_for_overwrite<LogTable::Record[]>(LogTable::BlockRecords));
        }
        m_table.m_blocks.back()[slot] = record;
        ++m_table.m_count;
    }

    LogTable m_table;
    const char* m_d = nullptr;
    qsizetype m_n = 0;
    qsizetype m_skipped = 0;
    LoadProgress* m_progress = nullptr;
    qint64 m_indexBudget = 0;
    qint64 m_indexBytes = 0;

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

qint64 loadBudget(qint64 fileBytes)
{
    return 3 * fileBytes + (qint64(64) << 20);
}

LogReadResult parseLog(QByteArray bytes, LoadProgress* progress)
{
    LogReadResult result;
    try {
        return LogParser(std::move(bytes), progress).run();
    } catch (const std::bad_alloc&) {
        result.error = outOfMemoryText();
    } catch (const LoadCancelled&) {
        result.error = cancelledText();
        result.cancelled = true;
    }
    return result;
}

namespace {

// Reads the whole file behind @p fd into @p bytes; 0 or the errno value. Throws on cancel.
int readAll(int fd, qint64 size, QByteArray& bytes, LoadProgress* progress)
{
    bytes = QByteArray(static_cast<qsizetype>(size), Qt::Uninitialized);
    preferHugePages(bytes.constData(), static_cast<size_t>(bytes.size()));
    qsizetype total = 0;
    while (total < bytes.size()) {
        const auto want = std::min<qsizetype>(bytes.size() - total, ProgressStep);
        const ssize_t n = ::read(fd, bytes.data() + total, static_cast<size_t>(want));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        total += n;
        if (progress) {
            progress->done.fetch_add(n, std::memory_order_relaxed);
            if (progress->cancel.load(std::memory_order_relaxed))
                throw LoadCancelled{};
        }
    }
    bytes.truncate(total);
    // A file that grew after it was measured is read on in pieces, up to the limit.
    for (char piece[64 * 1024]; total <= MaxFileBytes;) {
        const ssize_t n = ::read(fd, piece, sizeof piece);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        bytes.append(piece, n);
        total += n;
    }
    return 0;
}

} // namespace

LogReadResult readLogFile(const QString& path, LoadProgress* progress)
{
    LogReadResult failed;
    // O_NONBLOCK keeps a named pipe from blocking the window; it is refused below anyway.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        failed.error = osErrorText(errno);
        return failed;
    }
    struct stat info = {};
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    if (error != 0)
        failed.error = osErrorText(error);
    else if (!S_ISREG(info.st_mode))
        failed.error = u"通常のファイルではありません。"_s;
    else if (info.st_size > MaxFileBytes)
        failed.error = tooLargeText();
    if (!failed.ok()) {
        ::close(fd);
        return failed;
    }
    if (progress)
        progress->total.store(info.st_size, std::memory_order_relaxed);

    QByteArray bytes;
    try {
        error = readAll(fd, info.st_size, bytes, progress);
    } catch (const std::bad_alloc&) {
        failed.error = outOfMemoryText();
    } catch (const LoadCancelled&) {
        failed.error = cancelledText();
        failed.cancelled = true;
    }
    ::close(fd);
    if (error != 0)
        failed.error = osErrorText(error);
    if (!failed.ok())
        return failed;
    if (bytes.size() > MaxFileBytes) {
        failed.error = tooLargeText();
        return failed;
    }
    return parseLog(std::move(bytes), progress);
}

} // namespace history::core
