#include "PortableCatalogueFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

using namespace Qt::Literals::StringLiterals;

namespace ondiva {

QStringList filesBesideByName(const QString& target, const QString& tag)
{
    const QFileInfo info(target);
    QStringList found;
    const QString prefix = info.fileName() + tag;
    const QDir folder = info.absoluteDir();
    for (const QString& name : folder.entryList({prefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System))
        found << folder.filePath(name);
    return found;
}

namespace {

class QtLock : public CatalogueLock {
public:
    explicit QtLock(std::unique_ptr<QLockFile> file)
        : m_file(std::move(file))
    {}

private:
    std::unique_ptr<QLockFile> m_file; // unlocks as it goes
};

} // namespace

LockAttempt lockFileForConversion(const QString& target)
{
    auto file = std::make_unique<QLockFile>(target + u".lock"_s);
    // Only a lock whose process is gone is stale, however long a conversion takes.
    file->setStaleLockTime(0);
    LockAttempt attempt;
    if (file->tryLock(0)) {
        attempt.kind = LockAttempt::Kind::Acquired;
        attempt.lock = std::make_unique<QtLock>(std::move(file));
        return attempt;
    }
    switch (file->error()) {
    case QLockFile::LockFailedError:
        attempt.kind = LockAttempt::Kind::HeldElsewhere;
        break;
    case QLockFile::PermissionError:
        attempt.status = {FileStatus::Kind::Denied, u"cannot create %1"_s.arg(target + u".lock"_s)};
        break;
    default:
        attempt.status = {FileStatus::Kind::Failed, u"cannot create %1"_s.arg(target + u".lock"_s)};
        break;
    }
    return attempt;
}

} // namespace ondiva
