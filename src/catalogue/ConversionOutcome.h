#pragma once

// What the takeover of an Access catalogue came to, and the one place where
// that becomes words for the user.

#include "CatalogueError.h"
#include "Statements.h"
#include "platform/files/CatalogueFiles.h"
#include "platform/reader/LegacyCatalogueReader.h"
#include "platform/controls/MessageBox.h"

#include <QString>
#include <QStringList>

#include <array>

namespace ondiva::catalogue {

struct ConversionOutcome {
    enum class Kind {
        Converted,
        Cancelled,           // the user stopped it
        InProgressElsewhere, // another window of the program is converting this catalogue
        FolderReadOnly,      // the catalogue's folder may not be written
        FileReadOnly,        // the catalogue itself is marked read-only
        ReaderFailed,        // the Access file could not be read (readFailure)
        MissingTable,        // table
        MissingColumn,       // table, column
        RowsMissing,         // table: fewer rows read than the file says it holds (declaredRows)
        WriteFailed,         // the new catalogue could not be written (writeError)
        FileFailed,          // the new catalogue could not take the old one's place (fileStatus)
    };
    Kind kind = Kind::Converted;
    LegacyReadFailure readFailure;
    QString table;
    QString column;
    qint64 declaredRows = 0;
    CatalogueError writeError;
    FileStatus fileStatus;

    // Converted: rows carried per table (in kRequiredTables order), the name
    // the original is kept under and the Access tables left there.
    std::array<qint64, kRequiredTables.size()> rows{};
    // Converted, or FileFailed with the catalogue's name lost on the way: the
    // name the original is kept under.
    QString keptAs;
    QStringList otherTables;
    // Converted, but the folder could not be forced to disk after the swap
    // (with the system's words): the conversion stands, the original stays kept.
    bool unconfirmed = false;
    QString unconfirmedDetail;

    static ConversionOutcome failed(Kind kind);
    static ConversionOutcome readFailed(const LegacyReadFailure& failure);
    static ConversionOutcome writeFailed(CatalogueError error);
    static ConversionOutcome fileFailed(FileStatus status);
};

Notice noticeFor(const ConversionOutcome& outcome, const QString& cataloguePath);
// The icon of that notice: information, warning or error.
int noticeIcon(const ConversionOutcome& outcome);

} // namespace ondiva::catalogue
