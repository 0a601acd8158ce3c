#pragma once

#include <QString>

namespace net {
class ComputerBrowserModel;
} // namespace net

namespace widgets {

/**
 * The line the computer browser shows about its search: under way, how many computers were
 * found, or why none can be listed, with what the user can do about it. Never the bus's or the
 * daemon's own words: they name sockets and interfaces, not what to do.
 */
QString browserStatusText(const net::ComputerBrowserModel& model);

} // namespace widgets
