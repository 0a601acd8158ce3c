#include "terminationwatcher.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace os {

namespace {

constexpr std::array<int, 3> WatchedSignals{SIGTERM, SIGHUP, SIGINT};

// Written by the signal handler, read by the watcher; -1 when no watcher exists.
volatile sig_atomic_t g_writeFd = -1;
int g_readFd = -1;
std::array<struct sigaction, WatchedSignals.size()> g_previous{};

extern "C" void onTerminationSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (g_writeFd >= 0) {
        // A full pipe only loses repeated signals, which say nothing new.
        [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TerminationWatcher::TerminationWatcher(QObject* parent)
    : QObject(parent)
{
    if (g_readFd >= 0)
        return; // another watcher owns the handlers
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
        return;
    g_readFd = fds[0];
    g_writeFd = fds[1];

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool allSet = true;
    for (std::size_t i = 0; i < WatchedSignals.size(); ++i)
        allSet = ::sigaction(WatchedSignals[i], &action, &g_previous[i]) == 0 && allSet;

    m_notifier = new QSocketNotifier(g_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationWatcher::readPending);
    m_active = allSet;
}

TerminationWatcher::~TerminationWatcher()
{
    if (!m_notifier)
        return;
    for (std::size_t i = 0; i < WatchedSignals.size(); ++i)
        ::sigaction(WatchedSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    const int writeFd = g_writeFd;
    g_writeFd = -1;
    ::close(writeFd);
    ::close(g_readFd);
    g_readFd = -1;
}

void TerminationWatcher::readPending()
{
    unsigned char bytes[16];
    ssize_t count;
    while ((count = ::read(g_readFd, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            Q_EMIT terminationRequested(bytes[i]);
    }
}

} // namespace os
