#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace platform {

class HostResolver;

/// Outcome of a socket operation: a Winsock error code (0 for success) and a Japanese reason.
struct SocketResult
{
    int code = 0;
    QString reason;
    bool ok() const { return code == 0; }
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

    /// Binds LocalPort on all local addresses, IPv4 and IPv6. Fails with 10048, 10013 or another code.
    SocketResult bind();
    /// Closes the socket; datagrams that arrive later are not received.
    void close();

    /**
     * Sends @p text as one datagram of its code page 932 bytes to RemoteHost:RemotePort, from
     * the bound port. Fails with 10014 when the host name cannot be resolved, 10022 when the text
     * has characters without a code page 932 form, 10040 when it exceeds one datagram.
     */
    SocketResult sendData(const QString& text);

    /// The text of the datagram that raised the current dataArrival, decoded from code page 932.
    QString getData() const;
    /// The raw bytes of that datagram.
    QByteArray getBytes() const;

    /// This computer's host name.
    static QString localHostName();

Q_SIGNALS:
    /// Raised once per arrived datagram, however many are pending at a time.
    void dataArrival(qint64 bytesTotal);

private:
    class Private;
    Private* d;
};

} // namespace platform
