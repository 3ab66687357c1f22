#pragma once

// The system's own file operations, but for whether the catalogue's folder may
// be written, which a test may deny.

#include "platform/files/SystemCatalogueFiles.h"

namespace ondiva::fakes {

class FakeCatalogueFiles : public CatalogueFiles {
public:
    bool writableFolder = true;

    FileStatus createBeside(const QString& target, const QString& tag, QString& path) override
    {
        return m_system->createBeside(target, tag, path);
    }
    FileStatus sync(const QString& path) override { return m_system->sync(path); }
    FileStatus keepAs(const QString& path, const QString& name) override { return m_system->keepAs(path, name); }
    FileStatus copyInto(const QString& from, const QString& to, const CopyProgress& advancing) override
    {
        return m_system->copyInto(from, to, advancing);
    }
    FileStatus rename(const QString& source, const QString& target) override
    {
        return m_system->rename(source, target);
    }
    FileStatus syncFolder(const QString& path) override { return m_system->syncFolder(path); }
    bool remove(const QString& path) override { return m_system->remove(path); }
    bool exists(const QString& path) override { return m_system->exists(path); }
    bool sameFile(const QString& a, const QString& b) override { return m_system->sameFile(a, b); }
    QStringList filesBeside(const QString& target, const QString& tag) override
    {
        return m_system->filesBeside(target, tag);
    }
    bool folderWritable(const QString& target) override { return writableFolder && m_system->folderWritable(target); }
    LockAttempt lockForConversion(const QString& target) override { return m_system->lockForConversion(target); }

private:
    std::unique_ptr<CatalogueFiles> m_system = systemCatalogueFiles();
};

} // namespace ondiva::fakes
