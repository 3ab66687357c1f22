#pragma once

// Takes over a catalogue that an earlier version kept as a Microsoft Access
// file: its five tables are written, row by row and in the order the file
// keeps them, into a new catalogue beside it, which then takes its name in one
// step. The Access file's bytes stay, unchanged, under a name of their own, and
// exist under some name at every moment, whatever fails.

#include "ConversionOutcome.h"

#include <QString>

namespace ondiva {
class ConversionProgress;
}

namespace ondiva::catalogue {

class LegacyConversion {
public:
    LegacyConversion(QString cataloguePath, LegacyCatalogueReader& reader, CatalogueFiles& files,
                     ConversionProgress& progress);

    // Converts the catalogue. The caller holds the files' conversion lock.
    // May run off the event thread: it reaches the user only through the progress.
    ConversionOutcome run();

    // The name the original will be kept under: the first free one of
    // "qx-originale-access.mdb", "qx-originale-access-2.mdb" ...
    QString keptName() const;

    // Removes what an interrupted conversion left beside the catalogue: its
    // unfinished new catalogue, and a second name it gave the original. Only
    // under the conversion lock, so that no running conversion loses its files.
    static void tidy(const QString& cataloguePath, CatalogueFiles& files);

private:
    // Writes the Access tables into the new file at temporary.
    ConversionOutcome write(const QString& temporary);
    // Puts the new file in the catalogue's place, the original kept.
    ConversionOutcome swapIn(const QString& temporary, ConversionOutcome outcome);

    QString m_path;
    LegacyCatalogueReader& m_reader;
    CatalogueFiles& m_files;
    ConversionProgress& m_progress;
};

} // namespace ondiva::catalogue
