#include "journal.h"

#include "logwriter.h"
#include "orphanfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace history::core {

namespace {

// Lines written are flushed to the disk at most this often, and at the latest this long after.
constexpr int SyncIntervalMs = 1000;

QByteArray firstLine(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readLine(256).trimmed() : QByteArray();
}

// A process is named by its pid, the time it started (clock ticks since boot, from /proc) and
// the boot it belongs to, so that a pid taken again by another process after a crash or a
// reboot is not mistaken for the journal's writer; the machine id keeps a log folder shared
// between machines from treating another machine's running journal as orphaned.
struct ProcessName
{
    QString machine;
    QString boot;
    qint64 pid = 0;
    QByteArray start;
};

QByteArray startTicks(qint64 pid)
{
    // Field 22 of /proc/<pid>/stat; the command name before it is in parentheses and may hold spaces.
    const QByteArray stat = firstLine(u"/proc/%1/stat"_s.arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return {};
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return fields.size() > 19 ? fields.at(19) : QByteArray();
}

QString shortId(const QString& path)
{
    QString id = QString::fromLatin1(firstLine(path)).remove(u'-').left(8);
    return id.isEmpty() ? u"0"_s : id;
}

ProcessName ownName()
{
    const qint64 pid = ::getpid();
    return {shortId(u"/etc/machine-id"_s), shortId(u"/proc/sys/kernel/random/boot_id"_s), pid, startTicks(pid)};
}

// ".tavik-journal-<machine>-<boot>-<pid>-<start>.jnl"
QString journalName(const ProcessName& name)
{
    return QString::fromUtf16(JournalPrefix) +
           u"%1-%2-%3-%4.jnl"_s.arg(name.machine, name.boot).arg(name.pid).arg(QString::fromLatin1(name.start));
}

std::optional<ProcessName> parseJournalName(const QString& fileName)
{
    const QString prefix = QString::fromUtf16(JournalPrefix);
    if (!fileName.startsWith(prefix) || !fileName.endsWith(u".jnl"_s))
        return std::nullopt;
    const QStringList parts = fileName.sliced(prefix.size(), fileName.size() - prefix.size() - 4).split(u'-');
    bool ok = false;
    const qint64 pid = parts.size() == 4 ? parts.at(2).toLongLong(&ok) : 0;
    if (!ok || pid <= 0)
        return std::nullopt;
    return ProcessName{parts.at(0), parts.at(1), pid, parts.at(3).toLatin1()};
}

bool writerRuns(const ProcessName& writer, const ProcessName& self)
{
    if (writer.boot != self.boot || !processRuns(writer.pid))
        return false;
    const QByteArray start = startTicks(writer.pid);
    // Without /proc nothing tells a reused pid apart: the journal is then kept, never taken.
    return start.isEmpty() || start == writer.start;
}

// Where the last whole record of the file behind @p fd ends (after its CR LF), or 0. Records never
// hold CR LF inside: a received line break is logged as "?" and a sent text has none.
off_t endOfLastRecord(int fd, off_t size)
{
    char buffer[64 * 1024];
    off_t end = size;
    bool lfAfter = false; // the byte at `end` is LF (a CR LF split across two chunks)
    while (end > 0) {
        const off_t begin = std::max<off_t>(0, end - off_t(sizeof buffer));
        const ssize_t n = ::pread(fd, buffer, static_cast<size_t>(end - begin), begin);
        if (n != end - begin)
            return size; // unreadable: keep everything rather than cut at a guess
        for (ssize_t i = n - 1; i >= 0; --i) {
            if (buffer[i] == '\r' && (i + 1 < n ? buffer[i + 1] == '\n' : lfAfter))
                return begin + i + 2;
        }
        lfAfter = buffer[0] == '\n';
        end = begin;
    }
    return 0;
}

// Turns one orphaned journal into a log file; an empty one is removed. The journal is renamed
// into place, so even a long conversation is not copied.
std::optional<RecoveredJournal> recoverOne(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    const int fd = ::open(encoded.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return RecoveredJournal{path, common::Status::fromErrno(errno, path)};
    struct stat info = {};
    const bool measured = ::fstat(fd, &info) == 0;
    if (!measured || !S_ISREG(info.st_mode)) {
        // A journal that is not a regular file (a named pipe, say) leaves no errno to tell: it is
        // not a file this program can take.
        const common::Status status = common::Status::fromErrno(measured ? EINVAL : errno, path);
        ::close(fd);
        return RecoveredJournal{path, status};
    }
    const off_t end = endOfLastRecord(fd, info.st_size);
    if (end == 0) {
        ::close(fd);
        ::unlink(encoded.constData());
        return std::nullopt;
    }
    if ((end < info.st_size && ::ftruncate(fd, end) != 0) || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return RecoveredJournal{path, common::Status::fromErrno(error, path)};
    }
    ::close(fd);
    const QDateTime lastChange = QFileInfo(path).lastModified();
    const LogWriteResult result = publishLogFile(encoded, lastChange, QFileInfo(path).absolutePath());
    return RecoveredJournal{result.path, result.status};
}

} // namespace

/**
 * Flushes the journal file on a thread of its own when asked: fsync waits for the disk, up to
 * hundreds of milliseconds under a flood of long datagrams, and the chat's event loop must not.
 */
class Journal::Syncer final
{
public:
    Syncer()
        : m_thread([this] { run(); })
    {}
    ~Syncer()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

    void request()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_wanted = true;
        }
        m_wake.notify_one();
    }

