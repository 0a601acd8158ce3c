#include "datetimetext.h"

#include <QDate>
#include <QFile>
#include <QTime>

using namespace Qt::StringLiterals;

namespace common {

QString dateTimeText(const QDateTime& when)
{
    if (!when.isValid())
        return {};

    // Built field by field rather than through QLocale: the text must read the same whatever
    // locale the process runs in.
    const auto padded = [](int value, int width) { return QString::number(value).rightJustified(width, u'0'); };
    const QDate date = when.date();
    QString text = padded(date.year(), 4) + u'/' + padded(date.month(), 2) + u'/' + padded(date.day(), 2);

    // The text shows whole seconds, so a time within the first second of the day is midnight.
    const QTime time = when.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return text;

    text += u' ' + QString::number(time.hour()) + u':' + padded(time.minute(), 2) + u':' + padded(time.second(), 2);
    return text;
}

const QString& DateTimeTextCache::text(const QDateTime& when)
{
    const qint64 second = when.toSecsSinceEpoch();
    if (!m_valid || second != m_second || !when.isValid()) {
        m_text = dateTimeText(when);
        m_second = second;
        m_valid = when.isValid();
    }
    return m_text;
}

void pinLocalTimeZone()
{
    if (qEnvironmentVariableIsEmpty("TZ") && QFile::exists(u"/etc/localtime"_s))
        qputenv("TZ", ":/etc/localtime");
}

Clock systemClock()
{
    return [] { return QDateTime::currentDateTime(); };
}

} // namespace common
