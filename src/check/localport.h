#pragma once

#include "check/checkrow.h"
#include "check/procsockets.h"

#include <QByteArrayView>

namespace check {

/// What decides whether this program can open its own UDP port.
struct LocalPortFacts
{
    quint16 port = 0;
    bool permitted = false; ///< the capability is there, or the port needs none
    common::Result<QList<PortHolder>> holders = QList<PortHolder>();
};

/// Whether the effective capability set in the content of /proc/PID/status holds @p capability.
bool hasEffectiveCapability(QByteArrayView status, int capability);

/// Reads the facts for @p port from /proc under @p procRoot: this process's capabilities, the
/// lowest port that needs none, and who holds the port. Reads files only; call it off the UI thread.
LocalPortFacts readLocalPortFacts(quint16 port, const QString& procRoot = QStringLiteral("/proc"));

/**
 * The row for the own port: failed when another program holds it (named when it is the same
 * user's) or when the program may not open it (@p programPath is the file the remedy's setcap
 * names); passed when it is free or held by this process (@p ownPid), i.e. the window is connected.
 */
Row localPortRow(const LocalPortFacts& facts, qint64 ownPid, const QString& programPath);

} // namespace check
