#pragma once

#include "chat/core/chatrules.h"
#include "check/checkrow.h"
#include "net/datagramsocket.h"

#include <optional>

namespace check {

/// What the chat socket has heard back; nothing when the check runs without the chat window.
struct ChatSocketReport
{
    bool available = false; ///< whether the chat socket was asked at all
    std::optional<net::PortUnreachableNotice> lastPortUnreachable;
};

/**
 * The row for the last "port unreachable": failed when it came from the partner (one of
 * @p partnerAddresses at the port @p ownRole sends to), which means that the partner's program
 * does not hold its port; passed when there is none from the partner. The chat port itself is
 * never probed here: any datagram would show on the partner's list.
 */
Row portUnreachableRow(const ChatSocketReport& socket, const QList<QHostAddress>& partnerAddresses,
                       chat::core::Role ownRole);

} // namespace check
