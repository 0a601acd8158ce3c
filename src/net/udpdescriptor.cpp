#include "udpdescriptor.h"

#include "socketaddress.h"

#include <QByteArray>

#include <cerrno>
#include <cstring>

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

namespace net::detail {

namespace {

// Enough for a burst of datagrams; the kernel caps it at net.core.rmem_max unless we may force it.
constexpr int ReceiveBufferBytes = 4 * 1024 * 1024;
// How often a send is repeated: after an error that an ICMP message left behind, or a full buffer.
constexpr int SendAttempts = 4;
constexpr int FullBufferWaitMs = 200;

} // namespace

bool isDeferredIcmpError(int error)
{
    switch (error) {
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENONET:
    case EPROTO:
    case EMSGSIZE:
    case ECONNRESET:
        return true;
    default:
        return false;
    }
}

namespace {

/// The destination in @p storage as we sent to it.
Refusal refusalFrom(const sockaddr_storage& storage)
{
    const Endpoint endpoint = endpointFrom(storage);
    return {endpoint.address, endpoint.port};
}

} // namespace

UdpDescriptor::~UdpDescriptor()
{
    close();
}

common::Status UdpDescriptor::open(quint16 port)
{
    close();
    bool ipv6 = true;
    int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 && errno == EAFNOSUPPORT) {
        ipv6 = false;
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    }
    if (fd < 0)
        return common::Status::fromSocketErrno(errno);

    const int on = 1;
    const int off = 0;
    auto fail = [fd](int error) {
        ::close(fd);
        return common::Status::fromSocketErrno(error);
    };
    // Dual stack whatever net.ipv6.bindv6only says: IPv4 partners must reach the same port.
    if (ipv6 && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0)
        return fail(errno);
    // The error queue only serves diagnostics; a system without it still sends and receives.
    ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    if (ipv6)
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
    const int bufferBytes = ReceiveBufferBytes;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bufferBytes, sizeof bufferBytes) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);

    // No SO_REUSEADDR: a port another program holds must fail with EADDRINUSE.
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (ipv6) {
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_port = htons(port);
        any.sin6_addr = in6addr_any;
        std::memcpy(&storage, &any, sizeof any);
        length = sizeof any;
    } else {
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(port);
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        std::memcpy(&storage, &any, sizeof any);
        length = sizeof any;
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0)
        return fail(errno);
    length = sizeof storage;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return fail(errno);
    m_port = refusalFrom(storage).port;
    m_fd = fd;
    m_ipv6 = ipv6;
    return {};
}

void UdpDescriptor::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_port = 0;
    m_ipv6 = false;
}

common::Status UdpDescriptor::sendTo(const QHostAddress& address, quint16 port, QByteArrayView payload)
{
    if (m_fd < 0)
        return common::Status::fromSocketErrno(EBADF);
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (!socketAddress(address, port, m_ipv6, storage, length))
        return common::Status::fromSocketErrno(EAFNOSUPPORT);
    int error = 0;
    for (int attempt = 0; attempt < SendAttempts;) {
        const ssize_t sent = ::sendto(m_fd, payload.data(), static_cast<size_t>(payload.size()), MSG_NOSIGNAL,
                                      reinterpret_cast<const sockaddr*>(&storage), length);
        if (sent >= 0)
            return {};
        error = errno;
        if (error == EINTR)
            continue;
        ++attempt;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            pollfd writable{m_fd, POLLOUT, 0};
            ::poll(&writable, 1, FullBufferWaitMs);
            continue;
        }
        // The failed call has taken the pending error off the socket; the datagram itself was
        // not sent, so it goes again. A real failure of this send fails again and is reported.
        if (!isDeferredIcmpError(error))
            break;
    }
    return common::Status::fromSocketErrno(error);
}

void UdpDescriptor::takeRefusals(QList<Refusal>& refusals)
{
    if (m_fd < 0)
        return;
    // Bounded so that a flood of errors cannot hold the caller; the rest waits for the next call.
    for (int round = 0; round < 256; ++round) {
        sockaddr_storage destination{};
        char payload[64];
        alignas(cmsghdr) char control[512];
        iovec vector{payload, sizeof payload};
        msghdr message{};
        message.msg_name = &destination;
        message.msg_namelen = sizeof destination;
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (::recvmsg(m_fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
            const bool ipv4Error = header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_RECVERR;
            const bool ipv6Error = header->cmsg_level == IPPROTO_IPV6 && header->cmsg_type == IPV6_RECVERR;
            if (!ipv4Error && !ipv6Error)
                continue;
            sock_extended_err extended{};
            std::memcpy(&extended, CMSG_DATA(header), sizeof extended);
            if (extended.ee_errno == ECONNREFUSED &&
                (extended.ee_origin == SO_EE_ORIGIN_ICMP || extended.ee_origin == SO_EE_ORIGIN_ICMP6))
                refusals.append(refusalFrom(destination));
        }
    }
}

ReceiveBatch::ReceiveBatch() = default;
ReceiveBatch::~ReceiveBatch() = default;

common::Result<int> ReceiveBatch::receive(int fd)
{
    if (!m_storage) {
        // Pages of the storage become resident only as datagrams are written into them.
        m_storage = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(Slots * SlotSize));
        m_sources = std::make_unique<sockaddr_storage[]>(Slots);
        m_headers = std::make_unique<mmsghdr[]>(Slots);
        m_vectors = std::make_unique<iovec[]>(Slots);
        for (int i = 0; i < Slots; ++i) {
            m_vectors[i] = iovec{m_storage.get() + i * SlotSize, static_cast<size_t>(SlotSize)};
            m_headers[i] = mmsghdr{};
            m_headers[i].msg_hdr.msg_iov = &m_vectors[i];
            m_headers[i].msg_hdr.msg_iovlen = 1;
            m_headers[i].msg_hdr.msg_name = &m_sources[i];
        }
    }
    // The system shortens each name length to the sender's address; a full one again for every receive.
    for (int i = 0; i < Slots; ++i)
        m_headers[i].msg_hdr.msg_namelen = sizeof(sockaddr_storage);
    int count = 0;
    do {
        count = ::recvmmsg(fd, m_headers.get(), Slots, MSG_DONTWAIT, nullptr);
    } while (count < 0 && errno == EINTR);
    if (count >= 0)
        return count;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        return 0;
    return common::Status::fromSocketErrno(errno);
}

QByteArrayView ReceiveBatch::datagram(int index) const
{
    const qsizetype length = std::min<qsizetype>(m_headers[index].msg_len, SlotSize);
    return QByteArrayView(m_storage.get() + index * SlotSize, length);
}

Endpoint ReceiveBatch::source(int index) const
{
    if (m_headers[index].msg_hdr.msg_namelen == 0)
        return {};
    return endpointFrom(m_sources[index]);
}

} // namespace net::detail
