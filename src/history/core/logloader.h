#pragma once

#include "logreader.h"

#include <QObject>
#include <QString>

#include <memory>
#include <thread>

namespace history::core {

/**
 * Reads and parses a log file on a worker thread, so that a large file never holds up the
 * thread that owns this object (the chat's event loop, where datagrams arrive). One load at a
 * time; a new start() gives up the running one. Destroying the loader cancels and joins it.
 */
class LogLoader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogLoader)

public:
    explicit LogLoader(QObject* parent = nullptr);
    ~LogLoader() override;

    /// Starts loading @p path; finished() follows on this object's thread.
    void start(const QString& path);
    /// Gives up the running load, if any, without emitting finished().
    void cancel();
    bool isRunning() const { return m_thread.joinable(); }
    /// The file being loaded.
    QString path() const { return m_path; }
    /// How far the running load is, 0 to 100.
    int percent() const;
    /// The result of the load that finished(); valid once per load.
    LogReadResult takeResult();

Q_SIGNALS:
    void finished();

private:
    void stop();

    std::thread m_thread;
    std::shared_ptr<LoadProgress> m_progress;
    LogReadResult m_result;
    QString m_path;
    quint64 m_generation = 0;
};

} // namespace history::core
