#pragma once

#include "platform/CatalogueFiles.h"

namespace ondiva {

// CatalogueFiles on Windows, with the system's wide-character calls: a hard link
// (or, where the file system has none, a copy read back and compared) keeps an
// original's bytes, MoveFileExW swaps a file in and writes the change through,
// FlushFileBuffers makes the bytes last. A file another program holds open (a
// virus scanner, the search indexer) is waited for two seconds before it is
// reported in use; whether a folder may be written is asked of its access rights.
class WindowsCatalogueFiles : public CatalogueFiles {
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

} // namespace ondiva
