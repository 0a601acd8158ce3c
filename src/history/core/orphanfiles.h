#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace history::core {

/// Whether the process @p pid of this machine still runs (it may belong to another user).
bool processRuns(qint64 pid);

/**
 * The process id in a file name of the form @p prefix + pid + "-" + anything, or -1 when the
 * name is not of that form.
 */
qint64 pidInName(const QString& name, const QString& prefix);

/**
 * The names of the files in @p folder (hidden ones too, no symbolic links) that start with
 * @p prefix and end with @p suffix, in name order. Matched by hand: a wildcard name filter would
 * compile a regular expression, which costs a start-up more than the listing itself.
 */
QStringList filesNamed(const QString& folder, QStringView prefix, QStringView suffix);

/**
 * Removes from @p folder the temporary files that log writes killed part-way left behind
 * (".tavik-log-<pid>-<random>.tmp" whose process no longer runs). A write in progress in another
 * process keeps its file.
 */
void removeStaleTempFiles(const QString& folder);

/// The start of a log write's temporary file name; the writer's pid and "-" follow.
inline constexpr char16_t TempFilePrefix[] = u".tavik-log-";

} // namespace history::core
