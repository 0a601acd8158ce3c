#pragma once

#include "common/status.h"

#include <QString>

namespace widgets {

/**
 * The Japanese reason the user reads when a computer name could not be resolved, made from the
 * status net::HostResolver answers with (NotFound or TimedOut, the name as detail). Any other
 * code is worded as a name that was not found.
 */
QString resolutionErrorText(const common::Status& status);

} // namespace widgets
