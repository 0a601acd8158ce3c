#pragma once

#include <QString>
#include <QTime>

namespace chat::core {

/// What the status bar knows about the connection; it only informs and never decides anything.
struct ConnectionStatus
{
    enum class Address { Resolving, Found, NotFound };

    bool connected = false;
    quint16 localPort = 0;
    QString partnerName;
    quint16 partnerPort = 0;
    Address addressState = Address::Resolving;
    QString partnerAddress;          ///< the partner's address as text, when Found
    QTime lastArrival;               ///< time of day the last datagram arrived, invalid before the first
    QString lastStranger;            ///< where the last datagram came from when not from the partner
    bool partnerUnreachable = false; ///< the partner's port answered "port unreachable" to a send
};

/// The single status-bar panel's text for @p status.
QString statusText(const ConnectionStatus& status);

} // namespace chat::core
