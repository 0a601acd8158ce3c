#include "notificationserver.h"

#include "net/hostaddress.h"

#include "net/notificationprotocol.h"

#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <utility>

namespace messenger::service {

namespace {

// The largest frame the protocol allows; nothing beyond it is ever buffered for one connection.
constexpr qint64 MaxFrameSize =
    net::notification::RequestHeaderSize + 2 * net::notification::MaxNameBytes + net::notification::MaxTextBytes;

// How long accepting rests after the system refused a connection. The listening socket stays
// readable meanwhile, so trying again at once would only spin; sessions end within the frame
// timeout and give their descriptors back.
constexpr std::chrono::milliseconds AcceptRetryDelay{100};

// Connections taken in one turn of the event loop. A burst from one address is refused at once,
// but Qt accepts for as long as connections keep coming; without a bound the frames of other
// senders, read only between turns, could wait for as long as the burst lasts.
constexpr int AcceptsPerTurn = 256;
// Connections Qt may accept beyond the turn's share; they wait for the next turn, with their descriptors.
constexpr int MaxUntaken = 16;

} // namespace

/// One accepted connection: reads its frame as the bytes arrive, answers once, then closes.
class Session final : public QObject
{
public:
    Session(NotificationServer& server, QTcpSocket* socket, const QHostAddress& peer)
        : QObject(&server)
        , m_server(server)
        , m_socket(socket)
        , m_peer(peer)
    {
        socket->setParent(this);
        socket->setReadBufferSize(MaxFrameSize);
        // The deadline covers the whole life of the connection, so a peer that never reads our
        // reply or never closes cannot hold a slot either.
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, &Session::drop);
        m_deadline.start(server.m_limits.frameTimeout);
        connect(socket, &QTcpSocket::readyRead, this, &Session::readFrame);
        connect(socket, &QTcpSocket::disconnected, this, &Session::finish);
        readFrame();
    }

private:
    void readFrame()
    {
        if (m_answered || m_finished)
            return;
        m_buffer += m_socket->read(MaxFrameSize - m_buffer.size());
        const net::notification::RequestParse parse = net::notification::parseRequest(m_buffer);
        switch (parse.outcome) {
        case net::notification::RequestParse::Outcome::NeedMore:
            return;
        case net::notification::RequestParse::Outcome::Foreign:
            drop();
            return;
        case net::notification::RequestParse::Outcome::Malformed:
            answer(net::notification::StatusMalformed);
            return;
        case net::notification::RequestParse::Outcome::Complete:
            answer(m_server.handle(parse.request, m_socket->peerAddress()));
            return;
        }
    }

    void answer(quint32 status)
    {
        m_answered = true;
        m_buffer.clear();
        m_socket->write(net::notification::encodeReply(status));
        // Written now where the system takes it, so that the close below can free the descriptor at
        // once; otherwise it closes once the reply is written, and disconnected() ends the session.
        m_socket->flush();
        m_socket->disconnectFromHost();
    }

    void drop()
    {
        m_socket->abort();
        finish();
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_deadline.stop();
        m_server.sessionFinished(m_peer);
        deleteLater();
    }

    NotificationServer& m_server;
    QTcpSocket* m_socket;
    QHostAddress m_peer;
    QTimer m_deadline;
    QByteArray m_buffer;
    bool m_answered = false;
    bool m_finished = false;
};

NotificationServer::NotificationServer(Presenter& presenter, quint16 port, ServerLimits limits, common::Clock clock,
                                       QObject* parent)
    : QObject(parent)
    , m_presenter(presenter)
    , m_port(port)
    , m_limits(limits)
    , m_clock(std::move(clock))
    , m_rateLimiter(limits.maxPerSender, limits.senderWindow)
{
    // Connections are taken as they come; the limits are applied to each one in acceptPending().
    // Qt accepts until the system has no more or this many wait untaken, so leaving some untaken
    // ends its accepting for this turn of the event loop.
    m_server.setMaxPendingConnections(MaxUntaken);
    connect(&m_server, &QTcpServer::newConnection, this, &NotificationServer::acceptPending);
    m_nextTurn.setSingleShot(true);
    m_nextTurn.setInterval(0);
    connect(&m_nextTurn, &QTimer::timeout, this, [this] {
        m_takenThisTurn = 0;
        acceptPending();
    });
    connect(&m_server, &QTcpServer::acceptError, this, &NotificationServer::acceptFailed);
    m_resumeAccepting.setSingleShot(true);
    m_resumeAccepting.setInterval(AcceptRetryDelay);
    connect(&m_resumeAccepting, &QTimer::timeout, this, [this] { m_server.resumeAccepting(); });
}

