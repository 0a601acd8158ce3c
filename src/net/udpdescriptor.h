#pragma once

#include "common/status.h"

#include <QByteArrayView>
#include <QHostAddress>
#include <QList>

#include <memory>

#include <sys/socket.h>

namespace net::detail {

/// Where a datagram came from.
struct Endpoint
{
    QHostAddress address; ///< IPv4 as IPv4, not IPv4-mapped; null when not known
    quint16 port = 0;
};

/**
 * Errors that an ICMP message for an earlier datagram can leave pending on the socket: a send or a
 * receive fails with one of them once, and the next attempt goes through.
 */
bool isDeferredIcmpError(int error);

/// A datagram we sent that the destination refused (ICMP port unreachable).
struct Refusal
{
    QHostAddress address; ///< the destination we sent to; IPv4 as IPv4, not IPv4-mapped
    quint16 port = 0;
};

/**
 * A non-blocking UDP socket descriptor bound to one port on all local addresses: IPv6 with IPv4
 * mapped in (dual stack), or IPv4 alone where the system has no IPv6.
 *
 * The socket asks for the kernel's error queue (IP_RECVERR, IPV6_RECVERR) so that refusals of
 * what we sent become visible although the socket stays unconnected and hears every sender.
 */
class UdpDescriptor final
{
public:
    UdpDescriptor() = default;
    ~UdpDescriptor();
    UdpDescriptor(const UdpDescriptor&) = delete;
    UdpDescriptor& operator=(const UdpDescriptor&) = delete;

    /// Opens and binds @p port (0: any free port) without address sharing.
    common::Status open(quint16 port);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    /// The bound port, as the system assigned it.
    quint16 port() const { return m_port; }
    /// Whether IPv6 destinations can be reached from this socket.
    bool hasIpv6() const { return m_ipv6; }

    /**
     * Sends @p payload as one datagram. An error that an earlier ICMP message left pending on the
     * socket fails a send on Linux without sending; such a send is repeated, so that a refusal
     * never costs a later datagram. A full send buffer is waited for briefly.
     */
    common::Status sendTo(const QHostAddress& address, quint16 port, QByteArrayView payload);

    /// Appends the refusals waiting in the error queue to @p refusals and empties the queue.
    void takeRefusals(QList<Refusal>& refusals);

private:
    int m_fd = -1;
    quint16 m_port = 0;
    bool m_ipv6 = false;
};

/**
 * Receives datagrams in batches (recvmmsg) into storage that is allocated once, so that the arrival
 * path does no allocation per datagram. A datagram's bytes stay valid until the next receive().
 */
class ReceiveBatch final
{
public:
    static constexpr int Slots = 32;
    static constexpr qsizetype SlotSize = 65536; // the largest UDP payload fits

    ReceiveBatch();
    ~ReceiveBatch();
    ReceiveBatch(const ReceiveBatch&) = delete;
    ReceiveBatch& operator=(const ReceiveBatch&) = delete;

    /// Reads up to Slots pending datagrams from @p fd: their number (0: none pending), or why not.
    common::Result<int> receive(int fd);
    QByteArrayView datagram(int index) const;
    /// The sender of datagram @p index. Made only when asked, so the arrival path itself allocates nothing.
    Endpoint source(int index) const;

private:
    std::unique_ptr<char[]> m_storage;
    std::unique_ptr<sockaddr_storage[]> m_sources;
    std::unique_ptr<mmsghdr[]> m_headers;
    std::unique_ptr<iovec[]> m_vectors;
};

} // namespace net::detail
