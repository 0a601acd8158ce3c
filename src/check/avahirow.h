#pragma once

#include "check/checkrow.h"

namespace check {

/// The row for the Avahi daemon: passed when @p unavailableReason is empty, else failed with it.
Row avahiRow(const QString& unavailableReason);

} // namespace check
