#pragma once

#include "common/status.h"

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <optional>

namespace net {

class HostResolver;

/// The largest payload of one datagram: 65,535 minus the IPv4 and UDP headers. IPv6 could carry
/// more; the same limit on both keeps what can be sent the same whichever way it goes.
inline constexpr qsizetype MaxDatagramBytes = 65507;

/// A "port unreachable" that came back for a datagram we sent: where it was sent, and when.
struct PortUnreachableNotice
{
    QHostAddress address;
    quint16 port = 0;
    QDateTime time;
};

/**
 * The chat's UDP socket, with the surface of the Windows socket control it stands in for:
 * State, Protocol, RemoteHost, RemotePort, LocalPort, Bind, SendData, GetData, LocalHostName
 * and one dataArrival signal per datagram. Text is code page 932 on the wire.
 */
class DatagramSocket final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DatagramSocket)

public:
    enum State : int { Closed = 0, Open = 1 };
    enum Protocol : int { Tcp = 0, Udp = 1 };

    /// @p resolver resolves RemoteHost for every send; nullptr uses HostResolver::shared().
    explicit DatagramSocket(QObject* parent = nullptr, HostResolver* resolver = nullptr);
    ~DatagramSocket() override;

    int state() const;
    Protocol protocol() const;
    void setProtocol(Protocol protocol);
    QString remoteHost() const;
    void setRemoteHost(const QString& host);
    quint16 remotePort() const;
    void setRemotePort(quint16 port);
    quint16 localPort() const;
    void setLocalPort(quint16 port);

    /**
     * Binds LocalPort on all local addresses, IPv4 and IPv6, without sharing the port. A failed
     * system call (EADDRINUSE, EACCES, …) leaves the socket closed; WrongState when it is already
     * bound, Unsupported when Protocol is not UDP. A LocalPort of 0 takes a free port, which
     * LocalPort reports afterwards. winsockCode() gives the control's code for each failure.
     */
    common::Status bind();
    /// Closes the socket; datagrams that arrive later are not received.
    void close();

    /**
     * Sends @p text as one datagram of its code page 932 bytes to RemoteHost:RemotePort, from
     * the bound port. Fails with the resolver's status when the host name cannot be resolved,
     * Unencodable (detail: the first characters) when the text has characters without a code
     * page 932 form, TooLarge (detail: the byte count) when it exceeds MaxDatagramBytes,
     * WrongState when the socket is not bound; nothing is sent then. Blocks at most the
     * resolver's budget.
     */
    common::Status sendData(const QString& text);

    /// The text of the datagram that raised the current dataArrival, decoded from code page 932;
    /// empty outside a dataArrival handler.
    QString getData() const;
    /// The address that datagram came from, an IPv4-mapped IPv6 one as IPv4; null outside a
    /// dataArrival handler.
    QHostAddress sourceAddress() const;
    /// The port that datagram came from; 0 outside a dataArrival handler.
    quint16 sourcePort() const;

    /// The last portUnreachable this socket reported, kept across close and bind; none before the first.
    std::optional<PortUnreachableNotice> lastPortUnreachable() const;

    /// This computer's host name, as the system reported it at most a second ago.
    static QString localHostName();

Q_SIGNALS:
    /**
     * Raised once per arrived datagram, however many are pending at a time, in arrival order.
     * A handler that runs a nested event loop gets no second emission before it returns; one
     * that closes the socket ends the delivery, and datagrams not yet delivered are dropped.
     */
    void dataArrival(qint64 bytesTotal);

    /**
     * A datagram we sent to @p address:@p port was refused: nothing listens there (ICMP port
     * unreachable). For diagnostics only; it changes nothing that is sent or received.
     */
    void portUnreachable(const QHostAddress& address, quint16 port);

private:
    class Private;
    Private* d;
};

} // namespace net