    /// The descriptor to flush from now on; returns once no flush of the previous one is running.
    void setDescriptor(int fd)
    {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return !m_busy; });
        m_fd = fd;
        m_wanted = false;
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || (m_wanted && m_fd >= 0); });
            if (m_stop)
                return;
            m_wanted = false;
            m_busy = true;
            const int fd = m_fd;
            lock.unlock();
            ::fsync(fd);
            lock.lock();
            m_busy = false;
            m_idle.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    int m_fd = -1;
    bool m_wanted = false;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread; // last: it starts running at once
};

Journal::Journal(const QString& folder, QObject* parent)
    : QObject(parent)
    , m_folder(QDir(folder).absolutePath())
{
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(SyncIntervalMs);
    connect(&m_syncTimer, &QTimer::timeout, this, [this] {
        if (m_syncer)
            m_syncer->request();
    });
}

Journal::~Journal()
{
    if (m_fd >= 0)
        ::fsync(m_fd);
    close();
}

// Closes the journal file, after any flush of it on the syncer's thread.
void Journal::close()
{
    m_syncTimer.stop();
    if (m_syncer)
        m_syncer->setDescriptor(-1);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool Journal::open()
{
    if (::mkdir(QFile::encodeName(m_folder).constData(), 0777) != 0 && errno != EEXIST) {
        m_status = common::Status::fromErrno(errno, m_folder);
        return false;
    }
    const QString path = QDir(m_folder).filePath(journalName(ownName()));
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (m_fd < 0) {
        m_status = common::Status::fromErrno(errno, path);
        return false;
    }
    m_path = path;
    m_status = {};
    if (!m_syncer)
        m_syncer = std::make_unique<Syncer>();
    m_syncer->setDescriptor(m_fd);
    return true;
}

void Journal::append(const common::LogLine& line)
{
    ++m_lines;
    if (m_unwritten.isEmpty() && (m_fd >= 0 || open())) {
        // One write per record: what the process has written survives its death, in the page cache.
        m_record.resize(0); // the room of the longest record so far is used again
        appendLogRecord(m_record, line);
        if (writeAll(m_fd, m_record)) {
            if (!m_syncTimer.isActive())
                m_syncTimer.start();
            return;
        }
        m_status = common::Status::fromErrno(errno, m_path);
    }
    // The disk refused (full, gone read-only): the line is kept in memory for the exit's log.
    m_unwritten.append(line);
}

void Journal::discard()
{
    m_unwritten.clear();
    m_lines = 0;
    if (m_fd < 0)
        return;
    close();
    ::unlink(QFile::encodeName(m_path).constData());
    m_path.clear();
}

LogWriteResult Journal::saveAsLog(const QList<common::LogLine>& lines, const QDateTime& when)
{
    if (m_lines == 0)
        return lines.isEmpty() ? LogWriteResult{} : writeLog(lines, when, m_folder);
    if (m_fd >= 0 && m_unwritten.isEmpty()) {
        m_syncTimer.stop();
        if (::fsync(m_fd) != 0) {
            const QString target = QDir(m_folder).filePath(logFileStem(when) + u".txt"_s);
            return {target, common::Status::fromErrno(errno, target)};
        }
        const LogWriteResult result = publishLogFile(QFile::encodeName(m_path), when, m_folder);
        if (!result.failed()) {
            close();
            m_path.clear();
            m_lines = 0;
        }
        return result;
    }
    // The whole records of the journal file (a failed write may have left a torn one), then the
    // lines that did not reach it.
    const LogWriteResult result = writeLogWith(
        [this](int out) {
            if (m_fd >= 0) {
                struct stat info = {};
                if (::fstat(m_fd, &info) != 0)
                    return errno;
                const off_t end = endOfLastRecord(m_fd, info.st_size);
                char buffer[64 * 1024];
                for (off_t at = 0; at < end;) {
                    const ssize_t n = ::pread(m_fd, buffer, size_t(std::min<off_t>(sizeof buffer, end - at)), at);
                    if (n < 0 && errno == EINTR)
                        continue;
                    if (n <= 0)
                        return n < 0 ? errno : EIO;
                    if (!writeAll(out, QByteArray::fromRawData(buffer, n)))
                        return errno;
                    at += n;
                }
            }
            return writeLogRecords(out, m_unwritten);
        },
        when, m_folder);
    if (!result.failed())
        discard();
    return result;
}

QList<RecoveredJournal> recoverJournals(const QString& folder)
{
    QList<RecoveredJournal> recovered;
    const ProcessName self = ownName();
    const QDir dir(folder);
    for (const QString& name : filesNamed(folder, JournalPrefix, u".jnl")) {
        const auto writer = parseJournalName(name);
        if (!writer || writer->machine != self.machine || writerRuns(*writer, self))
            continue;
        if (auto result = recoverOne(dir.filePath(name)))
            recovered << *result;
    }
    return recovered;
}

} // namespace history::core
