#include "PosixCatalogueFiles.h"

#include "MarkedWritable.h"
#include "PortableCatalogueFiles.h"
#include "SystemCatalogueFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

// Copies a file's bytes to a new file `to`, which must not exist, and forces them to disk.
FileStatus copyInto(const QString& from, const QString& to)
{
    const int in = ::open(native(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return fromErrno(errno);
    const int out = ::open(native(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return fromErrno(error);
    }
    int error = 0;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t count = ::read(in, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            error = count < 0 ? errno : 0;
            break;
        }
        for (ssize_t written = 0; written < count && !error;) {
            const ssize_t n = ::write(out, buffer + written, size_t(count - written));
            if (n < 0 && errno != EINTR)
                error = errno;
            else if (n > 0)
                written += n;
        }
        if (error)
            break;
    }
    if (!error && ::fsync(out) != 0)
        error = errno;
    ::close(out);
    ::close(in);
    if (error)
        ::unlink(native(to).constData());
    return fromErrno(error);
}

} // namespace

FileStatus PosixCatalogueFiles::createBeside(const QString& target, const QString& tag, QString& path)
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

FileStatus PosixCatalogueFiles::sync(const QString& path) { return syncPath(path, O_RDONLY); }

FileStatus PosixCatalogueFiles::keepAs(const QString& path, const QString& name)
{
    if (::link(native(path).constData(), native(name).constData()) != 0) {
        const int error = errno;
        if (error == EEXIST)
            return fromErrno(error);
        if (error != EPERM && error != ENOTSUP && error != EOPNOTSUPP && error != EXDEV && error != EMLINK)
            return fromErrno(error);
        // A file system without hard links: the bytes are copied instead.
        return copyInto(path, name);
    }
    return {};
}

FileStatus PosixCatalogueFiles::rename(const QString& source, const QString& target)
{
    if (::rename(native(source).constData(), native(target).constData()) != 0)
        return fromErrno(errno);
    return {};
}

FileStatus PosixCatalogueFiles::syncFolder(const QString& path) { return syncFolderOf(path); }

bool PosixCatalogueFiles::remove(const QString& path) { return ::unlink(native(path).constData()) == 0; }

bool PosixCatalogueFiles::exists(const QString& path)
{
    struct stat info {};
    return ::lstat(native(path).constData(), &info) == 0;
}

bool PosixCatalogueFiles::sameFile(const QString& a, const QString& b)
{
    struct stat first {};
    struct stat second {};
    return ::stat(native(a).constData(), &first) == 0 && ::stat(native(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

QStringList PosixCatalogueFiles::filesBeside(const QString& target, const QString& tag)
{
    return filesBesideByName(target, tag);
}

bool PosixCatalogueFiles::folderWritable(const QString& target)
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

LockAttempt PosixCatalogueFiles::lockForConversion(const QString& target)
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

std::unique_ptr<CatalogueFiles> systemCatalogueFiles() { return std::make_unique<PosixCatalogueFiles>(); }

} // namespace ondiva
