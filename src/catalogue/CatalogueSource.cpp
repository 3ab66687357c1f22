#include "CatalogueSource.h"

#include "CatalogueConnection.h"
#include "LegacyFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::catalogue {
namespace {

using Verdict = SourceCheck::Verdict;

constexpr QByteArrayView kSqliteMagic("SQLite format 3\0", 16);

// The lock file Access keeps beside a database it has open: "qx.ldb" for "qx.mdb".
QString accessLockFile(const QString& source)
{
    const QFileInfo info(source);
    const QString lock = info.dir().filePath(info.completeBaseName() + u".ldb"_s);
    return QFileInfo::exists(lock) ? lock : QString();
}

// Whether two paths name the catalogue itself: the same path however written,
// or another name of the same file.
bool isCurrent(const QString& source, const QString& cataloguePath, CatalogueFiles& files)
{
    const QString a = QFileInfo(source).canonicalFilePath();
    const QString b = QFileInfo(cataloguePath).canonicalFilePath();
#ifdef Q_OS_WIN
    constexpr Qt::CaseSensitivity kNames = Qt::CaseInsensitive;
#else
    constexpr Qt::CaseSensitivity kNames = Qt::CaseSensitive;
#endif
    return (!a.isEmpty() && a.compare(b, kNames) == 0) || files.sameFile(source, cataloguePath);
}

} // namespace

QString unfinishedChangeBeside(const QString& path)
{
    for (const QString& suffix : {u"-journal"_s, u"-wal"_s}) {
        const QFileInfo companion(path + suffix);
        if (companion.exists() && companion.size() > 0)
            return companion.filePath();
    }
    return {};
}

SourceCheck checkSource(const QString& source, const QString& cataloguePath, CatalogueFiles& files)
{
    const QFileInfo info(source);
    if (!info.exists())
        return {Verdict::Missing};
    if (!info.isFile())
        return {Verdict::NotCatalogue, u"non è un file"_s};
    if (isCurrent(source, cataloguePath, files))
        return {Verdict::IsCurrent};

    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return {Verdict::Unreadable, file.errorString()};
    const QByteArray head = file.read(100);
    file.close();

    if (const std::optional<AccessFormat> format = accessFormatOf(head)) {
        switch (*format) {
        case AccessFormat::Jet3:
            return {Verdict::Access97, {}, accessLockFile(source)};
        case AccessFormat::Jet4:
            return {Verdict::Access2000, {}, accessLockFile(source)};
        case AccessFormat::Ace:
            return {Verdict::NewerAccess};
        }
    }
    if (!head.startsWith(kSqliteMagic))
        return {Verdict::NotCatalogue, u"non è né un file di Microsoft Access né un catalogo di questo programma"_s};
    if (const QString journal = unfinishedChangeBeside(source); !journal.isEmpty())
        return {Verdict::Unfinished, {}, journal};
    Result<Connection> inspected = Connection::open(source, Connection::Access::Inspect);
    if (!inspected) {
        const CatalogueError& error = inspected.error();
        if (error.kind == CatalogueError::Kind::NotCatalogue)
            return {Verdict::NotCatalogue, error.reason};
        return {Verdict::Unreadable, error.detail.isEmpty() ? error.message : error.detail};
    }
    return {Verdict::Catalogue};
}

QString damageIn(const QString& catalogue)
{
    Result<Connection> db = Connection::open(catalogue, Connection::Access::Inspect);
    if (!db)
        return db.error().reason.isEmpty() ? db.error().message : db.error().reason;
    Result<Cursor> check = db->execute("pragma quick_check");
    if (!check)
        return check.error().reason.isEmpty() ? u"il file è danneggiato"_s : check.error().reason;
    if (check->field(0) != QUtf8StringView("ok"))
        return u"il file è danneggiato"_s;
    return {};
}

} // namespace ondiva::catalogue
