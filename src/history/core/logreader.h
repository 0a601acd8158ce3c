#pragma once

#include "logparser.h"

#include <QString>

#include <atomic>

namespace history::core {

/// Shared between a load running on a worker thread and the window that waits for it.
struct LoadProgress
{
    std::atomic<qint64> total{0}; ///< bytes of the file, once known
    std::atomic<qint64> done{0};  ///< bytes read plus bytes parsed, out of 2 × total
    std::atomic<bool> cancel{false};
};

/// Bytes of memory a load of a file of @p fileBytes may use at most: 3 × the file plus 64 MiB.
qint64 loadBudget(qint64 fileBytes);

/**
 * Reads the log file at @p path and parses it (see parseLog()). A file that cannot be read gives
 * the system's error, one over MaxLogFileBytes or not a regular file a failure of its own, and so
 * does one whose records would need more than loadBudget() of memory, or any allocation that
 * fails while loading; each failure names @p path. @p progress, when given, is updated as the
 * load goes on and can cancel it.
 */
LogReadResult readLogFile(const QString& path, LoadProgress* progress = nullptr);

} // namespace history::core
