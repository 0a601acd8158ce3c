#include "logsearch.h"

#include "common/cp932codec.h"
#include "logtablemodel.h"
#include "searchfold.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace history::core {

namespace {

// A field whose first match starts further in than 2 × ContextChars characters is shown from
// ContextChars characters before the match, so that the match is in sight in a narrow column.
constexpr qsizetype ContextChars = 20;

// Reads an unsigned decimal number of @p maxDigits digits at most at @p at; -1 when there is none.
int number(QByteArrayView text, qsizetype& at, int maxDigits)
{
    int value = 0;
    int digits = 0;
    while (at < text.size() && digits < maxDigits && text[at] >= '0' && text[at] <= '9') {
        value = value * 10 + (text[at++] - '0');
        ++digits;
    }
    return digits > 0 ? value : -1;
}

// The day a date-time field starts with: year/month/day, as the program and its Windows version write it.
QDate leadingDate(QByteArrayView text)
{
    qsizetype at = 0;
    const int year = number(text, at, 4);
    if (year < 0 || at >= text.size() || text[at++] != '/')
        return {};
    const int month = number(text, at, 2);
    if (month < 0 || at >= text.size() || text[at++] != '/')
        return {};
    const int day = number(text, at, 2);
    if (day < 0 || (at < text.size() && text[at] >= '0' && text[at] <= '9'))
        return {};
    return QDate(year, month, day);
}

// Every place of @p keyword in @p folded, as spans of the text it was folded from, in order.
QList<TextSpan> matchesIn(const FoldedText& folded, const QString& keyword)
{
    QList<TextSpan> spans;
    for (qsizetype at = folded.text.indexOf(keyword); at >= 0; at = folded.text.indexOf(keyword, at + keyword.size())) {
        const auto [start, end] = folded.originalSpan(at, keyword.size());
        if (!spans.isEmpty() && start < spans.last().start + spans.last().length)
            spans.last().length = std::max(spans.last().length, end - spans.last().start);
        else
            spans.append({start, end - start});
    }
    return spans;
}

// The part of @p text the results show, with @p spans moved into it: without the spaces around
// it, beginning a little before the first match when that is far in, and at most DisplayChars long.
QString shownPart(const QString& text, QList<TextSpan>& spans)
{
    const QStringView trimmed = trimSpaces(text);
    const qsizetype trimmedStart = trimmed.isEmpty() ? 0 : trimmed.data() - QStringView(text).data();
    constexpr qsizetype Limit = LogTableModel::DisplayChars;
    qsizetype first = trimmedStart;
    if (!spans.isEmpty() && spans.first().start - trimmedStart > 2 * ContextChars)
        first = spans.first().start - ContextChars;
    const qsizetype length = std::min(Limit, trimmedStart + trimmed.size() - first);
    if (first == 0 && length == text.size())
        return text; // shared, not copied: the common short field
    const QString cutBefore = first > trimmedStart ? u"…"_s : QString();
    const QString cutAfter = first + length < trimmedStart + trimmed.size() ? u"…"_s : QString();
    QList<TextSpan> shown;
    for (const TextSpan& span : std::as_const(spans)) {
        const qsizetype start = std::max(span.start, first);
        const qsizetype end = std::min(span.start + span.length, first + length);
        if (end > start)
            shown.append({start - first + cutBefore.size(), end - start});
    }
    spans = shown;
    return cutBefore + QStringView(text).sliced(first, length) + cutAfter;
}

bool isLogFileName(QStringView name)
{
    constexpr qsizetype StemDigits = 14;
    if (name.size() < StemDigits + 4 || !name.endsWith(u".txt"))
        return false;
    const QStringView stem = name.first(name.size() - 4);
    const auto digits = [](QStringView part) {
        return !part.isEmpty() && std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (!digits(stem.first(StemDigits)))
        return false;
    const QStringView rest = stem.sliced(StemDigits);
    return rest.isEmpty() || (rest.startsWith(u'_') && digits(rest.sliced(1)));
}

// Oldest first: by the date and time, then by the number after "_" ("_10" after "_9").
bool writtenBefore(const QString& a, const QString& b)
{
    const auto key = [](const QString& name) {
        const qsizetype underscore = name.indexOf(u'_');
        const qsizetype count = underscore < 0 ? 1 : QStringView(name).sliced(underscore + 1).chopped(4).toLongLong();
        return std::pair(QStringView(name).first(14), count);
    };
    return key(a) < key(b);
}

} // namespace

SearchMatcher::SearchMatcher(const SearchQuery& query)
    : m_keyword(foldForSearch(query.keyword.trimmed()))
    , m_prefilter(m_keyword)
    , m_from(query.from)
    , m_to(query.to)
{}

bool SearchMatcher::mayHold(const QString& fileName) const
{
    const QDate written = logFileDate(fileName);
    return !m_from.isValid() || !written.isValid() || written >= m_from;
}

bool SearchMatcher::inDays(const LogTable& table, qsizetype row, QDate fileDate) const
{
    if (!m_from.isValid() && !m_to.isValid())
        return true;
    QDate day = leadingDate(table.rawField(row, 3));
    if (!day.isValid())
        day = fileDate;
    return day.isValid() && (!m_from.isValid() || day >= m_from) && (!m_to.isValid() || day <= m_to);
}

std::optional<SearchHit> SearchMatcher::match(const LogTable& table, qsizetype row) const
{
    std::array<QString, LogTable::FieldsPerRecord> texts;
    std::array<bool, LogTable::FieldsPerRecord> holds = {};
    QString folded;
    for (int k = 0; k < LogTable::FieldsPerRecord; ++k) {
        const QByteArrayView raw = table.rawField(row, k);
        texts[k] = common::cp932::decode(raw);
        // Only a field with the bytes the prefilter looks for can hold the keyword.
        if (m_prefilter.next(raw, 0) < raw.size() || m_prefilter.matchesAnywhere()) {
            foldForSearch(texts[k], folded);
            holds[k] = folded.contains(m_keyword);
        }
    }
    if (std::find(holds.begin(), holds.end(), true) == holds.end())
        return std::nullopt;
    SearchHit hit;
    hit.record = row;
    for (int k = 0; k < LogTable::FieldsPerRecord; ++k) {
        if (holds[k])
            hit.matches[k] = matchesIn(foldWithOrigins(texts[k]), m_keyword);
        hit.fields[k] = shownPart(texts[k], hit.matches[k]);
    }
    return hit;
}

void SearchMatcher::search(const LogTable& table, const QString& fileName,
                           const std::function<bool(SearchHit&&)>& found) const
{
    if (!isValid())
        return;
    const QByteArrayView bytes = table.bytes();
    const QDate fileDate = logFileDate(fileName);
    const qsizetype rows = table.rowCount();
    qsizetype row = 0;
    // The prefilter points at places that may hold the keyword; only the records around them are
    // decoded and folded. A record lies between its start and the next record's start.
    for (qsizetype at = m_prefilter.next(bytes, 0); at < bytes.size() && row < rows;) {
        while (row + 1 < rows && table.recordStart(row + 1) <= at)
            ++row;
        const qsizetype start = table.recordStart(row);
        const qsizetype end = row + 1 < rows ? table.recordStart(row + 1) : bytes.size();
        if (start <= at && m_prefilter.holdsOtherPairs(bytes.sliced(start, end - start)) &&
            inDays(table, row, fileDate)) {
            if (std::optional<SearchHit> hit = match(table, row)) {
                hit->fileName = fileName;
                if (!found(std::move(*hit)))
                    return;
            }
        }
        if (table.recordStart(row) > at) {
            at = m_prefilter.next(bytes, table.recordStart(row));
            continue;
        }
        if (++row < rows)
            at = m_prefilter.next(bytes, table.recordStart(row));
    }
}

QDate logFileDate(QStringView fileName)
{
    if (fileName.size() < 8)
        return {};
    bool ok = false;
    const int year = fileName.first(4).toInt(&ok);
    const int month = ok ? fileName.sliced(4, 2).toInt(&ok) : 0;
    const int day = ok ? fileName.sliced(6, 2).toInt(&ok) : 0;
    return ok ? QDate(year, month, day) : QDate();
}

common::Result<QStringList> logFilesIn(const QString& folder)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(QFile::encodeName(folder).constData()), ::closedir);
    if (!dir)
        return common::Status::fromErrno(errno, folder);
    QStringList names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry)
            break;
        const QString name = QFile::decodeName(entry->d_name);
        if (isLogFileName(name))
            names.append(name);
    }
    if (errno != 0)
        return common::Status::fromErrno(errno, folder);
    std::sort(names.begin(), names.end(), writtenBefore);
    return names;
}

} // namespace history::core
