#include "logloader.h"

#include <QMetaObject>

#include <algorithm>

namespace history::core {

LogLoader::LogLoader(QObject* parent)
    : QObject(parent)
{}

LogLoader::~LogLoader()
{
    stop();
}

void LogLoader::start(const QString& path)
{
    stop();
    m_path = path;
    m_result = {};
    m_progress = std::make_shared<LoadProgress>();
    const quint64 generation = ++m_generation;
    m_thread = std::thread([this, path, progress = m_progress, generation] {
        LogReadResult result = readLogFile(path, progress.get());
        if (progress->cancel.load())
            return;
        m_result = std::move(result);
        // The owner's thread joins the worker before it reads the result; a load given up in the
        // meantime (stop() joins, so it cannot be destroyed) is recognised by its generation.
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation != m_generation || !m_thread.joinable())
                    return;
                m_thread.join();
                Q_EMIT finished();
            },
            Qt::QueuedConnection);
    });
}

void LogLoader::cancel()
{
    stop();
    m_result = {};
}

void LogLoader::stop()
{
    if (!m_thread.joinable())
        return;
    m_progress->cancel.store(true);
    m_thread.join();
    ++m_generation;
}

int LogLoader::percent() const
{
    if (!m_progress)
        return 0;
    const qint64 total = m_progress->total.load(std::memory_order_relaxed);
    if (total <= 0)
        return 0;
    const qint64 done = m_progress->done.load(std::memory_order_relaxed);
    return static_cast<int>(std::clamp<qint64>(done * 50 / total, 0, 100));
}

LogReadResult LogLoader::takeResult()
{
    return std::move(m_result);
}

} // namespace history::core
