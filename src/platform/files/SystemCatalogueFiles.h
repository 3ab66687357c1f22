#pragma once

// The catalogue's file operations on the system the program is built for, one
// class with one definition per system: the build compiles either
// PosixCatalogueFiles.cpp or WindowsCatalogueFiles.cpp.
//
// On POSIX, hard links keep an original's bytes without copying them, rename()
// swaps a file in, fsync() makes both last. On Windows, with the system's
// wide-character calls, a hard link (or, where the file system has none, a copy
// read back and compared) keeps an original's bytes, MoveFileExW swaps a file in
// and writes the change through, FlushFileBuffers makes the bytes last; a file
// another program holds open (a virus scanner, the search indexer) is waited for
// two seconds before it is reported in use, and whether a folder may be written
// is asked of its access rights.

#include "platform/files/CatalogueFiles.h"

#include <memory>

namespace ondiva {

class SystemCatalogueFiles : public CatalogueFiles {
public:
    FileStatus createBeside(const QString& target, const QString& tag, QString& path) override;
    FileStatus sync(const QString& path) override;
    FileStatus keepAs(const QString& path, const QString& name) override;
    FileStatus copyInto(const QString& from, const QString& to, const CopyProgress& advancing) override;
    FileStatus rename(const QString& source, const QString& target) override;
    FileStatus syncFolder(const QString& path) override;
    bool remove(const QString& path) override;
    bool exists(const QString& path) override;
    bool sameFile(const QString& a, const QString& b) override;
    QStringList filesBeside(const QString& target, const QString& tag) override;
    bool folderWritable(const QString& target) override;
    LockAttempt lockForConversion(const QString& target) override;
};

std::unique_ptr<CatalogueFiles> systemCatalogueFiles();

} // namespace ondiva
