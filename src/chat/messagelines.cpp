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

QString ownDisplayLine(const QString& text)
{
    return QString::fromUtf16(OwnPrefix) + visibleText(text);
}

QString partnerDisplayLine(const QString& received)
{
    return QString::fromUtf16(PartnerPrefix) + visibleText(received);
}

common::LogLine sentLogLine(const QString& ownHost, const QString& partner, const QString& text,
                            const QString& dateTime)
{
    return {ownHost, partner, text, dateTime};
}

QString loggedText(const QString& received)
{
    const auto isBreak = [](QChar c) { return c == u'\r' || c == u'\n'; };
    if (std::none_of(received.cbegin(), received.cend(), isBreak))
        return received;
    QString logged = received;
    std::replace_if(logged.begin(), logged.end(), isBreak, QChar(u'?'));
    return logged;
}

common::LogLine receivedLogLine(const QString& partner, const QString& ownHost, const QString& received,
                                const QString& dateTime)
{
    return {partner, ownHost, QString::fromUtf16(PartnerPrefix) + loggedText(received), dateTime};
}

} // namespace chat
