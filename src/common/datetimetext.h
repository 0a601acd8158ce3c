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

/// Source of the current local time; tests replace it with a fixed clock.
using Clock = std::function<QDateTime()>;

/// The system clock in local time.
Clock systemClock();

} // namespace common
