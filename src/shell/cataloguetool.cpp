// ondiva-catalogue: the program's own rules for taking in a catalogue, for the
// installer, which must not keep rules of its own. It tells what a file is, what
// the program folder holds, and brings a file in with the code the program's
// File ▸ Open earlier catalogue… runs. One sentence on standard output says
// what happened; the exit status is the answer:
//
//   ondiva-catalogue check SOURCE
//       0 a catalogue to bring (Access 97, 2000-2003, or this program's own)
//       1 the same, but an Access lock file beside it says it may still be open
//       10 no such file   11 unreadable   12 not a catalogue (or damaged)
//       13 Access 2007 or later   14 a journal of an unfinished change beside it
//   ondiva-catalogue status FOLDER
//       0 no qx.mdb in FOLDER   3 the user's own catalogue   4 the untouched demo
//   ondiva-catalogue bring SOURCE FOLDER
//       0 FOLDER/qx.mdb now holds SOURCE's bytes (it was missing or the demo)
//       3 FOLDER/qx.mdb is the user's own: kept, nothing done
//       10-14 as for check, nothing done   20 copying failed, nothing changed
//       21 another window holds the catalogue   22 FOLDER may not be written
//   2 a wrong command line.

#include "DemoCatalogueDigest.h"
#include "catalogue/CatalogueBringIn.h"
#include "catalogue/LegacyConversion.h"
#include "platform/files/SystemCatalogueFiles.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace ondiva;
using namespace ondiva::catalogue;

namespace {

enum Exit : int {
    kUsable = 0,
    kUsableButOpen = 1,
    kUsage = 2,
    kOwnCatalogue = 3,
    kDemoCatalogue = 4,
    kMissing = 10,
    kUnreadable = 11,
    kNotCatalogue = 12,
    kNewerAccess = 13,
    kUnfinished = 14,
    kFailed = 20,
    kElsewhere = 21,
    kReadOnly = 22,
};

void say(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

int exitFor(const SourceCheck& check)
{
    using Verdict = SourceCheck::Verdict;
    switch (check.verdict) {
    case Verdict::Access97:
    case Verdict::Access2000:
        return check.companion.isEmpty() ? kUsable : kUsableButOpen;
    case Verdict::Catalogue:
        return kUsable;
    case Verdict::Missing:
        return kMissing;
    case Verdict::Unreadable:
        return kUnreadable;
    case Verdict::NewerAccess:
        return kNewerAccess;
    case Verdict::Unfinished:
        return kUnfinished;
    case Verdict::NotCatalogue:
    case Verdict::IsCurrent:
        break;
    }
    return kNotCatalogue;
}

// No window: the installer shows its own progress.
struct Unseen : ConversionProgress {
    void runWhileShown(const std::function<void()>& work) override { work(); }
    void start(qint64) override {}
    bool advance(qint64) override { return true; }
};

int bring(const QString& source, const QString& catalogue)
{
    const auto files = systemCatalogueFiles();
    CatalogueBringIn bringIn(catalogue, source, *files, DemoCatalogue{kDemoCatalogueSize, QByteArray(kDemoCatalogueSha256)});
    BringOutcome outcome;
    LockAttempt lock = files->lockForConversion(catalogue);
    switch (lock.kind) {
    case LockAttempt::Kind::Acquired: {
        LegacyConversion::tidy(catalogue, *files);
        CatalogueBringIn::tidy(catalogue, *files);
        Unseen progress;
        outcome = bringIn.run(progress, CatalogueBringIn::Over::NoneOrDemo);
        break;
    }
    case LockAttempt::Kind::HeldElsewhere:
        outcome.kind = BringOutcome::Kind::InProgressElsewhere;
        break;
    case LockAttempt::Kind::Failed:
        outcome.kind = files->folderWritable(catalogue) ? BringOutcome::Kind::FileFailed
                                                        : BringOutcome::Kind::FolderReadOnly;
        outcome.fileStatus = lock.status;
        break;
    }
    lock.lock.reset();
    say(noticeFor(outcome, source, catalogue).text);
    switch (outcome.kind) {
    case BringOutcome::Kind::Brought:
        return kUsable;
    case BringOutcome::Kind::Refused:
        return exitFor(outcome.check);
    case BringOutcome::Kind::OwnKept:
        return kOwnCatalogue;
    case BringOutcome::Kind::Damaged:
        return kNotCatalogue;
    case BringOutcome::Kind::InProgressElsewhere:
        return kElsewhere;
    case BringOutcome::Kind::FolderReadOnly:
        return kReadOnly;
    default:
        return kFailed;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString verb = args.value(0);
    if (verb == u"check"_s && args.size() == 2) {
        const auto files = systemCatalogueFiles();
        const SourceCheck check = checkSource(QDir::cleanPath(QDir::current().absoluteFilePath(args[1])), {}, *files);
        if (!check.usable())
            say(refusalFor(check, args[1], {}).text);
        return exitFor(check);
    }
    if (verb == u"status"_s && args.size() == 2) {
        const auto files = systemCatalogueFiles();
        const QString catalogue = QDir(args[1]).absoluteFilePath(u"qx.mdb"_s);
        switch (CatalogueBringIn(catalogue, {}, *files, DemoCatalogue{kDemoCatalogueSize, QByteArray(kDemoCatalogueSha256)}).current()) {
        case CurrentCatalogue::None:
            return kUsable;
        case CurrentCatalogue::Demo:
            return kDemoCatalogue;
        case CurrentCatalogue::Own:
            return kOwnCatalogue;
        }
    }
    if (verb == u"bring"_s && args.size() == 3)
        return bring(QDir::cleanPath(QDir::current().absoluteFilePath(args[1])),
                     QDir(args[2]).absoluteFilePath(u"qx.mdb"_s));
    std::fputs("usage: ondiva-catalogue check SOURCE | status FOLDER | bring SOURCE FOLDER\n", stderr);
    return kUsage;
}
