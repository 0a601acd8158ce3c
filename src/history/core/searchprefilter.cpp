#include "searchprefilter.h"

#include "bytescan.h"
#include "searchfold.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <optional>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace history::core {

namespace {

using FormList = std::vector<QByteArray>;

// Roughly how often a byte turns up in a Japanese chat log: the forms whose first two bytes are
// rarest are the ones looked for. Only the speed depends on it, never what is found.
qint64 byteWeight(uchar b)
{
    if (b == ' ' || (b >= '0' && b <= '9') || b == '/' || b == ':' || b == ',' || b == '"' || b == '\r' || b == '\n')
        return 8;
    if (b >= 0x81 && b <= 0x83) // the first bytes of symbols, hiragana and katakana
        return 6;
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'))
        return std::strchr("etaoinshrlETAOINSHRL", b) ? 6 : 3;
    return 2;
}

FormList codesWhere(const std::function<bool(const QString& fold)>& holds)
{
    FormList forms;
    for (const Cp932Fold& code : cp932Folds()) {
        if (holds(code.fold))
            forms.push_back(code.bytes);
    }
    return forms;
}

void addUnique(FormList& forms, const QByteArray& form)
{
    if (std::find(forms.begin(), forms.end(), form) == forms.end())
        forms.push_back(form);
}

// Two neighbouring characters of the keyword: the end of one character's fold and the start of
// the next one's, or both within one fold.
FormList pairForms(QChar first, QChar second)
{
    const QString pair = QString(first) + second;
    FormList forms = codesWhere([&](const QString& fold) { return fold.contains(pair); });
    const FormList ends = codesWhere([&](const QString& fold) { return fold.endsWith(first); });
    const FormList starts = codesWhere([&](const QString& fold) { return fold.startsWith(second); });
    for (const QByteArray& end : ends) {
        for (const QByteArray& start : starts)
            addUnique(forms, end + start);
    }
    return forms;
}

// One character of the keyword. A character made by joining a mark to the one before may come
// from two units; the first of them then ends with the character's base (カ for ガ).
FormList singleForms(QChar c)
{
    FormList forms = codesWhere([&](const QString& fold) { return fold.contains(c); });
    if (c.decompositionTag() == QChar::Canonical && !c.decomposition().isEmpty()) {
        const QChar base = c.decomposition().at(0);
        for (const QByteArray& form : codesWhere([&](const QString& fold) { return fold.endsWith(base); }))
            addUnique(forms, form);
    }
    return forms;
}

QByteArray distinctByte(const FormList& forms, int index)
{
    QByteArray bytes;
    for (const QByteArray& form : forms) {
        if (!bytes.contains(form.at(index)))
            bytes += form.at(index);
    }
    return bytes;
}

// Tables for looking bytes up 32 at a time: each distinct high nibble of @p set gets a bit (the
// ninth and later share the last one), and the low table holds, per low nibble, the bits of the
// high nibbles it comes with in @p set.
void nibbleTables(const QByteArray& set, char (&low)[16], char (&high)[16])
{
    int buckets = 0;
    for (const char byte : set) {
        const int hi = uchar(byte) >> 4;
        if (high[hi] == 0)
            high[hi] = char(1 << std::min(buckets++, 7));
        low[uchar(byte) & 15] = char(low[uchar(byte) & 15] | high[hi]);
    }
}

} // namespace

SearchPrefilter::Forms::Forms(std::vector<QByteArray> forms)
    : m_forms(std::move(forms))
{
    for (const QByteArray& form : m_forms) {
        const qint64 first = byteWeight(uchar(form.at(0)));
        m_cost += form.size() >= 2 ? first * byteWeight(uchar(form.at(1))) : first * 16;
    }
    if (m_forms.empty())
        return;
    m_firstBytes = distinctByte(m_forms, 0);
    if (std::all_of(m_forms.begin(), m_forms.end(), [](const QByteArray& form) { return form.size() >= 2; }))
        m_secondBytes = distinctByte(m_forms, 1);
    nibbleTables(m_firstBytes, m_firstLow, m_firstHigh);
    nibbleTables(m_secondBytes, m_secondLow, m_secondHigh);
}

SearchPrefilter::SearchPrefilter(QStringView keyword)
{
    // Pairs with few and rare forms first; a handful suffices to tell records apart. Each pair
    // looked at costs a pass over every character of code page 932, so a long keyword is judged
    // by its start: any of its pairs is needed for a match, so any selection is sound.
    constexpr size_t MaxPairs = 4;
    constexpr qsizetype MaxExamined = 32;
    keyword = keyword.first(std::min(keyword.size(), MaxExamined + 1));
    for (qsizetype i = 0; i + 1 < keyword.size(); ++i) {
        if (!foldsAcrossUnits(keyword[i]) && !foldsAcrossUnits(keyword[i + 1]))
            m_pairs.emplace_back(pairForms(keyword[i], keyword[i + 1]));
    }
    if (m_pairs.empty()) {
        // U+FFFD stands for bytes that are no character: there is no form to look for.
        for (const QChar c : keyword) {
            if (c != QChar::ReplacementCharacter)
                m_pairs.emplace_back(singleForms(c));
        }
    }
    m_anywhere = m_pairs.empty();
    std::stable_sort(m_pairs.begin(), m_pairs.end(),
                     [](const Forms& a, const Forms& b) { return a.cost() < b.cost(); });
    if (m_pairs.size() > MaxPairs)
        m_pairs.erase(m_pairs.begin() + MaxPairs, m_pairs.end());
}

