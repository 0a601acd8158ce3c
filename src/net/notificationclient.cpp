#include "notificationclient.h"

#include "hostresolver.h"
#include "net/notificationprotocol.h"

#include <QDeadlineTimer>
#include <QHostInfo>
#include <QTcpSocket>

#include <algorithm>

// The call blocks the calling (UI) thread on purpose and uses the socket's blocking API with one
// deadline for everything. A local event loop would keep the window painting, but it would also
// deliver timers and the chat socket's datagrams in the middle of the caller's handler, which the
// chat logic does not expect: each of its handlers runs to its end before the next event.

namespace net {

NotificationClient::NotificationClient(HostResolver* resolver, quint16 port, std::chrono::milliseconds timeout)
    : m_resolver(resolver)
    , m_port(port)
    , m_timeout(timeout)
{}

NotificationClient::~NotificationClient() = default;

quint32 NotificationClient::send(const QString& recipient, const QString& text)
{
    const QDeadlineTimer deadline(m_timeout);

    // A text (or name) too long for one frame is refused whole rather than cut: the caller learns
    // that it was not delivered instead of the partner reading part of it.
    const auto frame = net::notification::encodeRequest({QHostInfo::localHostName(), recipient, text});
    if (!frame)
        return net::notification::StatusMalformed;

    HostResolver& resolver = m_resolver ? *m_resolver : HostResolver::shared();
    // IPv4 first, as the resolver hands every answer.
    const QList<QHostAddress> addresses = resolver.resolve(recipient).addresses;

    // Each address gets an equal share of the time left, so that one that never answers cannot use
    // up the time of the ones after it.
    QTcpSocket socket;
    bool connected = false;
    for (qsizetype i = 0; i < addresses.size() && !connected; ++i) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            break;
        socket.connectToHost(addresses.at(i), m_port);
        connected = socket.waitForConnected(int(std::max<qint64>(1, left / (addresses.size() - i))));
        if (!connected)
            socket.abort();
    }
    if (!connected)
        return NameNotFound;

    socket.write(*frame);
    QByteArray reply;
    while (reply.size() < net::notification::ReplySize) {
        reply += socket.read(net::notification::ReplySize - reply.size());
        if (reply.size() == net::notification::ReplySize)
            break;
        const qint64 left = deadline.remainingTime();
        // waitForReadyRead also writes out the request while it waits.
        if (left <= 0 || !socket.waitForReadyRead(int(left))) {
            reply += socket.read(net::notification::ReplySize - reply.size());
            break;
        }
    }
    socket.abort();

    // No reply in time, or something that is not the service: nobody there to show the message.
    return net::notification::parseReply(reply).value_or(NameNotFound);
}

} // namespace net
