#pragma once

// platform/files: the file operations of replacing a catalogue safely, one interface and one implementation per system.

// The file operations that replace a catalogue without ever leaving half of
// one under its name: a new file written beside it, forced to disk, and put in
// its place in one step, with the old file's bytes kept under another name.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace ondiva {

struct FileStatus {
    enum class Kind {
        Ok,
        Exists,
        NoSpace,
        Denied,
        InUse, // another program holds the file
        Failed,
        // Of a copy: the file copied from could not be read (any more), or no
        // longer holds what was copied, or the user stopped the copy.
        SourceLost,
        SourceChanged,
        Cancelled,
    };
    Kind kind = Kind::Ok;
    QString detail; // the system's own words

    explicit operator bool() const { return kind == Kind::Ok; }
};

// Held while it lives: no other process of the program takes the same lock.
class CatalogueLock {
public:
    virtual ~CatalogueLock() = default;
};

struct LockAttempt {
    enum class Kind { Acquired, HeldElsewhere, Failed };
    Kind kind = Kind::Failed;
    std::unique_ptr<CatalogueLock> lock; // when Acquired
    FileStatus status;                   // when Failed
};

// Told how many bytes of how many a copy has written; false stops it.
using CopyProgress = std::function<bool(qint64 done, qint64 total)>;

class CatalogueFiles {
public:
    virtual ~CatalogueFiles() = default;
    // Creates a new empty file beside target with a name of its own, starting
    // with target's name and `tag`; the name goes into path.
    virtual FileStatus createBeside(const QString& target, const QString& tag, QString& path) = 0;
    // Forces a file's bytes to disk.
    virtual FileStatus sync(const QString& path) = 0;
    // Gives the bytes of path the further name `name`, with no copy where the
    // file system allows (a copy is forced to disk); an existing `name` is
    // never replaced (Exists).
    virtual FileStatus keepAs(const QString& path, const QString& name) = 0;
    // Copies the bytes of `from`, which is only read and stays open to other
    // programs, into `to`, an empty file made by createBeside; forces them to
    // disk and reads both files back to compare them, piece by piece however
    // short the system's reads. Until it returns Ok, `to` is the caller's to remove.
    virtual FileStatus copyInto(const QString& from, const QString& to, const CopyProgress& advancing) = 0;
    // Puts source in target's place in one step.
    virtual FileStatus rename(const QString& source, const QString& target) = 0;
    // Forces to disk the folder that holds path: the names it gained or lost.
    virtual FileStatus syncFolder(const QString& path) = 0;
    virtual bool remove(const QString& path) = 0;
    virtual bool exists(const QString& path) = 0;
    // Whether two names are the same file (one file under two names; a file
    // the system counts one name for is never taken for another).
    virtual bool sameFile(const QString& a, const QString& b) = 0;
    // The files beside target whose names start with target's name and tag.
    virtual QStringList filesBeside(const QString& target, const QString& tag) = 0;
    // Whether the folder holding target may be written, as the system says it
    // without a file being made there where it can (on POSIX from the permission
    // bits, so that a folder marked read-only stays so even for the administrator).
    virtual bool folderWritable(const QString& target) = 0;
    // The lock that lets one process at a time convert target, tidy what a
    // conversion left beside it, or work on those files. A lock whose process
    // has died is taken over.
    virtual LockAttempt lockForConversion(const QString& target) = 0;
};

} // namespace ondiva
