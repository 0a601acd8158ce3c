#pragma once

#include <QHash>
#include <QHostAddress>

#include <chrono>
#include <deque>

namespace messenger::service {

/**
 * Counts events per sender address in a sliding time window, so that one sender cannot flood the
 * screen with pop-ups. An IPv4 address and its IPv4-mapped IPv6 form count as the same sender.
 */
class RateLimiter final
{
public:
    using Clock = std::chrono::steady_clock;

    RateLimiter(int maxEvents, std::chrono::milliseconds window);

    /// Records an event from @p address at @p now if fewer than the maximum happened within the
    /// window before it. @return whether the event was admitted; refused events are not recorded.
    bool admit(const QHostAddress& address, Clock::time_point now);

private:
    void forgetIdleSenders(Clock::time_point now);

    int m_maxEvents;
    std::chrono::milliseconds m_window;
    QHash<QHostAddress, std::deque<Clock::time_point>> m_events;
    Clock::time_point m_lastSweep;
};

} // namespace messenger::service