NotificationServer::~NotificationServer() = default;

common::Status NotificationServer::listen()
{
    // Room for a burst of connection requests: Qt's default backlog of 50 drops them, and the
    // senders would wait for a reply that never comes.
    m_server.setListenBacklogSize(1024);
    // The dual-stack address: IPv6 and IPv4 on one socket (IPv4 alone where IPv6 is not available).
    if (m_server.listen(QHostAddress::Any, m_port))
        return {};
    // Qt keeps the kind of failure, not the errno; these are the errnos behind its kinds.
    switch (m_server.serverError()) {
    case QAbstractSocket::AddressInUseError:
        return common::Status::fromSocketErrno(EADDRINUSE);
    case QAbstractSocket::SocketAccessError:
        return common::Status::fromSocketErrno(EACCES);
    case QAbstractSocket::SocketResourceError:
        return common::Status::fromSocketErrno(EMFILE);
    case QAbstractSocket::SocketAddressNotAvailableError:
        return common::Status::fromSocketErrno(EADDRNOTAVAIL);
    case QAbstractSocket::UnsupportedSocketOperationError:
        return common::Status::fromSocketErrno(EAFNOSUPPORT);
    default:
        return common::Status::fromSocketErrno(EIO);
    }
}

quint16 NotificationServer::port() const
{
    return m_server.isListening() ? m_server.serverPort() : m_port;
}

void NotificationServer::acceptPending()
{
    // Beyond the turn's share, connections are left pending: Qt stops accepting once MaxUntaken
    // wait, and the next turn takes them.
    while (m_takenThisTurn < AcceptsPerTurn) {
        QTcpSocket* socket = m_server.nextPendingConnection();
        if (!socket)
            break;
        ++m_takenThisTurn;
        m_acceptingPaused = false;
        if (!m_nextTurn.isActive())
            m_nextTurn.start();
        const QHostAddress peer = net::plainAddress(socket->peerAddress());
        int& fromPeer = m_openPerAddress[peer];
        if (m_open >= m_limits.maxConnections || fromPeer >= m_limits.maxConnectionsPerAddress) {
            if (fromPeer == 0)
                m_openPerAddress.remove(peer);
            refuseBusy(socket);
            continue;
        }
        ++m_open;
        ++fromPeer;
        new Session(*this, socket, peer);
    }
}

void NotificationServer::acceptFailed(QAbstractSocket::SocketError /*error*/)
{
    // Qt has paused accepting (EMFILE, ENFILE, ENOBUFS, ENOMEM and the like) and would never
    // resume by itself: every later sender would wait for nothing until a restart.
    m_resumeAccepting.start();
    if (!std::exchange(m_acceptingPaused, true))
        Q_EMIT acceptingPaused(m_server.errorString());
}

void NotificationServer::sessionFinished(const QHostAddress& peer)
{
    --m_open;
    const auto it = m_openPerAddress.find(peer);
    if (it != m_openPerAddress.end() && --it.value() <= 0)
        m_openPerAddress.erase(it);
}

void NotificationServer::refuseBusy(QTcpSocket* socket)
{
    // Answered without reading anything: the reply goes out at once and the socket closes after it,
    // so a burst of refused connections never piles up descriptors. The deadline only guards
    // against a close that never completes.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(m_limits.frameTimeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->write(net::notification::encodeReply(net::notification::StatusRefused));
    socket->flush();
    socket->disconnectFromHost();
}

quint32 NotificationServer::handle(const net::notification::Request& request, const QHostAddress& from)
{
    // A message refused for lack of room does not count against its sender's rate.
    if (!m_presenter.hasRoom() || !m_rateLimiter.admit(from, RateLimiter::Clock::now()))
        return net::notification::StatusRefused;
    const Notification notification{request.sender, net::plainAddress(from), request.recipient, request.text,
                                    m_clock()};
    return m_presenter.present(notification) ? net::notification::StatusShown : net::notification::StatusNoDisplay;
}

} // namespace messenger::service
