#pragma once

#include <QHostAddress>
#include <QTcpSocket>

/// A client that speaks raw bytes to the service from the test's own event loop.
class RawClient final
{
public:
    explicit RawClient(quint16 port, const QHostAddress& host = QHostAddress::LocalHost)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] { received += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, &socket, [this] { closed = true; });
        socket.connectToHost(host, port);
    }
    void send(const QByteArray& bytes) { socket.write(bytes); }

    QTcpSocket socket;
    QByteArray received;
    bool closed = false;
};
