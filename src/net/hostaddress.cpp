#include "hostaddress.h"

namespace net {

QHostAddress plainAddress(const QHostAddress& address)
{
    bool isMappedIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isMappedIpv4);
    if (isMappedIpv4)
        return QHostAddress(ipv4);
    QHostAddress plain = address;
    plain.setScopeId(QString());
    return plain;
}

QList<QHostAddress> ipv4First(const QList<QHostAddress>& addresses)
{
    QList<QHostAddress> v4;
    QList<QHostAddress> v6;
    for (const QHostAddress& address : addresses) {
        bool isIpv4 = false;
        const quint32 ipv4 = address.toIPv4Address(&isIpv4);
        if (isIpv4) {
            const QHostAddress plain(ipv4);
            if (!v4.contains(plain))
                v4.append(plain);
        } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            if (!v6.contains(address))
                v6.append(address);
        }
    }
    return v4 + v6;
}

} // namespace net
