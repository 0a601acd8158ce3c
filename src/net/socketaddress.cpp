#include "socketaddress.h"

#include <cstring>

#include <net/if.h>
#include <netinet/in.h>

namespace net::detail {

bool socketAddress(const QHostAddress& address, quint16 port, bool ipv6Socket, sockaddr_storage& storage,
                   socklen_t& length)
{
    std::memset(&storage, 0, sizeof storage);
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4 && !ipv6Socket) {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        in.sin_addr.s_addr = htonl(ipv4);
        std::memcpy(&storage, &in, sizeof in);
        length = sizeof in;
        return true;
    }
    if (!ipv6Socket || (!isIpv4 && address.protocol() != QAbstractSocket::IPv6Protocol))
        return false;
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(port);
    if (isIpv4) {
        // An IPv4 destination goes out of the dual-stack socket as an IPv4-mapped address.
        in6.sin6_addr.s6_addr[10] = 0xff;
        in6.sin6_addr.s6_addr[11] = 0xff;
        const quint32 network = htonl(ipv4);
        std::memcpy(&in6.sin6_addr.s6_addr[12], &network, sizeof network);
    } else {
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(in6.sin6_addr.s6_addr, bytes.c, sizeof bytes.c);
    }
    if (!isIpv4 && !address.scopeId().isEmpty()) {
        const QByteArray scope = address.scopeId().toLatin1();
        unsigned index = if_nametoindex(scope.constData());
        if (index == 0) {
            bool numeric = false;
            index = address.scopeId().toUInt(&numeric);
        }
        in6.sin6_scope_id = index;
    }
    std::memcpy(&storage, &in6, sizeof in6);
    length = sizeof in6;
    return true;
}

Endpoint endpointFrom(const sockaddr_storage& storage)
{
    Endpoint endpoint;
    if (storage.ss_family == AF_INET) {
        sockaddr_in in{};
        std::memcpy(&in, &storage, sizeof in);
        endpoint.address = QHostAddress(ntohl(in.sin_addr.s_addr));
        endpoint.port = ntohs(in.sin_port);
    } else if (storage.ss_family == AF_INET6) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, &storage, sizeof in6);
        endpoint.address = QHostAddress(in6.sin6_addr.s6_addr);
        bool isIpv4 = false;
        const quint32 ipv4 = endpoint.address.toIPv4Address(&isIpv4);
        if (isIpv4)
            endpoint.address = QHostAddress(ipv4);
        else if (in6.sin6_scope_id != 0)
            endpoint.address.setScopeId(QString::number(in6.sin6_scope_id));
        endpoint.port = ntohs(in6.sin6_port);
    }
    return endpoint;
}

} // namespace net::detail
