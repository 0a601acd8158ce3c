#pragma once

#include <QHostAddress>
#include <QList>

namespace net {

/**
 * @p address in the form two addresses of one sender compare equal: an IPv4-mapped IPv6 address
 * as the IPv4 address it carries, an IPv6 address without its scope.
 */
QHostAddress plainAddress(const QHostAddress& address);

/**
 * @p addresses in the order a name's addresses are tried: IPv4 first, each address once,
 * IPv4-mapped IPv6 addresses as the IPv4 address they carry (IPv6 scopes kept); what is neither
 * IPv4 nor IPv6 is left out.
 */
QList<QHostAddress> ipv4First(const QList<QHostAddress>& addresses);

} // namespace net
