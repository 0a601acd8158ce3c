#pragma once

#include <QString>

namespace history::core {

/// A short Japanese description of the system error @p errorNumber (an errno value) for message
/// boxes; one the program does not know reads 「システムエラー（番号 N）」, never the system's English.
QString osErrorText(int errorNumber);

} // namespace history::core
