#include "logreader.h"

#include "common/cp932codec.h"
#include "oserrortext.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace history {

namespace {

// Larger files are refused rather than filling the memory: a million records take about 70 MB.
constexpr qint64 MaxFileBytes = qint64(1) << 30;
constexpr qsizetype ReadChunkBytes = 4 * 1024 * 1024;

QString tooLargeText()
{
    return u"ファイルが大きすぎます（1 GB まで読み込めます）。"_s;
}

// A byte below 0x40 is never the second byte of a code page 932 character, so the text can be
// cut right after it and decoded in pieces with the same result as in one go.
qsizetype safeCut(const QByteArray& bytes)
{
    for (qsizetype i = bytes.size(); i > 0; --i) {
        if (static_cast<unsigned char>(bytes.at(i - 1)) < 0x40)
            return i;
    }
    return 0;
}

} // namespace

/// One pass over the decoded text; see parseLog() for the rules.
class LogParser final
{
public:
    explicit LogParser(QString text)
    {
        m_table.m_text = std::move(text);
        m_d = reinterpret_cast<const char16_t*>(m_table.m_text.constData());
        m_n = m_table.m_text.size();
    }

    LogReadResult run()
    {
        LogReadResult result;
        if (static_cast<quint64>(m_n) > std::numeric_limits<quint32>::max()) {
            result.error = tooLargeText();
            return result;
        }
        // One record per line in the usual case; reserving avoids regrowing a large vector.
        qsizetype lines = std::count(m_d, m_d + m_n, u'\n');
        if (lines == 0)
            lines = std::count(m_d, m_d + m_n, u'\r');
        m_table.m_spans.reserve(static_cast<size_t>(lines + 1) * LogTable::FieldsPerRecord);

        qsizetype pos = 0;
        while (pos < m_n) {
            qsizetype start = pos;
            while (start < m_n && m_d[start] == u' ')
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

    bool isBreak(qsizetype i) const { return m_d[i] == u'\r' || m_d[i] == u'\n'; }
    bool isSeparator(qsizetype i) const
    {
        return i + 2 < m_n && m_d[i] == u'"' && m_d[i + 1] == u',' && m_d[i + 2] == u'"';
    }

    qsizetype lineEnd(qsizetype i) const
    {
        while (i < m_n && !isBreak(i))
            ++i;
        return i;
    }

    // @p i is at a line end (or the end of the text): the start of the next line.
    qsizetype afterBreak(qsizetype i) const
    {
        if (i < m_n && m_d[i] == u'\r')
            ++i;
        if (i < m_n && m_d[i] == u'\n')
            ++i;
        return i;
    }

    // Where a sender or receiver that starts at @p i ends: its first double quote, which must
    // begin a "," on the same line. -1 otherwise.
    qsizetype nameEnd(qsizetype i) const
    {
        for (; i < m_n && !isBreak(i); ++i) {
            if (m_d[i] == u'"')
                return isSeparator(i) ? i : -1;
        }
        return -1;
    }

    // Whether the line at @p q looks like the start of a written record: a double quote after
    // leading spaces, then the separators after the sender and the receiver.
    bool startsRecord(qsizetype q) const
    {
        while (q < m_n && m_d[q] == u' ')
            ++q;
        if (q >= m_n || m_d[q] != u'"')
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
        while (m_scan < m_n) {
            const char16_t c = m_d[m_scan];
            if (c == u'"') {
                if (isSeparator(m_scan)) {
                    m_prevSeparator = m_lastSeparator;
                    m_lastSeparator = m_scan++;
                    continue;
                }
                qsizetype j = m_scan + 1;
                while (j < m_n && m_d[j] == u' ')
                    ++j;
                if (j == m_n || isBreak(j)) {
                    const qsizetype end = m_scan++;
                    // A separator whose last quote is this one cannot end the message before it.
                    const qsizetype separator = m_lastSeparator + 3 <= end ? m_lastSeparator : m_prevSeparator;
                    return Candidate{end, separator, m_lastBreak};
                }
            } else if (c == u'\r' || c == u'\n') {
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
        if (start >= m_n || m_d[start] != u'"')
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
            while (i < eol && m_d[i] == u' ')
                ++i;
            if (i < eol && m_d[i] == u'"') {
                qsizetype close = i + 1;
                while (close < eol && m_d[close] != u'"')
                    ++close;
                if (close >= eol)
                    return false;
                begin[k] = i + 1;
                end[k] = close;
                i = close + 1;
                while (i < eol && m_d[i] != u',')
                    ++i;
            } else {
                qsizetype e = i;
                if (k == LogTable::FieldsPerRecord - 1)
                    e = eol;
                else
                    while (e < eol && m_d[e] != u',')
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
    const char16_t* m_d = nullptr;
    qsizetype m_n = 0;
    qsizetype m_skipped = 0;

    qsizetype m_scan = 0;
    qsizetype m_lastSeparator = -1;
    qsizetype m_prevSeparator = -1;
    qsizetype m_lastBreak = -1;
    std::optional<Candidate> m_candidate;
};

LogReadResult parseLog(QString text)
{
    return LogParser(std::move(text)).run();
}

LogReadResult parseLogBytes(QByteArrayView bytes)
{
    return parseLog(common::cp932::decode(bytes));
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

    // Read and decode in pieces: the raw bytes never sit in memory beside the whole text.
    QString text;
    text.reserve(static_cast<qsizetype>(info.st_size));
    QByteArray buffer;
    qint64 total = 0;
    for (;;) {
        const qsizetype kept = buffer.size();
        buffer.resize(kept + ReadChunkBytes);
        const ssize_t n = ::read(fd, buffer.data() + kept, ReadChunkBytes);
        if (n < 0) {
            if (errno == EINTR) {
                buffer.resize(kept);
                continue;
            }
            return fail(osErrorText(errno));
        }
        buffer.resize(kept + n);
        total += n;
        if (total > MaxFileBytes)
            return fail(tooLargeText());
        if (n == 0)
            break;
        const qsizetype cut = safeCut(buffer);
        text += common::cp932::decode(QByteArrayView(buffer).first(cut));
        buffer.remove(0, cut);
    }
    ::close(fd);
    text += common::cp932::decode(buffer);
    buffer = {};
    return parseLog(std::move(text));
}

} // namespace history
