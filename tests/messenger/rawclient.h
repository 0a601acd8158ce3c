#pragma once

#include <QHostAddress>
#include <QTcpSocket>

/// A client that speaks raw bytes to the service from the test's own event loop.
class RawClient final
{
public:
    /// Connects to @p host, from @p from when it is given (another loopback address is another PC).
    explicit RawClient(quint16 port, const QHostAddress& host = QHostAddress::LocalHost,
                       const QHostAddress& from = QHostAddress())
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] { received += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, &socket, [this] { closed = true; });
        if (!from.isNull())
            socket.bind(from);
        socket.connectToHost(host, port);
    }
    void send(const QByteArray& bytes) { socket.write(bytes); }

    QTcpSocket socket;
    QByteArray received;
    bool closed = false;
};
