#pragma once

// Brings a catalogue the user chooses (an earlier version's Access file, or a
// catalogue of this program) into the place of qx.mdb: copied beside it, read
// back against the source, forced to disk and swapped in, in one step. The
// catalogue that was there is kept, byte for byte, under a name of its own
// ("qx-precedente.mdb" ...), unless it is the untouched demo catalogue. The
// source is only ever read.

#include "CatalogueSource.h"
#include "platform/files/CatalogueFiles.h"
#include "platform/controls/ConversionProgress.h"
#include "platform/controls/MessageBox.h"

#include <QByteArray>
#include <QString>

namespace ondiva::catalogue {

// What lies under the catalogue's name before a catalogue is brought.
enum class CurrentCatalogue {
    None, // no file
    Demo, // byte for byte the demo catalogue shipped with the program
    Own,  // anything else: the user's own, to keep
};

// The demo catalogue the program ships, known by its size and SHA-256: only a
// catalogue byte for byte the same is replaced without being kept.
struct DemoCatalogue {
    qint64 size = -1;
    QByteArray sha256; // hexadecimal

    static DemoCatalogue of(const QString& path);
    // Whether the file at path is the demo catalogue, untouched (a file of
    // another size is told apart without being read).
    bool matches(const QString& path) const;
};

struct BringOutcome {
    enum class Kind {
        Brought,
        Cancelled,
        InProgressElsewhere, // another window holds the catalogue's lock
        FolderReadOnly,
        Refused,      // the source is no catalogue to bring (check)
        OwnKept,      // only a missing or demo catalogue was to be replaced, and there is the user's own
        Unfinished,   // the current catalogue has an unfinished update beside it (companion)
        Damaged,      // the copy of a catalogue failed its whole check (reason)
        FileFailed,   // copying or swapping failed (fileStatus)
    };
    Kind kind = Kind::Brought;
    SourceCheck check;
    QString reason;
    QString companion;
    FileStatus fileStatus;
    CurrentCatalogue replaced = CurrentCatalogue::None;
    // Where the previous catalogue is kept: after the swap, or after a failed
    // one that may have cost the catalogue's name its file.
    QString keptAs;
    bool unconfirmed = false;
    QString unconfirmedDetail;
};

class CatalogueBringIn {
public:
    CatalogueBringIn(QString cataloguePath, QString source, CatalogueFiles& files, DemoCatalogue demo);

    CurrentCatalogue current() const;
    // The name the current catalogue would be kept under now.
    QString keptName() const;

    enum class Over {
        Anything,   // the command of the File menu: the current catalogue is kept
        NoneOrDemo, // the installer: a catalogue of the user's own is never replaced
    };
    // Brings the source in. The caller holds the files' conversion lock. May run
    // off the event thread: it reaches the user only through the progress.
    BringOutcome run(ConversionProgress& progress, Over over = Over::Anything);

    // Removes what an interrupted bringing in left beside the catalogue: the
    // unfinished copy, and the second name it gave the previous catalogue while
    // that still has its own. Only under the conversion lock.
    static void tidy(const QString& cataloguePath, CatalogueFiles& files);

private:
    BringOutcome copyAndSwap(ConversionProgress& progress, CurrentCatalogue current, BringOutcome outcome);

    QString m_path;
    QString m_source;
    CatalogueFiles& m_files;
    DemoCatalogue m_demo;
};

Notice noticeFor(const BringOutcome& outcome, const QString& source, const QString& cataloguePath);
int noticeIcon(const BringOutcome& outcome);
// Why the source cannot be brought, for a refusal before anything is done.
Notice refusalFor(const SourceCheck& check, const QString& source, const QString& cataloguePath);

// What the progress says while a catalogue is copied (set on the event thread, before the run).
ConversionProgress::Wording copyWording();


} // namespace ondiva::catalogue
