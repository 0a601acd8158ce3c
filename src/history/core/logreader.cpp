#include "logreader.h"

#include "common/logline.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace history::core {

namespace {

using Code = common::Status::Code;

// A grid's row header keeps about this much per row (Qt's QHeaderView: one 8-byte section item);
// it is part of what viewing a file needs, so the budget counts it with the index.
constexpr qint64 ViewBytesPerRecord = 8;

// The records a load of a file of @p fileBytes may index within its budget: the index is taken in
// whole blocks, and each block costs its records, their rows in the grid and its own pointer.
qsizetype recordLimit(qint64 fileBytes)
{
    constexpr qint64 blockBytes =
        LogTable::BlockRecords * (LogTable::RecordBytes + ViewBytesPerRecord) + qint64(sizeof(void*));
    return static_cast<qsizetype>((loadBudget(fileBytes) - fileBytes) / blockBytes) * LogTable::BlockRecords;
}

// Asks for huge pages behind a large buffer that is about to be filled: a million records fill
// about 100 MB, and faulting that in 4 KB pages costs more than the parsing. Only a hint.
void preferHugePages(const void* data, size_t size)
{
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t HugePage = 2 * 1024 * 1024;
    const auto begin = (reinterpret_cast<uintptr_t>(data) + HugePage - 1) & ~(HugePage - 1);
    const auto end = (reinterpret_cast<uintptr_t>(data) + size) & ~(HugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

bool cancelled(const LoadProgress* progress)
{
    return progress && progress->cancel.load(std::memory_order_relaxed);
}

// Reads the whole file behind @p fd, which measured @p size bytes, into @p bytes.
common::Status readAll(int fd, qint64 size, QByteArray& bytes, LoadProgress* progress)
{
    bytes = QByteArray(static_cast<qsizetype>(size), Qt::Uninitialized);
    preferHugePages(bytes.constData(), static_cast<size_t>(bytes.size()));
    qsizetype total = 0;
    while (total < bytes.size()) {
        const auto want = std::min<qsizetype>(bytes.size() - total, ParseStep);
        const ssize_t n = ::read(fd, bytes.data() + total, static_cast<size_t>(want));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return common::Status::fromErrno(errno);
        }
        if (n == 0)
            break;
        total += n;
        if (progress)
            progress->done.fetch_add(n, std::memory_order_relaxed);
        if (cancelled(progress))
            return common::Status::failure(Code::Cancelled);
    }
    bytes.truncate(total);
    // A file that grew after it was measured is read on in pieces, up to the limit.
    for (char piece[64 * 1024]; total <= common::MaxLogFileBytes;) {
        const ssize_t n = ::read(fd, piece, sizeof piece);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return common::Status::fromErrno(errno);
        }
        if (n == 0)
            break;
        bytes.append(piece, n);
        total += n;
    }
    return {};
}

// Opens @p path and reads it whole, refusing what is not a regular file of at most MaxLogFileBytes.
common::Status readFile(const QString& path, QByteArray& bytes, LoadProgress* progress)
{
    // O_NONBLOCK keeps a named pipe from blocking the window; it is refused below anyway.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return common::Status::fromErrno(errno);
    struct stat info = {};
    common::Status status;
    if (::fstat(fd, &info) != 0)
        status = common::Status::fromErrno(errno);
    else if (S_ISDIR(info.st_mode))
        status = common::Status::fromErrno(EISDIR);
    else if (!S_ISREG(info.st_mode))
        status = common::Status::fromErrno(EINVAL); // a named pipe or a device: no file to read whole
    else if (info.st_size > common::MaxLogFileBytes)
        status = common::Status::failure(Code::TooLarge, {}, EFBIG);
    if (status.isOk()) {
        if (progress)
            progress->total.store(info.st_size, std::memory_order_relaxed);
        try {
            status = readAll(fd, info.st_size, bytes, progress);
        } catch (const std::bad_alloc&) {
            status = common::Status::failure(Code::TooLarge, {}, ENOMEM);
        }
    }
    ::close(fd);
    return status;
}

} // namespace

qint64 loadBudget(qint64 fileBytes)
{
    return 3 * fileBytes + (qint64(64) << 20);
}

LogReadResult readLogFile(const QString& path, LoadProgress* progress)
{
    QByteArray bytes;
    LogReadResult result;
    result.status = readFile(path, bytes, progress);
    if (result.ok()) {
        ParseLimits limits;
        limits.maxRecords = recordLimit(bytes.size());
        if (progress) {
            limits.progress = [progress](qsizetype parsed) {
                progress->done.fetch_add(parsed, std::memory_order_relaxed);
                return !cancelled(progress);
            };
        }
        result = parseLog(std::move(bytes), limits);
    }
    if (!result.ok())
        result.status = common::Status::failure(result.status.code(), path, result.status.sysErrno());
    return result;
}

} // namespace history::core
