#pragma once

#include "common/status.h"

#include <QHostAddress>
#include <QList>
#include <QObject>

#include <chrono>

class QSocketNotifier;
class QTimer;

namespace check {

/// How a connection attempt ended.
struct ProbeOutcome
{
    /// Ok when a connection was made; SocketError with the errno of the refusal or unreachable
    /// network; TimedOut when nothing answered in time; NotFound when there was no address to try.
    common::Status status;
    QHostAddress address; ///< the address that answered, or the first one tried
    qint64 elapsedMs = 0; ///< from the start to the answer
};

/**
 * Opens a TCP connection to a port and closes it at once, sending nothing: enough to learn that
 * something listens there without making it act. The addresses are tried in order, each with an
 * equal share of the time left, until one accepts. Never blocks; finished() comes exactly once,
 * at the latest when the budget has run out.
 */
class TcpProbe final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TcpProbe)

public:
    TcpProbe(QList<QHostAddress> addresses, quint16 port, std::chrono::milliseconds budget, QObject* parent = nullptr);
    ~TcpProbe() override;

    void start();

Q_SIGNALS:
    void finished(const check::ProbeOutcome& outcome);

private:
    void tryNext();
    void attemptEnded(int error);
    void closeAttempt();
    void finish(ProbeOutcome outcome);

    QList<QHostAddress> m_addresses;
    quint16 m_port;
    std::chrono::milliseconds m_budget;
    std::chrono::steady_clock::time_point m_start;
    qsizetype m_next = 0;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_timer = nullptr;
    std::optional<ProbeOutcome> m_firstFailure;
    bool m_finished = false;
};

} // namespace check
