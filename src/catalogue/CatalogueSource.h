#pragma once

// What a file the user offers as the catalogue is, decided before anything is
// copied: an Access 97 or 2000-2003 file, a catalogue of this program, or
// something the program cannot take, and why. The file is only read: a SQLite
// file is opened immutable, so that nothing (a journal rolled back, a lock
// taken) ever changes it.

#include "platform/files/CatalogueFiles.h"

#include <QString>

namespace ondiva::catalogue {

struct SourceCheck {
    enum class Verdict {
        Access97,     // Jet 3
        Access2000,   // Jet 4
        Catalogue,    // a catalogue of this program
        Missing,      // no such file
        Unreadable,   // it cannot be read (permission, held by another program)
        NotCatalogue, // anything else: text, another database, damaged (reason)
        NewerAccess,  // Access 2007 or later
        Unfinished,   // a catalogue with a journal of an unfinished change beside it (companion)
        IsCurrent,    // the catalogue the program uses now
    };
    Verdict verdict = Verdict::NotCatalogue;
    QString reason = {};    // NotCatalogue: what is wrong, in Italian; Unreadable: the system's words
    QString companion = {}; // Unfinished: the journal; Access: the lock file beside it, when there is one

    bool usable() const { return verdict == Verdict::Access97 || verdict == Verdict::Access2000 || verdict == Verdict::Catalogue; }
    bool access() const { return verdict == Verdict::Access97 || verdict == Verdict::Access2000; }
};

// Checks source as a catalogue to be brought in the place of cataloguePath.
SourceCheck checkSource(const QString& source, const QString& cataloguePath, CatalogueFiles& files);

// A journal or write-ahead log beside a SQLite file that holds changes not yet
// in it (an empty one holds nothing): a copy of the file alone would be torn.
QString unfinishedChangeBeside(const QString& path);

// The whole check of a SQLite catalogue's contents (every page read), for the
// copy of it: empty when sound, otherwise what is wrong, in Italian.
QString damageIn(const QString& catalogue);

} // namespace ondiva::catalogue
