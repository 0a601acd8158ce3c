#pragma once

#include <QByteArray>

#include <algorithm>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace loadtest {

/**
 * Sends @p payloads from 127.0.0.1:@p fromPort (the partner's port, as the window only takes the
 * partner's datagrams as the partner's) to 127.0.0.1:@p port, each one datagram, as fast as
 * sendmmsg lets a single thread. A @p sendBufferBytes above 0 forces the socket's send buffer to
 * that size first (root only), so that a whole flood can be queued at once. @return how many the
 * system accepted; 0 when @p fromPort cannot be bound.
 */
inline int sendToLoopback(const std::vector<QByteArray>& payloads, quint16 port, quint16 fromPort,
                          int sendBufferBytes = 0)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return 0;
    if (sendBufferBytes > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &sendBufferBytes, sizeof sendBufferBytes);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_port = htons(fromPort);
    from.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) {
        ::close(fd);
        return 0;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    constexpr std::size_t Batch = 64;
    std::vector<mmsghdr> headers(Batch);
    std::vector<iovec> vectors(Batch);
    int sent = 0;
    for (std::size_t start = 0; start < payloads.size(); start += Batch) {
        const std::size_t count = std::min(Batch, payloads.size() - start);
        for (std::size_t i = 0; i < count; ++i) {
            const QByteArray& payload = payloads[start + i];
            vectors[i] = {const_cast<char*>(payload.constData()), std::size_t(payload.size())};
            headers[i] = {};
            headers[i].msg_hdr.msg_name = &to;
            headers[i].msg_hdr.msg_namelen = sizeof to;
            headers[i].msg_hdr.msg_iov = &vectors[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        std::size_t done = 0;
        while (done < count) {
            const int n = ::sendmmsg(fd, headers.data() + done, unsigned(count - done), 0);
            if (n <= 0)
                break;
            done += std::size_t(n);
        }
        sent += int(done);
        if (done < count)
            break;
    }
    ::close(fd);
    return sent;
}

} // namespace loadtest
