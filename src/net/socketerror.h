#pragma once

#include "net/datagramsocket.h"

namespace net::detail {

/**
 * Turns a system error number of a socket call into the Winsock code the socket control would
 * report, with a Japanese reason. The reasons of 10048 and 10013 are the fixed texts the user
 * sees when binding fails; other reasons end with the system's own text in parentheses.
 */
SocketResult socketResultFromErrno(int error);

} // namespace net::detail
