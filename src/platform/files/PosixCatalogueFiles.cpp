#include "SystemCatalogueFiles.h"

#include "platform/files/MarkedWritable.h"
#include "platform/files/PortableCatalogueFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace ondiva {
namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

FileStatus fromErrno(int error)
{
    FileStatus status;
    switch (error) {
    case 0:
        return status;
    case EEXIST:
        status.kind = FileStatus::Kind::Exists;
        break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        status.kind = FileStatus::Kind::NoSpace;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        status.kind = FileStatus::Kind::Denied;
        break;
    default:
        status.kind = FileStatus::Kind::Failed;
        break;
    }
    status.detail = QString::fromLocal8Bit(std::strerror(error));
    return status;
}

FileStatus syncPath(const QString& path, int flags)
{
    const int fd = ::open(native(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return fromErrno(errno);
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    return fromErrno(rc == 0 ? 0 : error);
}

FileStatus syncFolderOf(const QString& path)
{
    return syncPath(QFileInfo(path).absolutePath(), O_RDONLY | O_DIRECTORY);
}

// A descriptor that closes as it goes.
class Fd {
public:
    explicit Fd(int fd)
        : m_fd(fd)
    {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

constexpr size_t kCopyChunk = 1 << 20;

// Reads until `size` bytes or the end of the file, however short each read
// (a network share gives less than asked); the count, or -1 with errno set.
ssize_t readFully(int fd, char* buffer, size_t size)
{
    size_t count = 0;
    while (count < size) {
        const ssize_t n = ::read(fd, buffer + count, size - count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        count += size_t(n);
    }
    return ssize_t(count);
}

// Writes at offset, however short each write.
bool writeFully(int fd, const char* buffer, size_t size, off_t offset)
{
    for (size_t written = 0; written < size;) {
        const ssize_t n = ::pwrite(fd, buffer + written, size - written, offset + off_t(written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += size_t(n);
    }
    return true;
}

FileStatus sourceLost(int error)
{
    FileStatus status = fromErrno(error);
    status.kind = FileStatus::Kind::SourceLost;
    return status;
}

// Reads `from` again, by its name, beside the copy: the copy counts only if the
// file still holds, byte for byte, what was copied.
FileStatus compareBack(const QString& from, int copy)
{
    const Fd in(::open(native(from).constData(), O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        return sourceLost(errno);
    if (::lseek(copy, 0, SEEK_SET) != 0)
        return fromErrno(errno);
    std::vector<char> original(kCopyChunk);
    std::vector<char> copied(kCopyChunk);
    for (;;) {
        const ssize_t a = readFully(in.get(), original.data(), kCopyChunk);
        if (a < 0)
            return sourceLost(errno);
        const ssize_t b = readFully(copy, copied.data(), kCopyChunk);
        if (b < 0)
            return fromErrno(errno);
        if (a != b || std::memcmp(original.data(), copied.data(), size_t(a)) != 0)
            return {FileStatus::Kind::SourceChanged, QString::fromLocal8Bit(native(from))};
        if (size_t(a) < kCopyChunk)
            return {};
    }
}

// Copies from's bytes into the open file `out` and forces them to disk.
FileStatus copyBytes(const QString& from, int out, const CopyProgress& advancing)
{
    const Fd in(::open(native(from).constData(), O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        return sourceLost(errno);
    struct stat info {};
    if (::fstat(in.get(), &info) != 0)
        return sourceLost(errno);
    const qint64 total = info.st_size;
    std::vector<char> buffer(kCopyChunk);
    for (qint64 done = 0;;) {
        const ssize_t count = readFully(in.get(), buffer.data(), kCopyChunk);
        if (count < 0)
            return sourceLost(errno);
        if (!writeFully(out, buffer.data(), size_t(count), off_t(done)))
            return fromErrno(errno);
        done += count;
        if (advancing && !advancing(done, total))
            return {FileStatus::Kind::Cancelled, {}};
        if (size_t(count) < kCopyChunk)
            break;
    }
    return ::fsync(out) == 0 ? FileStatus{} : fromErrno(errno);
}

// Copies a file's bytes to a new file `to`, which must not exist, and forces them to disk.
FileStatus copyToNew(const QString& from, const QString& to)
{
    const Fd out(::open(native(to).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!out.valid())
        return fromErrno(errno);
    FileStatus status = copyBytes(from, out.get(), {});
    if (status)
        status = compareBack(from, out.get());
    if (!status)
        ::unlink(native(to).constData());
    return status;
}

} // namespace

FileStatus SystemCatalogueFiles::createBeside(const QString& target, const QString& tag, QString& path)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = target + tag + QString::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(native(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            path = candidate;
            return {};
        }
        if (errno != EEXIST)
            return fromErrno(errno);
    }
    return fromErrno(EEXIST);
}

FileStatus SystemCatalogueFiles::sync(const QString& path) { return syncPath(path, O_RDONLY); }

FileStatus SystemCatalogueFiles::keepAs(const QString& path, const QString& name)
{
    if (::link(native(path).constData(), native(name).constData()) != 0) {
        const int error = errno;
        if (error == EEXIST)
            return fromErrno(error);
        if (error != EPERM && error != ENOTSUP && error != EOPNOTSUPP && error != EXDEV && error != EMLINK)
            return fromErrno(error);
        // A file system without hard links: the bytes are copied instead.
        return copyToNew(path, name);
    }
    return {};
}

FileStatus SystemCatalogueFiles::copyInto(const QString& from, const QString& to, const CopyProgress& advancing)
{
    const Fd out(::open(native(to).constData(), O_RDWR | O_TRUNC | O_CLOEXEC));
    if (!out.valid())
        return fromErrno(errno);
    FileStatus status = copyBytes(from, out.get(), advancing);
    return status ? compareBack(from, out.get()) : status;
}

FileStatus SystemCatalogueFiles::rename(const QString& source, const QString& target)
{
    if (::rename(native(source).constData(), native(target).constData()) != 0)
        return fromErrno(errno);
    return {};
}

FileStatus SystemCatalogueFiles::syncFolder(const QString& path) { return syncFolderOf(path); }

bool SystemCatalogueFiles::remove(const QString& path) { return ::unlink(native(path).constData()) == 0; }

bool SystemCatalogueFiles::exists(const QString& path)
{
    struct stat info {};
    return ::lstat(native(path).constData(), &info) == 0;
}

bool SystemCatalogueFiles::sameFile(const QString& a, const QString& b)
{
    struct stat first {};
    struct stat second {};
    // Two names of one file: the file counts them, as on Windows, where file
    // indexes alone prove nothing.
    return ::stat(native(a).constData(), &first) == 0 && ::stat(native(b).constData(), &second) == 0 &&
           first.st_nlink > 1 && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

QStringList SystemCatalogueFiles::filesBeside(const QString& target, const QString& tag)
{
    return filesBesideByName(target, tag);
}

bool SystemCatalogueFiles::folderWritable(const QString& target)
{
    return markedWritable(QFileInfo(QFileInfo(target).absolutePath()));
}

namespace {

// A lock the kernel holds for the process (flock): it goes with the process,
// however that ends, so a lock left by a program that was killed is never
// mistaken for a live one, nor a live one for a stale one.
class FlockLock : public CatalogueLock {
public:
    FlockLock(int fd, QByteArray path)
        : m_fd(fd)
        , m_path(std::move(path))
    {}
    ~FlockLock() override
    {
        // Removed while still held: whoever opened it meanwhile finds, once it
        // gets the lock, that the name is no longer that file, and starts over.
        ::unlink(m_path.constData());
        ::close(m_fd);
    }

private:
    int m_fd;
    QByteArray m_path;
};

} // namespace

LockAttempt SystemCatalogueFiles::lockForConversion(const QString& target)
{
    const QByteArray path = native(target + u".lock"_s);
    LockAttempt attempt;
    for (int tries = 0; tries < 100; ++tries) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            attempt.status = fromErrno(errno);
            return attempt;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) {
                attempt.kind = LockAttempt::Kind::HeldElsewhere;
                return attempt;
            }
            attempt.status = fromErrno(error);
            return attempt;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::stat(path.constData(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            attempt.kind = LockAttempt::Kind::Acquired;
            attempt.lock = std::make_unique<FlockLock>(fd, path);
            return attempt;
        }
        ::close(fd); // the holder removed it as it let go: try the file now under the name
    }
    attempt.status = fromErrno(EAGAIN);
    return attempt;
}

std::unique_ptr<CatalogueFiles> systemCatalogueFiles() { return std::make_unique<SystemCatalogueFiles>(); }

} // namespace ondiva
