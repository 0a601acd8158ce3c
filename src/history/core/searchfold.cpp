#include "searchfold.h"

#include "common/cp932codec.h"

#include <bitset>

namespace history::core {

namespace {

QString foldUnit(QStringView unit)
{
    return unit.toString().normalized(QString::NormalizationForm_KC).toCaseFolded();
}

/// The folds of the characters code page 932 holds: as a list for the byte search, and by code
/// point for folding decoded text without normalising each character again.
struct FoldTables
{
    std::vector<Cp932Fold> codes;
    std::vector<quint32> entries = std::vector<quint32>(0x10000); ///< offset in pool << 8 | length; 0: none
    QString pool;
    /// The characters that join the one before: the marks, and the half-width sound marks, which
    /// fold to marks.
    std::bitset<0x10000> joining;

    bool joinsPrevious(QChar c) const { return joining[c.unicode()]; }

    void add(const QByteArray& bytes)
    {
        const QString decoded = common::cp932::decode(bytes);
        if (decoded.size() != 1 || decoded.at(0) == QChar::ReplacementCharacter)
            return;
        const QString fold = foldUnit(decoded);
        codes.push_back({bytes, fold});
        remember(decoded.at(0), fold);
    }

    void remember(QChar c, const QString& fold)
    {
        quint32& entry = entries[c.unicode()];
        if (entry != 0 || fold.isEmpty() || fold.size() > 0xFF)
            return;
        entry = quint32(pool.size()) << 8 | quint32(fold.size());
        pool += fold;
    }

    FoldTables()
    {
        for (char32_t c = 0; c < 0x10000; ++c)
            joining[c] = QChar::isMark(c);
        joining[0xFF9E] = joining[0xFF9F] = true;
        for (int b = 0; b < 0x100; ++b)
            add(QByteArray(1, char(b)));
        const auto isLead = [](int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); };
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isLead(lead))
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                const char pair[] = {char(lead), char(trail)};
                if (trail != 0x7F)
                    add(QByteArray(pair, 2));
            }
        }
        // Bytes that are no character decode to U+FFFD, which folds to itself.
        remember(QChar::ReplacementCharacter, QString(QChar::ReplacementCharacter));
    }
};

const FoldTables& tables()
{
    static const FoldTables instance;
    return instance;
}

// Folds @p text unit by unit into @p out; with @p origins, notes where each folded character came from.
void fold(QStringView text, QString& out, FoldedText* origins)
{
    const FoldTables& t = tables();
    out.reserve(out.size() + text.size() + 8);
    if (origins) {
        origins->unitStart.reserve(text.size() + 8);
        origins->unitEnd.reserve(text.size() + 8);
    }
    for (qsizetype i = 0; i < text.size();) {
        qsizetype end = i + (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1);
        while (end < text.size() && t.joinsPrevious(text[end]))
            ++end;
        const quint32 entry = end == i + 1 ? t.entries[text[i].unicode()] : 0;
        if ((entry & 0xFF) == 1)
            out += t.pool.at(entry >> 8);
        else if (entry != 0)
            out += QStringView(t.pool).sliced(entry >> 8, entry & 0xFF);
        else
            out += foldUnit(text.sliced(i, end - i));
        if (origins) {
            origins->unitStart.resize(out.size(), i);
            origins->unitEnd.resize(out.size(), end);
        }
        i = end;
    }
}

} // namespace

QString foldForSearch(QStringView text)
{
    QString out;
    fold(text, out, nullptr);
    return out;
}

void foldForSearch(QStringView text, QString& out)
{
    out.clear();
    fold(text, out, nullptr);
}

FoldedText foldWithOrigins(QStringView text)
{
    FoldedText folded;
    fold(text, folded.text, &folded);
    return folded;
}

const std::vector<Cp932Fold>& cp932Folds()
{
    return tables().codes;
}

bool foldsAcrossUnits(QChar c)
{
    return c == QChar::ReplacementCharacter || c.isMark() || c.decompositionTag() == QChar::Canonical;
}

} // namespace history::core
