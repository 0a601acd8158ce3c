#pragma once

#include "common/status.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

namespace check {

/// One socket of /proc/net/udp or udp6: its local port, owner and inode.
struct SocketEntry
{
    quint16 port = 0;
    uint uid = 0;
    quint64 inode = 0;
};

/// The sockets listed in the content of /proc/net/udp or udp6; lines that do not parse are skipped.
QList<SocketEntry> parseProcNetSockets(QByteArrayView content);

/// A program that holds a UDP port.
struct PortHolder
{
    uint uid = 0;
    qint64 pid = 0;  ///< 0 when the process cannot be found (another user's, or already gone)
    QString program; ///< its name (comm), empty when pid is 0
};

/**
 * Who holds UDP @p port on any address, IPv4 or IPv6, as /proc under @p procRoot lists it. The
 * processes are found through their descriptors, which only the same user (or root) can read.
 * Fails only when neither socket table can be read.
 */
common::Result<QList<PortHolder>> udpPortHolders(quint16 port, const QString& procRoot = QStringLiteral("/proc"));

/// Whether a process whose name (comm) is @p name runs, as /proc under @p procRoot lists it.
bool processRuns(const QString& name, const QString& procRoot = QStringLiteral("/proc"));

} // namespace check
