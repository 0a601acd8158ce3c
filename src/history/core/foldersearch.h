#pragma once

#include "common/status.h"
#include "history/core/logsearch.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <thread>

namespace history::core {

/// How a search of a folder ended.
struct SearchSummary
{
    qsizetype filesSearched = 0;
    qsizetype hits = 0;
    qsizetype skippedLines = 0;       ///< lines of the files searched that are no records, as the viewer counts them
    QList<common::Status> unreadable; ///< the files that could not be read, each naming its path
    common::Status folder;            ///< why the folder could not be listed
    bool stoppedAtLimit = false;      ///< MaxHits records were found and the search went no further
};

/**
 * Searches every log file of a folder (see logFilesIn()) on a worker thread, so that the window
 * that owns it never waits: the records found reach hitsFound() in file order as they are found,
 * a few at a time, and finished() follows. One search at a time; a new start() gives up the one
 * running, and so does destroying the object.
 */
class FolderSearch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderSearch)

public:
    /// More records than this are not gathered: a keyword that common is no help.
    static constexpr qsizetype MaxHits = 100000;

    explicit FolderSearch(QObject* parent = nullptr);
    ~FolderSearch() override;

    /// Starts searching @p folder for @p query; hitsFound() and finished() follow on this object's thread.
    void start(const QString& folder, const SearchQuery& query);
    /// Gives up the running search, if any, without emitting anything more.
    void cancel();
    bool isRunning() const { return m_thread.joinable(); }
    /// The files looked at so far and the files to look at, while a search runs.
    std::pair<qsizetype, qsizetype> progress() const;

Q_SIGNALS:
    void hitsFound(const QList<history::core::SearchHit>& hits);
    void finished(const history::core::SearchSummary& summary);

private:
    struct Shared;
    void run(const QString& folder, const SearchQuery& query, const std::shared_ptr<Shared>& shared,
             quint64 generation);
    /// Hands @p work to this object's thread, unless the search was given up meanwhile.
    void post(quint64 generation, std::function<void()> work);

    std::thread m_thread;
    std::shared_ptr<Shared> m_shared;
    quint64 m_generation = 0;
};

} // namespace history::core
