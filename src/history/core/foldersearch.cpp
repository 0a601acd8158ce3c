#include "foldersearch.h"

#include "logreader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMetaObject>

#include <atomic>

namespace history::core {

namespace {

// Records found are handed to the window at most this often, or when this many have gathered:
// the rows appear as they are found without an event per record.
constexpr qint64 BatchMs = 50;
constexpr qsizetype BatchHits = 1000;

} // namespace

struct FolderSearch::Shared
{
    LoadProgress load; ///< its cancel flag also stops the file being read
    std::atomic<qsizetype> filesDone{0};
    std::atomic<qsizetype> filesTotal{0};
};

FolderSearch::FolderSearch(QObject* parent)
    : QObject(parent)
{}

FolderSearch::~FolderSearch()
{
    cancel();
}

void FolderSearch::start(const QString& folder, const SearchQuery& query)
{
    cancel();
    m_shared = std::make_shared<Shared>();
    const quint64 generation = ++m_generation;
    m_thread =
        std::thread([this, folder, query, shared = m_shared, generation] { run(folder, query, shared, generation); });
}

void FolderSearch::cancel()
{
    if (!m_thread.joinable())
        return;
    m_shared->load.cancel.store(true);
    m_thread.join();
    ++m_generation;
}

std::pair<qsizetype, qsizetype> FolderSearch::progress() const
{
    if (!m_shared)
        return {0, 0};
    return {m_shared->filesDone.load(std::memory_order_relaxed), m_shared->filesTotal.load(std::memory_order_relaxed)};
}

void FolderSearch::post(quint64 generation, std::function<void()> work)
{
    QMetaObject::invokeMethod(
        this,
        [this, generation, work = std::move(work)] {
            if (generation == m_generation)
                work();
        },
        Qt::QueuedConnection);
}

void FolderSearch::run(const QString& folder, const SearchQuery& query, const std::shared_ptr<Shared>& shared,
                       quint64 generation)
{
    SearchSummary summary;
    const SearchMatcher matcher(query);
    const common::Result<QStringList> listed = logFilesIn(folder);
    if (!listed.isOk())
        summary.folder = listed.status();
    const QStringList files = listed.isOk() ? listed.value() : QStringList();
    shared->filesTotal.store(files.size(), std::memory_order_relaxed);

    const QDir dir(folder);
    QList<SearchHit> batch;
    QElapsedTimer sincePost;
    sincePost.start();
    const auto postBatch = [&] {
        post(generation, [this, hits = std::move(batch)] { Q_EMIT hitsFound(hits); });
        batch = {};
        sincePost.restart();
    };
    for (const QString& name : files) {
        if (shared->load.cancel.load(std::memory_order_relaxed))
            return;
        if (matcher.isValid() && matcher.mayHold(name)) {
            LogReadResult read = readLogFile(dir.filePath(name), &shared->load);
            if (read.status.code() == common::Status::Code::Cancelled)
                return;
            if (!read.ok()) {
                summary.unreadable.append(read.status);
            } else {
                ++summary.filesSearched;
                summary.skippedLines += read.skippedLines;
                matcher.search(read.table, name, [&](SearchHit&& hit) {
                    batch.append(std::move(hit));
                    summary.stoppedAtLimit = ++summary.hits >= MaxHits;
                    return !summary.stoppedAtLimit;
                });
            }
        }
        shared->filesDone.fetch_add(1, std::memory_order_relaxed);
        if (!batch.isEmpty() && (batch.size() >= BatchHits || sincePost.elapsed() >= BatchMs))
            postBatch();
        if (summary.stoppedAtLimit)
            break;
    }
    if (!batch.isEmpty())
        postBatch();
    post(generation, [this, summary] {
        // The worker posts this last; it has ended or is about to.
        if (m_thread.joinable())
            m_thread.join();
        Q_EMIT finished(summary);
    });
}

} // namespace history::core
