#include "CatalogueSwap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::catalogue {
namespace {

constexpr int kMaxKeptNames = 1000;

// After a failed swap: the second name is ours to take back, but only while the
// catalogue's name verifiably still holds the old file: the same file, or, where
// keepAs had to copy, the same bytes. A file system that replaces a file by
// removing it first (some network and FUSE ones) may have lost that name on the
// way, and the second is then the old file's only one.
SwapResult keepOnlyIfNeeded(CatalogueFiles& files, const QString& cataloguePath, const QString& kept,
                            FileStatus failure)
{
    SwapResult result{std::move(failure)};
    if (files.sameFile(cataloguePath, kept) || sameBytes(cataloguePath, kept))
        files.remove(kept);
    else
        result.keptAs = kept;
    return result;
}

} // namespace

QString keptCandidate(const QString& cataloguePath, QStringView stem, int n)
{
    const QFileInfo info(cataloguePath);
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    const QString number = n > 1 ? u'-' + QString::number(n) : QString();
    return info.dir().filePath(info.completeBaseName() + stem.toString() + number + suffix);
}

QString firstFreeKeptName(const QString& cataloguePath, QStringView stem, CatalogueFiles& files)
{
    for (int n = 1; n < kMaxKeptNames; ++n) {
        if (!files.exists(keptCandidate(cataloguePath, stem, n)))
            return keptCandidate(cataloguePath, stem, n);
    }
    return keptCandidate(cataloguePath, stem, kMaxKeptNames);
}

void removeSecondNames(const QString& cataloguePath, QStringView stem, CatalogueFiles& files)
{
    for (int n = 1; n < kMaxKeptNames && files.exists(keptCandidate(cataloguePath, stem, n)); ++n) {
        if (files.sameFile(keptCandidate(cataloguePath, stem, n), cataloguePath))
            files.remove(keptCandidate(cataloguePath, stem, n));
    }
}

bool sameBytes(const QString& a, const QString& b)
{
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) || first.size() != second.size())
        return false;
    constexpr qint64 kChunk = 1 << 16;
    while (!first.atEnd()) {
        const QByteArray chunk = first.read(kChunk);
        if (chunk.isEmpty() || second.read(kChunk) != chunk)
            return false;
    }
    return second.atEnd();
}

Notice fileFailureNotice(const FileStatus& status, const FailureWording& wording, const QString& cataloguePath,
                         const QString& after, const QString& source)
{
    const QString doing = wording.doing.toString();
    const QString retry = wording.retry.toString();
    const QString folder = QDir::toNativeSeparators(QFileInfo(cataloguePath).absolutePath());
    const QString file = QDir::toNativeSeparators(source);
    QString text;
    switch (status.kind) {
    case FileStatus::Kind::NoSpace:
        text = u"Impossibile %1: lo spazio sul disco della cartella «%2» è esaurito. Liberare spazio e %3."_s.arg(
            doing, folder, retry);
        break;
    case FileStatus::Kind::InUse:
        text = u"Impossibile %1 «%2»: il file è in uso da parte di un altro programma. Chiudere quel programma e %3."_s
                   .arg(wording.replacing.toString(), QDir::toNativeSeparators(cataloguePath), retry);
        break;
    case FileStatus::Kind::Denied:
        text = u"Impossibile %1: non si hanno i permessi per scrivere nella cartella «%2»."_s.arg(doing, folder);
        break;
    case FileStatus::Kind::SourceLost:
        text = u"Impossibile %1: il file «%2» non si può più leggere (è stato spostato o eliminato, oppure il disco "
               u"non risponde)."_s.arg(doing, file);
        break;
    case FileStatus::Kind::SourceChanged:
        text = u"Impossibile %1: il file «%2» è cambiato durante la copia, forse perché un altro programma lo sta "
               u"usando. Chiudere quel programma e %3."_s.arg(doing, file, retry);
        break;
    default:
        text = u"Impossibile %1: errore nello scrivere nella cartella «%2»."_s.arg(doing, folder);
        break;
    }
    return {text + after, status.detail};
}

SwapResult swapIn(CatalogueFiles& files, const QString& cataloguePath, const QString& temporary, QStringView keepStem)
{
    QString kept;
    if (!keepStem.isEmpty()) {
        for (int n = 1;; ++n) {
            kept = keptCandidate(cataloguePath, keepStem, n);
            FileStatus status = files.keepAs(cataloguePath, kept);
            if (status)
                break;
            if (status.kind != FileStatus::Kind::Exists || n >= kMaxKeptNames)
                return SwapResult{std::move(status)};
        }
        if (FileStatus synced = files.syncFolder(kept); !synced)
            return keepOnlyIfNeeded(files, cataloguePath, kept, std::move(synced));
    }
    SwapResult result;
    if (FileStatus renamed = files.rename(temporary, cataloguePath); !renamed) {
        if (files.exists(temporary))
            return kept.isEmpty() ? SwapResult{std::move(renamed)}
                                  : keepOnlyIfNeeded(files, cataloguePath, kept, std::move(renamed));
        // The rename took effect although it reported an error: the new
        // catalogue has the name, and the old file is only under the kept one.
        result.unconfirmed = true;
        result.unconfirmedDetail = renamed.detail;
    } else if (FileStatus synced = files.syncFolder(cataloguePath); !synced) {
        // Swapped: the swap stands, and is never undone by dropping the kept file.
        result.unconfirmed = true;
        result.unconfirmedDetail = synced.detail;
    }
    result.keptAs = kept;
    return result;
}

} // namespace ondiva::catalogue
