#include "ratelimiter.h"

#include "net/hostaddress.h"

namespace messenger::service {

RateLimiter::RateLimiter(int maxEvents, std::chrono::milliseconds window)
    : m_maxEvents(maxEvents)
    , m_window(window)
{}

bool RateLimiter::admit(const QHostAddress& address, Clock::time_point now)
{
    forgetIdleSenders(now);
    std::deque<Clock::time_point>& events = m_events[net::plainAddress(address)];
    while (!events.empty() && now - events.front() >= m_window)
        events.pop_front();
    if (std::ssize(events) >= m_maxEvents)
        return false;
    events.push_back(now);
    return true;
}

void RateLimiter::forgetIdleSenders(Clock::time_point now)
{
    // Once per window, drop the senders whose last event has left it, so that the table does not
    // grow with every address that ever sent something.
    if (now - m_lastSweep < m_window)
        return;
    m_lastSweep = now;
    m_events.removeIf([&](const auto& entry) {
        const std::deque<Clock::time_point>& events = entry.value();
        return events.empty() || now - events.back() >= m_window;
    });
}

} // namespace messenger::service
