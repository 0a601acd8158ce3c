#include "logwriter.h"

#include "common/cp932codec.h"
#include "orphanfiles.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace history::core {

namespace {

// Lines are encoded and written in pieces of about this many bytes, so that a long log never
// needs its whole text in memory twice.
constexpr qsizetype ChunkBytes = 512 * 1024;

// Never loop for ever over taken names; a folder with this many logs of one second is not sane.
constexpr int MaxNameAttempts = 10000;

LogWriteResult failure(const QString& path, int errorNumber)
{
    return {path, common::Status::fromErrno(errorNumber, path)};
}

// Creates an empty temporary file in @p folder that no other writer uses; its name starts with a
// dot and does not end in ".txt", so the viewer's file dialog does not offer it. It carries this
// process's id, so that a later write can tell a killed write's leftover from a running one.
int createTempFile(const QString& folder, QByteArray& tempPath)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            QString::fromUtf16(TempFilePrefix) +
            u"%1-%2.tmp"_s.arg(::getpid()).arg(QRandomGenerator::global()->generate64(), 16, 16, QChar(u'0'));
        tempPath = QFile::encodeName(QDir(folder).filePath(name));
        const int fd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Moves @p tempPath to @p target unless @p target exists. renameat2 does that in one step; on file
// systems without it a hard link gives the same guarantee. @return 0, or the errno value.
int publishNoReplace(const QByteArray& tempPath, const QByteArray& target)
{
    if (::renameat2(AT_FDCWD, tempPath.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    if (::link(tempPath.constData(), target.constData()) != 0)
        return errno;
    ::unlink(tempPath.constData());
    return 0;
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

QString logFileStem(const QDateTime& when)
{
    const QDate date = when.date();
    const QTime time = when.time();
    const auto two = [](int value) { return u"%1"_s.arg(value, 2, 10, QChar(u'0')); };
    return QString::number(date.year()) + two(date.month()) + two(date.day()) + two(time.hour()) + two(time.minute()) +
           two(time.second());
}

void appendLogRecord(QByteArray& bytes, const common::LogLine& line)
{
    bytes += '"';
    common::cp932::appendLossy(bytes, line.sender);
    bytes += "\",\"";
    common::cp932::appendLossy(bytes, line.receiver);
    bytes += "\",\"";
    common::cp932::appendLossy(bytes, line.message);
    bytes += "\",\"";
    common::cp932::appendLossy(bytes, line.dateTime);
    bytes += "\"\r\n";
}

QByteArray encodeLog(const QList<common::LogLine>& lines)
{
    QByteArray bytes;
    for (const common::LogLine& line : lines)
        appendLogRecord(bytes, line);
    return bytes;
}

QString defaultLogFolder()
{
    return QDir::current().absoluteFilePath(u"log"_s);
}

int writeLogRecords(int fd, const QList<common::LogLine>& lines)
{
    QByteArray chunk;
    chunk.reserve(ChunkBytes + 4096);
    for (const common::LogLine& line : lines) {
        appendLogRecord(chunk, line);
        if (chunk.size() >= ChunkBytes) {
            if (!writeAll(fd, chunk))
                return errno;
            chunk.resize(0); // keeps the room for the next piece
        }
    }
    return writeAll(fd, chunk) ? 0 : errno;
}

LogWriteResult writeLog(const QList<common::LogLine>& lines, const QDateTime& when, const QString& folder)
{
    return writeLogWith([&lines](int fd) { return writeLogRecords(fd, lines); }, when, folder);
}

LogWriteResult writeLogWith(const std::function<int(int fd)>& fill, const QDateTime& when, const QString& folderPath)
{
    const QString folder = QDir(folderPath).absolutePath();
    const QString firstName = QDir(folder).filePath(logFileStem(when) + u".txt"_s);

    if (::mkdir(QFile::encodeName(folder).constData(), 0777) != 0 && errno != EEXIST)
        return failure(firstName, errno);

    removeStaleTempFiles(folder);
    QByteArray tempPath;
    const int fd = createTempFile(folder, tempPath);
    if (fd < 0)
        return failure(firstName, errno);

    const auto abandon = [&](int errorNumber) {
        ::close(fd);
        ::unlink(tempPath.constData());
        return failure(firstName, errorNumber);
    };

    if (const int error = fill(fd); error != 0)
        return abandon(error);
    if (::fsync(fd) != 0)
        return abandon(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(tempPath.constData());
        return failure(firstName, error);
    }

    LogWriteResult result = publishLogFile(tempPath, when, folder);
    if (result.failed())
        ::unlink(tempPath.constData());
    return result;
}

LogWriteResult publishLogFile(const QByteArray& sourcePath, const QDateTime& when, const QString& folderPath)
{
    const QString folder = QDir(folderPath).absolutePath();
    const QString stem = logFileStem(when);
    const QString firstName = QDir(folder).filePath(stem + u".txt"_s);
    for (int n = 1; n <= MaxNameAttempts; ++n) {
        const QString path = n == 1 ? firstName : QDir(folder).filePath(u"%1_%2.txt"_s.arg(stem).arg(n));
        const int error = publishNoReplace(sourcePath, QFile::encodeName(path));
        if (error == 0) {
            syncFolder(folder);
            return {path, {}};
        }
        if (error != EEXIST)
            return failure(path, error);
    }
    return failure(firstName, EEXIST);
}

} // namespace history::core
