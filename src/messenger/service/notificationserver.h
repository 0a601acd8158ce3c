#pragma once

#include "common/datetimetext.h"
#include "common/status.h"
#include "messenger/service/presenter.h"
#include "messenger/service/ratelimiter.h"

#include <QAbstractSocket>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <chrono>
#include <optional>

class QTcpSocket;

namespace net::notification {
struct Request;
} // namespace net::notification

namespace messenger::service {

/// What the service accepts at most.
struct ServerLimits
{
    int maxConnections = 8;                            ///< open at once; further ones are answered 2136
    int maxConnectionsPerAddress = 2;                  ///< open at once from one address, within maxConnections
    std::chrono::milliseconds frameTimeout{3000};      ///< to deliver a whole frame, from the connect
    int maxPerSender = 5;                              ///< pop-ups from one address within the window
    std::chrono::milliseconds senderWindow{60 * 1000}; ///< the rate limit's sliding window
};

/// Why the service could not start listening.
/**
 * The notification service: accepts one message per TCP connection on all local addresses (IPv4
 * and IPv6), hands each well-formed one to the presenter and answers with a status. It only ever
 * shows what it receives; nothing a message names is run or opened.
 *
 * Each connection must deliver its whole frame within the frame timeout, or it is closed. A frame
 * that is not in this protocol at all is dropped without a reply; a malformed or oversized one is
 * answered 87. Beyond the connection limit, or beyond the limit for its address, a new connection
 * is answered 2136 at once and closed, so that its sender learns that the service is busy instead
 * of waiting for nothing, and so that one address cannot take every slot. A sender address over its
 * rate limit is answered 2136 and its message is shown nowhere.
 *
 * When the system refuses to accept a connection (out of descriptors, memory or buffers), Qt stops
 * accepting; the service tries again shortly after, so it never stays deaf.
 */
class NotificationServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NotificationServer)

public:
    /// @p port 0 lets the system choose one (tests); @p clock gives each message's arrival time.
    NotificationServer(Presenter& presenter, quint16 port, ServerLimits limits = {},
                       common::Clock clock = common::systemClock(), QObject* parent = nullptr);
    ~NotificationServer() override;

    /// Starts listening; fails with the socket's errno (EADDRINUSE when another copy holds the port).
    common::Status listen();

    /// The port listened on (the chosen one when constructed with 0).
    quint16 port() const;

    /// Connections being read or answered now, not counting those refused as over the limit.
    int openConnections() const { return m_open; }

Q_SIGNALS:
    /**
     * The system refused to hand over a connection (no descriptor left, no memory): accepting
     * pauses and is tried again shortly. Emitted once per such spell, with the system's reason.
     */
    void acceptingPaused(const QString& reason);

private:
    friend class Session;

    void acceptPending();
    void acceptFailed(QAbstractSocket::SocketError error);
    void refuseBusy(QTcpSocket* socket);
    /// The status for a well-formed request from @p from; shows it when it may.
    quint32 handle(const net::notification::Request& request, const QHostAddress& from);
    /// @p peer as acceptPending() counted it.
    void sessionFinished(const QHostAddress& peer);

    Presenter& m_presenter;
    quint16 m_port;
    ServerLimits m_limits;
    common::Clock m_clock;
    RateLimiter m_rateLimiter;
    int m_open = 0;
    QHash<QHostAddress, int> m_openPerAddress; ///< only addresses with a connection open
    QTcpServer m_server;
    QTimer m_resumeAccepting;
    bool m_acceptingPaused = false; ///< since the last connection that was handed over
    QTimer m_nextTurn;              ///< ends the turn's share of accepted connections
    int m_takenThisTurn = 0;
};

} // namespace messenger::service
