#include "tcpprobe.h"

#include "net/socketaddress.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace check {

namespace {

using Clock = std::chrono::steady_clock;

qint64 millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

} // namespace

TcpProbe::TcpProbe(QList<QHostAddress> addresses, quint16 port, std::chrono::milliseconds budget, QObject* parent)
    : QObject(parent)
    , m_addresses(std::move(addresses))
    , m_port(port)
    , m_budget(budget)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] { attemptEnded(ETIMEDOUT); });
}

TcpProbe::~TcpProbe()
{
    closeAttempt();
}

void TcpProbe::start()
{
    m_start = Clock::now();
    if (m_addresses.isEmpty()) {
        // Reported after start() returns, as every other outcome is.
        QTimer::singleShot(0, this, [this] {
            finish({common::Status::failure(common::Status::Code::NotFound), {}, 0});
        });
        return;
    }
    tryNext();
}

void TcpProbe::tryNext()
{
    const QHostAddress& address = m_addresses.at(m_next);
    const qint64 left = m_budget.count() - millisecondsSince(m_start);
    const qsizetype remaining = m_addresses.size() - m_next;
    ++m_next;
    if (left <= 0) {
        attemptEnded(ETIMEDOUT);
        return;
    }

    const bool ipv6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (!net::detail::socketAddress(address, m_port, ipv6, storage, length)) {
        attemptEnded(EAFNOSUPPORT);
        return;
    }
    m_fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        attemptEnded(errno);
        return;
    }
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&storage), length) == 0) {
        attemptEnded(0);
        return;
    }
    if (errno != EINPROGRESS) {
        attemptEnded(errno);
        return;
    }
    // Writable means the handshake ended, either way; SO_ERROR says which.
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            error = errno;
        attemptEnded(error);
    });
    m_timer->start(int(std::max<qint64>(1, left / remaining)));
}

void TcpProbe::attemptEnded(int error)
{
    if (m_finished)
        return;
    m_timer->stop();
    closeAttempt();
    const QHostAddress& address = m_addresses.at(m_next - 1);
    if (error == 0) {
        finish({common::Status::ok(), address, millisecondsSince(m_start)});
        return;
    }
    if (!m_firstFailure) {
        const common::Status status = error == ETIMEDOUT
                                          ? common::Status::failure(common::Status::Code::TimedOut, address.toString())
                                          : common::Status::fromSocketErrno(error, address.toString());
        m_firstFailure = ProbeOutcome{status, address, 0};
    }
    if (m_next < m_addresses.size()) {
        tryNext();
        return;
    }
    ProbeOutcome failure = *m_firstFailure;
    failure.elapsedMs = millisecondsSince(m_start);
    finish(failure);
}

void TcpProbe::closeAttempt()
{
    // Disabled before the descriptor it watches goes; deleted later, since this may run inside its signal.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void TcpProbe::finish(ProbeOutcome outcome)
{
    m_finished = true;
    Q_EMIT finished(outcome);
}

} // namespace check
