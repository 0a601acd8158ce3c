#pragma once

#include "check/checkrow.h"
#include "common/status.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <optional>

namespace check {

/// This PC as the partner would see it, and the way out to the partner.
struct ThisPcFacts
{
    QString hostName;
    QList<QHostAddress> addresses;       ///< of the interfaces that are up, loopback and IPv6 link-local left out
    std::optional<QHostAddress> partner; ///< the partner address the way out was asked for; none when unknown
    common::Result<QHostAddress> source = QHostAddress(); ///< the local address a datagram to it leaves from
    QString interfaceName;                                ///< the interface that holds the source address
};

/// This computer's addresses on the interfaces that are up, without loopback and IPv6 link-local ones.
QList<QHostAddress> localAddresses();

/**
 * The local address a datagram to @p destination:@p port would leave from, as the system's routing
 * chooses it: a UDP socket is connected (which sends nothing) and asked for its own address.
 */
common::Result<QHostAddress> sourceAddressFor(const QHostAddress& destination, quint16 port);

/// The name of the interface that holds @p address, or an empty text.
QString interfaceOf(const QHostAddress& address);

/// The row: the name and addresses, and which address the partner is reached from (failed when none,
/// with why in @p errorText's words).
Row thisPcRow(const ThisPcFacts& facts, const ErrorText& errorText);

} // namespace check
