#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <vector>

namespace history::core {

/**
 * A quick look at the code page 932 bytes of a log for the places where a folded keyword (see
 * foldForSearch()) may occur, so that only the records around them need decoding and folding.
 *
 * It looks for the byte forms of two neighbouring characters of the keyword: every character of
 * code page 932 whose fold ends with the first, followed by every one whose fold starts with the
 * second, and every one whose fold holds both (「ｋ」「Ｋ」「k」「K」 then 「ｕ」「Ｕ」「u」「U」 for
 * "ku"). The rarest pair is looked for in the whole file; a record where it turns up must hold
 * the keyword's other pairs as well before it is decoded. A keyword of one character, or one
 * whose neighbours all fold across units (see foldsAcrossUnits()), is looked for by one character.
 * The places found are a superset of the matches: a match needs the forms, but a form (the second
 * byte of a two-byte character, say) is not always a match.
 */
class SearchPrefilter final
{
public:
    /// For @p foldedKeyword, the keyword as foldForSearch() gives it.
    explicit SearchPrefilter(QStringView foldedKeyword);

    /// Whether the keyword offers nothing to look for in the bytes: every record has to be folded.
    bool matchesAnywhere() const { return m_anywhere; }

    /**
     * The first place at or after @p from in @p bytes where a form of the rarest pair starts;
     * bytes.size() when there is none (or, with matchesAnywhere(), @p from).
     */
    qsizetype next(QByteArrayView bytes, qsizetype from) const;

    /// Whether @p record, the bytes of one record, holds a form of each of the keyword's other pairs too.
    bool holdsOtherPairs(QByteArrayView record) const;

private:
    /// The byte forms of one pair (or one character) of the keyword.
    class Forms final
    {
    public:
        explicit Forms(std::vector<QByteArray> forms);
        qsizetype next(QByteArrayView bytes, qsizetype from) const;
        qint64 cost() const { return m_cost; }

    private:
        bool formAt(const char* d, qsizetype n, qsizetype at) const;
        qsizetype nextByByte(const char* d, qsizetype n, qsizetype from) const;
        qsizetype nextByAvx2(const char* d, qsizetype n, qsizetype from) const;

        std::vector<QByteArray> m_forms;
        QByteArray m_firstBytes;  ///< the distinct first bytes of the forms
        QByteArray m_secondBytes; ///< the distinct second bytes, when every form has two bytes or more
        /// The same two sets as nibble tables: a byte b is in a set (or in a few more bytes, when
        /// the set has more than 8 high nibbles) when low[b & 15] & high[b >> 4] is not 0.
        alignas(16) char m_firstLow[16] = {};
        alignas(16) char m_firstHigh[16] = {};
        alignas(16) char m_secondLow[16] = {};
        alignas(16) char m_secondHigh[16] = {};
        qint64 m_cost = 0;
    };

    std::vector<Forms> m_pairs; ///< the rarest first
    bool m_anywhere = false;
};

} // namespace history::core
