#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

namespace common {

/**
 * The Japanese general date form of @p when: "2002/10/18 9:05:03" (hour without a leading
 * zero), or the date alone, "2002/10/18", when the time of day is exactly 00:00:00.
 */
QString dateTimeText(const QDateTime& when);

/**
 * dateTimeText for a run of clock readings, made anew only when the second changes: the texts
 * of a burst of messages within one second are one shared string.
 */
class DateTimeTextCache final
{
public:
    const QString& text(const QDateTime& when);

private:
    qint64 m_second = 0;
    bool m_valid = false;
    QString m_text;
};

/**
 * Names the system's zone file in TZ when TZ is unset. Without it glibc checks /etc/localtime
 * again at every conversion to local time, which each message's date-time text needs; with it
 * the zone is read once and stays the same. Call it first thing in main().
 */
void pinLocalTimeZone();

/// Source of the current local time; tests replace it with a fixed clock.
using Clock = std::function<QDateTime()>;

/// The system clock in local time.
Clock systemClock();

} // namespace common
