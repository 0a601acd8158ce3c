#include "procsockets.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <cerrno>
#include <functional>
#include <utility>

#include <dirent.h>
#include <unistd.h>

namespace check {

namespace {

// The socket tables are small; a larger file is cut here, never read without bound.
constexpr qint64 MaxTableBytes = 16 * 1024 * 1024;

/// Calls @p visit with each process folder under @p procRoot until it returns false.
void forEachProcess(const QString& procRoot, const std::function<bool(qint64 pid, const QString& folder)>& visit)
{
    const QStringList entries = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number && pid > 0 && !visit(pid, procRoot + u'/' + entry))
            return;
    }
}

QString commandName(const QString& processFolder)
{
    QFile comm(processFolder + QStringLiteral("/comm"));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(comm.read(256)).trimmed();
}

/// The inodes of the sockets the process in @p processFolder holds; none when its descriptors
/// cannot be read (another user's process).
QList<quint64> socketInodes(const QString& processFolder)
{
    QList<quint64> inodes;
    DIR* fds = ::opendir(QFile::encodeName(processFolder + QStringLiteral("/fd")).constData());
    if (!fds)
        return inodes;
    constexpr QByteArrayView prefix("socket:[");
    char target[64];
    while (const dirent* entry = ::readdir(fds)) {
        const ssize_t size = ::readlinkat(::dirfd(fds), entry->d_name, target, sizeof target);
        if (size <= prefix.size() || size >= qsizetype(sizeof target))
            continue;
        const QByteArrayView link(target, size);
        if (!link.startsWith(prefix) || !link.endsWith(']'))
            continue;
        bool ok = false;
        const quint64 inode = link.sliced(prefix.size(), size - prefix.size() - 1).toULongLong(&ok);
        if (ok)
            inodes.append(inode);
    }
    ::closedir(fds);
    return inodes;
}

} // namespace

QList<SocketEntry> parseProcNetSockets(QByteArrayView content)
{
    QList<SocketEntry> entries;
    bool header = true;
    for (const QByteArray& line : content.toByteArray().split('\n')) {
        if (std::exchange(header, false))
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        // sl local_address rem_address st queues tr retrnsmt uid timeout inode ...
        if (fields.size() < 10)
            continue;
        const QByteArray& local = fields.at(1);
        const qsizetype colon = local.lastIndexOf(':');
        bool portOk = false;
        bool uidOk = false;
        bool inodeOk = false;
        const uint port = colon < 0 ? 0 : local.mid(colon + 1).toUInt(&portOk, 16);
        const uint uid = fields.at(7).toUInt(&uidOk);
        const quint64 inode = fields.at(9).toULongLong(&inodeOk);
        if (!portOk || !uidOk || !inodeOk || port > 0xffff)
            continue;
        entries.append({quint16(port), uid, inode});
    }
    return entries;
}

common::Result<QList<PortHolder>> udpPortHolders(quint16 port, const QString& procRoot)
{
    QHash<quint64, uint> owners; // socket inode -> uid
    bool readable = false;
    int lastError = 0;
    for (const QString& table : {QStringLiteral("/net/udp"), QStringLiteral("/net/udp6")}) {
        QFile file(procRoot + table);
        if (!file.open(QIODevice::ReadOnly)) {
            lastError = errno != 0 ? errno : ENOENT;
            continue;
        }
        readable = true;
        for (const SocketEntry& entry : parseProcNetSockets(file.read(MaxTableBytes))) {
            if (entry.port == port)
                owners.insert(entry.inode, entry.uid);
        }
    }
    if (!readable)
        return common::Status::fromErrno(lastError, procRoot + QStringLiteral("/net/udp"));

    QList<PortHolder> holders;
    if (owners.isEmpty())
        return holders;
    QHash<quint64, uint> unmatched = owners;
    forEachProcess(procRoot, [&](qint64 pid, const QString& folder) {
        bool added = false;
        for (const quint64 inode : socketInodes(folder)) {
            const auto found = unmatched.constFind(inode);
            if (found == unmatched.cend())
                continue;
            if (!std::exchange(added, true))
                holders.append({found.value(), pid, commandName(folder)});
            unmatched.erase(found);
        }
        return !unmatched.isEmpty();
    });
    for (auto it = unmatched.cbegin(); it != unmatched.cend(); ++it)
        holders.append({it.value(), 0, {}});
    return holders;
}

bool processRuns(const QString& name, const QString& procRoot)
{
    bool found = false;
    forEachProcess(procRoot, [&](qint64, const QString& folder) {
        found = commandName(folder) == name;
        return !found;
    });
    return found;
}

} // namespace check
