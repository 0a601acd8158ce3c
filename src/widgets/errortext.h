#pragma once

#include "common/status.h"

#include <QString>

namespace widgets {

/**
 * The Japanese sentence for a failure of the network and file layers, as message boxes show it:
 * the one place where the program words its failures. A failed system call is worded by its errno,
 * as a socket's or as a file's; an error number the program does not know reads
 * 「システムエラー（番号 N）」, never the system's English. Over a limit (TooLarge), the errno says
 * which: EFBIG a file over the largest log file, ENOMEM a load over its memory budget, none a
 * datagram.
 */
QString errorText(const common::Status& status);

} // namespace widgets
