#pragma once

#include <QString>

namespace history {

/// A short Japanese description of the system error @p errorNumber (an errno value) for message boxes.
QString osErrorText(int errorNumber);

} // namespace history
