#pragma once

#include "common/logline.h"
#include "common/status.h"
#include "logwriter.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace history::core {

/**
 * The conversation as it happens, on disk: every log line is appended to a hidden journal file in
 * the log folder the moment it is made, in the log's own record format and encoding, so that a
 * crash, a kill or a power cut loses at most the last second of it. The file is made with the
 * first line (a run without log lines leaves nothing), written at once and flushed to the disk at
 * most once a second (on a thread of its own, so a slow disk never holds up the chat), and its name says which process
 * writes it, so that the next start can tell an orphaned journal from a running one (see recoverJournals()).
 *
 * The journal stays when the object is destroyed; discard() removes it once the conversation is
 * safely in a log file (or the user chose to exit without one).
 */
class Journal final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Journal)

public:
    explicit Journal(const QString& folder, QObject* parent = nullptr);
    ~Journal() override;

    /// Appends @p line; the first line makes the folder and the file.
    void append(const common::LogLine& line);
    /// Removes the journal file; a later line starts a new one.
    void discard();
    /**
     * Writes the conversation as the log file named after @p when (see writeLog()), from the journal:
     * when every line is in the journal file, that file is flushed and renamed into place; when
     * writing to it failed at some point, its whole records are copied and the lines kept in memory
     * since then follow. So the lines the window keeps are not needed; @p lines are written only
     * when the journal never saw a line (a window without the journal hook). On success the
     * journal is gone; on failure it stays and takes further lines.
     */
    LogWriteResult saveAsLog(const QList<common::LogLine>& lines, const QDateTime& when);
    /// The lines that could not be written to the journal file and are kept in memory instead.
    qsizetype unwrittenLines() const { return m_unwritten.size(); }
    /// The journal file's path, empty before the first line or after discard().
    QString path() const { return m_path; }
    /// Why the journal could not be written; Ok while it works.
    const common::Status& status() const { return m_status; }

private:
    class Syncer;

    bool open();
    void close();

    QString m_folder;
    QString m_path;
    common::Status m_status;
    int m_fd = -1;
    qsizetype m_lines = 0; ///< lines appended since the journal was last saved or discarded
    // From the first failed write on, every further line waits here, so that the order is kept.
    QList<common::LogLine> m_unwritten;
    QByteArray m_record; ///< the record being written, kept for its room
    QTimer m_syncTimer;
    std::unique_ptr<Syncer> m_syncer; ///< flushes on its own thread: a flush may take long
};

/// The start of a journal file's name in the log folder.
inline constexpr char16_t JournalPrefix[] = u".tavik-journal-";

/// One journal that the start turned into a log file, or could not.
struct RecoveredJournal
{
    QString logPath;       ///< the log file written (or the journal that could not be turned into one)
    common::Status status; ///< why it could not be written; the journal then stays
};

/**
 * Turns every journal in @p folder whose process no longer runs into a normal log file named
 * after the journal's last change, as the exit would have named it; a torn last record (a write
 * cut by a power loss) is left out, and an empty journal is removed. Journals of running
 * processes (also of other instances of the program) are left alone.
 */
QList<RecoveredJournal> recoverJournals(const QString& folder);

} // namespace history::core
