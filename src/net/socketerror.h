#pragma once

#include "common/status.h"

namespace net {

/**
 * The Winsock code the Windows socket control would report for @p status, on which the chat
 * decides: 0 for success, 10014 for a name that could not be resolved, 10022 for text without a
 * code page 932 form, 10040 for more than one datagram, 40006 for the wrong state, and the code of
 * the system error otherwise (10048 in use, 10013 no permission, …; 10107 for any other).
 */
int winsockCode(const common::Status& status);

} // namespace net
