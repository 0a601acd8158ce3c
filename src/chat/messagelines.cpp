#include "messagelines.h"

#include "common/visibletext.h"

using namespace Qt::StringLiterals;

namespace chat {

QString ownDisplayLine(const QString& text)
{
    return QString::fromUtf16(OwnPrefix) + common::visibleText(text);
}

QString partnerDisplayLine(const QString& received)
{
    return QString::fromUtf16(PartnerPrefix) + common::visibleText(received);
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
