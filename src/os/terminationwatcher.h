#pragma once

#include <QObject>

class QSocketNotifier;

namespace os {

/**
 * Turns SIGTERM, SIGHUP and SIGINT into a Qt signal on the user-interface thread. The handler
 * only writes the signal number into a socket pair (the one thing that is safe inside a signal
 * handler); a QSocketNotifier reads it in the event loop. One watcher at a time; the previous
 * handlers come back when it is destroyed.
 */
class TerminationWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminationWatcher)

public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

    /// False when the socket pair or a handler could not be set up; the signals then keep their defaults.
    bool isActive() const { return m_active; }

Q_SIGNALS:
    /// A termination signal arrived; emitted once per signal, in the event loop.
    void terminationRequested(int signalNumber);

private:
    void readPending();

    bool m_active = false;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace os
