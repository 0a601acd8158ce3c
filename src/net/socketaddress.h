#pragma once

#include "net/udpdescriptor.h"

#include <QHostAddress>

#include <sys/socket.h>

namespace net::detail {

/**
 * The socket address of @p address:@p port for a socket of the given family (@p ipv6Socket: an IPv6
 * socket, to which an IPv4 address is given IPv4-mapped); an IPv6 scope is taken by interface name
 * or number. @return false when the address cannot be reached from such a socket.
 */
bool socketAddress(const QHostAddress& address, quint16 port, bool ipv6Socket, sockaddr_storage& storage,
                   socklen_t& length);

/// The address in @p storage: IPv4-mapped IPv6 turned back into IPv4, as IPv4 peers know themselves.
Endpoint endpointFrom(const sockaddr_storage& storage);

} // namespace net::detail
