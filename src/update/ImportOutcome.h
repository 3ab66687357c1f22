#pragma once

#include "UpdateReader.h"
#include "catalogue/CatalogueError.h"
#include "platform/controls/MessageBox.h"

#include <QString>

namespace ondiva::update {

// What one run of the update command came to. Every way the command can end
// is one of these, and noticeFor() is the one place that turns it into words.
struct ImportOutcome {
    enum class Kind {
        Updated,         // every record is in, and the identifier recorded
        AlreadyApplied,  // the catalogue already records this identifier
        BadHeader,       // line 2 is not "ARTICOLI(BOF)"
        InvalidFile,     // the file breaks its format further on (readerError)
        FileUnreadable,  // the update file could not be opened or read (path, detail)
        CatalogueFailed, // the catalogue could not be read or written (catalogueError)
    };

    Kind kind = Kind::Updated;
    QString identifier;              // AlreadyApplied
    UpdateReader::Error readerError; // InvalidFile
    CatalogueError catalogueError;   // CatalogueFailed
    QString path;                    // FileUnreadable
    bool opening = false;            // FileUnreadable: it could not even be opened
    QString reason;                  // FileUnreadable: why, in Italian
    QString detail;                  // FileUnreadable: the system's own words

    static ImportOutcome updated() { return {}; }
    static ImportOutcome alreadyApplied(QString identifier);
    static ImportOutcome invalidFile(const UpdateReader::Error& error);
    static ImportOutcome fileUnreadable(QString path, bool opening, QString reason, QString detail);
    static ImportOutcome catalogueFailed(CatalogueError error);
};

Notice noticeFor(const ImportOutcome& outcome);

} // namespace ondiva::update
