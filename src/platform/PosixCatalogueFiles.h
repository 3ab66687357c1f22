#pragma once

#include "platform/CatalogueFiles.h"

namespace ondiva {

// CatalogueFiles on a POSIX file system: hard links keep an original's bytes
// without copying them, rename() swaps a file in, fsync() makes both last.
class PosixCatalogueFiles : public CatalogueFiles {
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
