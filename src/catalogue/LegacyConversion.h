#pragma once

// Takes over a catalogue that an earlier version kept as a Microsoft Access
// file: its five tables are written, row by row and in the order the file
// keeps them, into a new catalogue beside it, which then takes its name in one
// step. The Access file's bytes stay, unchanged, under a name of their own.

#include "CatalogueError.h"
#include "Statements.h"
#include "platform/CatalogueFiles.h"
#include "platform/LegacyCatalogueReader.h"
#include "platform/MessageBox.h"

#include <QString>
#include <QStringList>

#include <array>

namespace ondiva {
class ConversionProgress;
}

namespace ondiva::catalogue {

// What a conversion came to; noticeFor() turns it into words.
struct ConversionOutcome {
    enum class Kind {
        Converted,
        Cancelled,      // the user stopped it
        FolderReadOnly, // the catalogue's folder may not be written
        ReaderFailed,   // the Access file could not be read (readFailure)
        MissingTable,   // table
        MissingColumn,  // table, column
        RowsMissing,    // table: the rows read are not the rows the file says it holds (declaredRows)
        WriteFailed,    // the new catalogue could not be written (writeError)
        FileFailed,     // the new catalogue could not take the old one's place (fileStatus)
    };
    Kind kind = Kind::Converted;
    LegacyReadFailure readFailure;
    QString table;
    QString column;
    qint64 declaredRows = 0;
    CatalogueError writeError;
    FileStatus fileStatus;

    // Converted: rows carried per table (in kRequiredTables order), the name
    // the original is kept under, the Access tables left there, and columns
    // whose names had to change.
    std::array<qint64, kRequiredTables.size()> rows{};
    QString keptAs;
    QStringList otherTables;
    QStringList renamedColumns;
};

Notice noticeFor(const ConversionOutcome& outcome, const QString& cataloguePath);

class LegacyConversion {
public:
    LegacyConversion(QString cataloguePath, LegacyCatalogueReader& reader, CatalogueFiles& files,
                     ConversionProgress& progress);

    ConversionOutcome run();

    // The name the original will be kept under: the first free one of
    // "qx-originale-access.mdb", "qx-originale-access-2.mdb" ...
    QString keptName() const;

    // Removes what an interrupted conversion left beside the catalogue: its
    // unfinished new catalogue, and a second name it gave the original.
    static void tidy(const QString& cataloguePath, CatalogueFiles& files);

private:
    QString m_path;
    LegacyCatalogueReader& m_reader;
    CatalogueFiles& m_files;
    ConversionProgress& m_progress;
};

// At start-up: when the catalogue is an Access file, asks whether to convert
// it now, converts it and says how it went. Returns once the user has read the
// outcome; a catalogue left as it was is reported by each command.
void offerConversion(const QString& cataloguePath, const QString& title, MessageBox& messages,
                     LegacyCatalogueReader& reader, CatalogueFiles& files, ConversionProgress& progress);

} // namespace ondiva::catalogue
