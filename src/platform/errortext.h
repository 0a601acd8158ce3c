#pragma once

#include "common/status.h"

#include <QString>

namespace platform {

/**
 * The Japanese sentence for a failure of the network and file layers, for message boxes and status
 * panels; the one place where failures are worded. A system error reads as a short description of
 * its errno (one the program does not know as 「システムエラー（番号 N）」, never the system's
 * English); other kinds have a sentence of their own, made more precise by the errno they carry
 * where there is one (TooLarge with EFBIG: the file is over the largest log file; with ENOMEM:
 * the memory a load may use does not suffice). The thing the failure concerns (Status::detail())
 * is not part of the sentence: the caller places it. An Ok status gives the empty text.
 */
QString errorText(const common::Status& status);

} // namespace platform
