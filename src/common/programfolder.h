#pragma once

#include <QString>

namespace common {

/**
 * The program's own folder: where the executable was started from, with help/ and log/ beside
 * it. This is the directory of the path the program was invoked by, made absolute, without
 * following symbolic links, so that a per-user folder that links to an installed executable
 * counts as the program's folder. Needs a QCoreApplication.
 */
QString programFolder();

} // namespace common
