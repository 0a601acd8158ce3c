#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <vector>

namespace history::core {

/**
 * A text folded for search: compatibility-normalised (NFKC) and case-folded, so that full- and
 * half-width forms and upper and lower case read the same (「ＡＢＣ」「abc」「ａｂｃ」, 「ﾃｽﾄ」
 * 「テスト」, 「ｶﾞ」「ガ」). A keyword is found in a text when its fold is part of the text's fold.
 * The text is folded one unit at a time: a character with the marks that join it (the half-width
 * sound marks ﾞ and ﾟ, combining marks); for code page 932 text that gives exactly the fold of
 * the whole text, and each character of the fold knows the unit it came from.
 */
struct FoldedText
{
    QString text;
    QList<qsizetype> unitStart; ///< per character of text: where its unit starts in the original
    QList<qsizetype> unitEnd;   ///< and where it ends

    /// The part of the original that the fold's characters [@p start, @p start + @p length) came from.
    std::pair<qsizetype, qsizetype> originalSpan(qsizetype start, qsizetype length) const
    {
        return {unitStart.at(start), unitEnd.at(start + length - 1)};
    }
};

/// The fold of @p text (see FoldedText).
QString foldForSearch(QStringView text);
/// The same into @p out, whose memory is used again: a search folds many texts in a row.
void foldForSearch(QStringView text, QString& out);
/// The same with the origin of every folded character.
FoldedText foldWithOrigins(QStringView text);

/// One character of code page 932 (one or two bytes) and its fold.
struct Cp932Fold
{
    QByteArray bytes;
    QString fold;
};

/// Every character code page 932 can hold, with its fold; made once, on first use.
const std::vector<Cp932Fold>& cp932Folds();

/**
 * Whether folded text can hold @p c only through more than one unit: a character made by joining
 * a sound or combining mark to the one before (ガ from ｶﾞ), a lone mark, or U+FFFD (which stands
 * for bytes that are no character). A byte search for the characters of code page 932 that fold
 * to @p c would miss those.
 */
bool foldsAcrossUnits(QChar c);

} // namespace history::core
