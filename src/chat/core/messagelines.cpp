#include "messagelines.h"

#include "common/visibletext.h"

using namespace Qt::StringLiterals;

namespace chat::core {

namespace {

/// At most the first @p limit characters of @p text, never half of a surrogate pair.
QString leading(const QString& text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    const qsizetype end = limit > 0 && text.at(limit - 1).isHighSurrogate() ? limit - 1 : limit;
    return text.left(end);
}

} // namespace

QString shownText(const QString& text)
{
    // Only what can be shown is looked at: a 64 KiB datagram costs no more than a short one.
    const bool tooLong = text.size() > MaxShownCharacters;
    QString shown = common::visibleText(tooLong ? leading(text, MaxShownCharacters) : text);
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

common::LogLine keptLogLine(const common::LogLine& line)
{
    if (line.message.size() <= MaxKeptLogCharacters)
        return line;
    return {line.sender, line.receiver, leading(line.message, MaxKeptLogCharacters - 1) + u'…', line.dateTime};
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

QString loggedMessage(QStringView prefix, QStringView received)
{
    // One allocation of the exact size, breaks replaced in the copy: the largest datagram's text
    // is copied once, and searched many characters at a time for the breaks almost none holds.
    QString logged;
    logged.reserve(prefix.size() + received.size());
    logged.append(prefix).append(received);
    const auto isBreak = [](QChar c) { return c == u'\r' || c == u'\n'; };
    if (received.contains(u'\r') || received.contains(u'\n'))
        std::replace_if(logged.begin() + prefix.size(), logged.end(), isBreak, QChar(u'?'));
    return logged;
}

common::LogLine receivedLogLine(const QString& partner, const QString& ownHost, const QString& received,
                                const QString& dateTime)
{
    return {partner, ownHost, loggedMessage(PartnerPrefix, received), dateTime};
}

} // namespace chat::core
