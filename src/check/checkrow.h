#pragma once

#include "common/status.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

namespace check {

/// Words a failure of the network layer in Japanese: the program passes the one its windows use.
using ErrorText = std::function<QString(const common::Status& status)>;

/// What the connection check looks at, in the order it reports them.
enum class Item {
    ThisPc,          ///< this PC's name and addresses, and the address a datagram to the partner leaves from
    LocalPort,       ///< the role's own UDP port can be opened
    LocalService,    ///< the notification service runs here
    Avahi,           ///< the Avahi daemon runs (computer browser)
    NameResolution,  ///< the partner's name resolves: through what, to which addresses, how fast
    PartnerService,  ///< the partner's notification service accepts a connection
    PortUnreachable, ///< the last "port unreachable" the chat socket received from the partner
    Firewall,        ///< this PC's firewall, where it can be read
};
inline constexpr int ItemCount = 8;

/// The outcome of one item.
enum class Mark {
    Pending,   ///< still being checked
    Passed,    ///< ○
    Failed,    ///< ×
    NotJudged, ///< － nothing to judge, or it cannot be read without privileges; not a failure
};

/// One line of the report: the mark, what was found, and for a failure one sentence of remedy.
struct Row
{
    Mark mark = Mark::Pending;
    QString finding;
    QString remedy;
};

/// The item's short Japanese title, as the report and the window show it.
QString itemTitle(Item item);

/// The mark as one character: ○, ×, － (or … while pending).
QString markText(Mark mark);

/// One line for @p row of @p item: mark, title, finding and remedy, never a line break in it.
QString reportLine(Item item, const Row& row);

/// @p addresses as a list for a finding: "192.168.1.20、fe80::1".
QString addressList(const QList<QHostAddress>& addresses);

/// The most characters of a finding or remedy that are shown; the rest is cut off with "…".
inline constexpr qsizetype MaxShownCharacters = 500;

/**
 * @p text, which may hold what came from outside (a typed name, a process name, a system's message),
 * as a row shows it: control characters made visible and at most MaxShownCharacters, so that it
 * cannot break the one line per item, and a pasted text as the partner's name cannot fill the window.
 */
QString shownText(const QString& text);

/// Whether no row failed (rows not judged count as passed; pending ones do not).
bool allPassed(const QList<Row>& rows);

} // namespace check
