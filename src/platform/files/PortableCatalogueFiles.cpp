#include "PortableCatalogueFiles.h"

#include <QDir>
#include <QFileInfo>

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

} // namespace ondiva
