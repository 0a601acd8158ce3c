#include "orphanfiles.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <limits>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace history::core {

bool processRuns(qint64 pid)
{
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    // Signal 0 only asks whether the process exists; EPERM means it does, under another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

qint64 pidInName(const QString& name, const QString& prefix)
{
    if (!name.startsWith(prefix))
        return -1;
    const qsizetype dash = name.indexOf(u'-', prefix.size());
    if (dash <= prefix.size())
        return -1;
    bool ok = false;
    const qint64 pid = QStringView(name).sliced(prefix.size(), dash - prefix.size()).toLongLong(&ok);
    return ok && pid > 0 ? pid : -1;
}

QStringList filesNamed(const QString& folder, QStringView prefix, QStringView suffix)
{
    QStringList names =
        QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDir::Name);
    names.removeIf([&](const QString& name) {
        return name.size() < prefix.size() + suffix.size() || !name.startsWith(prefix) || !name.endsWith(suffix);
    });
    return names;
}

void removeStaleTempFiles(const QString& folder)
{
    const QString prefix = QString::fromUtf16(TempFilePrefix);
    const QDir dir(folder);
    for (const QString& name : filesNamed(folder, prefix, u".tmp")) {
        const qint64 pid = pidInName(name, prefix);
        if (pid > 0 && pid != ::getpid() && !processRuns(pid))
            ::unlink(QFile::encodeName(dir.filePath(name)).constData());
    }
}

} // namespace history::core
