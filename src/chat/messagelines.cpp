#include "messagelines.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace chat {

namespace {

bool needsPicture(char16_t c)
{
    return c < 0x20 || c == 0x7F;
}

bool needsMarker(char16_t c)
{
    return (c >= 0x80 && c <= 0x9F)         // C1 controls
           || c == 0x2028 || c == 0x2029    // line and paragraph separators
           || c == 0x061C                   // Arabic letter mark
           || c == 0x200E || c == 0x200F    // left-to-right and right-to-left marks
           || (c >= 0x202A && c <= 0x202E)  // embeddings and overrides
           || (c >= 0x2066 && c <= 0x2069); // isolates
}

/// At most the first @p limit characters of @p text, never half of a surrogate pair.
QString leading(const QString& text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    const qsizetype end = limit > 0 && text.at(limit - 1).isHighSurrogate() ? limit - 1 : limit;
    return text.left(end);
}

} // namespace

QString visibleText(const QString& text)
{
    // Almost every message has nothing to replace; it is then shared, not copied.
    const auto plain = [](QChar ch) { return !needsPicture(ch.unicode()) && !needsMarker(ch.unicode()); };
    if (std::all_of(text.cbegin(), text.cend(), plain))
        return text;

    QString shown;
    shown.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < 0x20)
            shown += QChar(char16_t(0x2400 + c));
        else if (c == 0x7F)
            shown += QChar(u'\u2421');
        else if (needsMarker(c))
            shown += u"<U+"_s + QString::number(c, 16).toUpper().rightJustified(4, u'0') + u'>';
        else
            shown += ch;
    }
    return shown;
}

QString shownText(const QString& text)
{
    // Only what can be shown is looked at: a 64 KiB datagram costs no more than a short one.
    const bool tooLong = text.size() > MaxShownCharacters;
    QString shown = visibleText(tooLong ? leading(text, MaxShownCharacters) : text);
    if (!tooLong && shown.size() <= MaxShownCharacters)
        return shown;
    QString cut = leading(shown, MaxShownCharacters - 1);
    // A code marker ("<U+202E>", 8 characters) that the cut would split goes whole.
    const qsizetype marker = cut.lastIndexOf(u'<');
    if (marker >= 0 && marker + 8 > cut.size() && shown.size() >= marker + 8 &&
        QStringView(shown).sliced(marker).startsWith(u"<U+") && shown.at(marker + 7) == u'>')
        cut.truncate(marker);
    return cut + u'…';
}

QString ownDisplayLine(const QString& text)
{
    return QString::fromUtf16(OwnPrefix) + shownText(text);
}

QString partnerDisplayLine(const QString& received)
{
    return QString::fromUtf16(PartnerPrefix) + shownText(received);
}

common::LogLine sentLogLine(const QString& ownHost, const QString& partner, const QString& text,
                            const QString& dateTime)
{
    return {ownHost, partner, text, dateTime};
}

common::LogLine receivedLogLine(const QString& partner, const QString& ownHost, const QString& received,
                                const QString& dateTime)
{
    return {partner, ownHost, QString::fromUtf16(PartnerPrefix) + received, dateTime};
}

} // namespace chat