qsizetype SearchPrefilter::next(QByteArrayView bytes, qsizetype from) const
{
    return m_anywhere ? from : m_pairs.front().next(bytes, from);
}

bool SearchPrefilter::holdsOtherPairs(QByteArrayView record) const
{
    for (size_t k = 1; k < m_pairs.size(); ++k) {
        if (m_pairs[k].next(record, 0) == record.size())
            return false;
    }
    return true;
}

bool SearchPrefilter::Forms::formAt(const char* d, qsizetype n, qsizetype at) const
{
    for (const QByteArray& form : m_forms) {
        if (at + form.size() <= n && std::memcmp(d + at, form.constData(), size_t(form.size())) == 0)
            return true;
    }
    return false;
}

qsizetype SearchPrefilter::Forms::next(QByteArrayView bytes, qsizetype from) const
{
    if (m_forms.empty())
        return bytes.size();
    // A record's few bytes are looked at one by one; a file's, 32 at a time where the processor can.
    constexpr qsizetype ShortText = 256;
    static const bool avx2 = bytescan::hasAvx2();
    if (avx2 && bytes.size() - from >= ShortText)
        return nextByAvx2(bytes.data(), bytes.size(), from);
    return nextByByte(bytes.data(), bytes.size(), from);
}

// One place at a time, each byte looked up in the nibble tables.
qsizetype SearchPrefilter::Forms::nextByByte(const char* d, qsizetype n, qsizetype from) const
{
    const auto inSet = [](char byte, const char(&low)[16], const char(&high)[16]) {
        return (low[uchar(byte) & 15] & high[uchar(byte) >> 4]) != 0;
    };
    const bool pairs = !m_secondBytes.isEmpty();
    for (qsizetype i = from; i < n; ++i) {
        if (inSet(d[i], m_firstLow, m_firstHigh) &&
            (!pairs || (i + 1 < n && inSet(d[i + 1], m_secondLow, m_secondHigh))) && formAt(d, n, i))
            return i;
    }
    return n;
}

#if defined(__x86_64__) && defined(__GNUC__)

namespace {

// Whether each of the 32 bytes at @p at is in the set the nibble tables @p low and @p high describe (0xFF) or not (0).
__attribute__((target("avx2"))) __m256i inSet(const char* at, __m256i low, __m256i high)
{
    const __m256i chunk = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i lows = _mm256_shuffle_epi8(low, _mm256_and_si256(chunk, nibble));
    const __m256i highs = _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(chunk, 4), nibble));
    return _mm256_xor_si256(_mm256_cmpeq_epi8(_mm256_and_si256(lows, highs), _mm256_setzero_si256()),
                            _mm256_set1_epi8(-1));
}

__attribute__((target("avx2"))) __m256i tableOf(const char (&table)[16])
{
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table)));
}

} // namespace

// As nextByByte(), 32 places at a time: the first byte of some form there, and the second byte
// of some form right after it; only those places are compared with the forms.
__attribute__((target("avx2"))) qsizetype SearchPrefilter::Forms::nextByAvx2(const char* d, qsizetype n,
                                                                             qsizetype from) const
{
    const __m256i firstLow = tableOf(m_firstLow);
    const __m256i firstHigh = tableOf(m_firstHigh);
    const __m256i secondLow = tableOf(m_secondLow);
    const __m256i secondHigh = tableOf(m_secondHigh);
    const bool pairs = !m_secondBytes.isEmpty();
    char tail[65] = {};
    for (qsizetype i = from; i < n; i += 32) {
        // The last places from a copy padded with zeros; formAt() looks at the text itself.
        const char* block = d + i;
        if (i + 33 > n) {
            std::memcpy(tail, d + i, size_t(n - i));
            block = tail;
        }
        __m256i hits = inSet(block, firstLow, firstHigh);
        if (pairs)
            hits = _mm256_and_si256(hits, inSet(block + 1, secondLow, secondHigh));
        for (auto mask = static_cast<quint32>(_mm256_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
            const qsizetype place = i + std::countr_zero(mask);
            if (place < n && formAt(d, n, place))
                return place;
        }
    }
    return n;
}

#else

qsizetype SearchPrefilter::Forms::nextByAvx2(const char* d, qsizetype n, qsizetype from) const
{
    return nextByByte(d, n, from);
}

#endif

} // namespace history::core
