#pragma once

#include "platform/reader/LegacyCatalogueReader.h"

namespace ondiva {

// Reads Access files through the reader program (ondiva-accessreader), which
// runs libmdb in a process of its own: a damaged file that makes libmdb crash
// or loop forever costs that process, never the program. Every wait on the
// reader is bounded: a reader that sends nothing for silenceTimeoutMs is ended,
// and so is one whose output cannot be read, or whose reading the watch no
// longer wants (asked several times a second). It waits on the process
// without an event loop, so it may be called from any thread.
//
// Given several reader programs, it lists a file with the first that can read
// it: one that cannot be started, or finds no driver for Access files, gives way
// to the next (on Windows, the 32-bit reader for the system's own driver, then
// the 64-bit one for the Access Database Engine). The rows come from the reader
// that listed.
class AccessChildReader : public LegacyCatalogueReader {
public:
    explicit AccessChildReader(QStringList readerPrograms, int silenceTimeoutMs = 20000);
    explicit AccessChildReader(const QString& readerProgram, int silenceTimeoutMs = 20000)
        : AccessChildReader(QStringList{readerProgram}, silenceTimeoutMs)
    {}

    std::optional<LegacyReadFailure> listTables(const QString& path, std::vector<LegacyTable>& tables,
                                                LegacyReadWatch& watch) override;
    std::optional<LegacyReadFailure> readTables(const QString& path, const QStringList& tables,
                                                LegacyRowSink& sink) override;

    // The reader programs that lie beside the running program, in the order they are tried.
    static QStringList besideProgram();

private:
    class Frames;
    // Runs the reader on the file: a listing when tables is null, else a dump of those tables.
    std::optional<LegacyReadFailure> run(const QString& program, const QString& path, const QStringList* tables,
                                         Frames& frames, LegacyReadWatch& watch);

    QStringList m_programs;
    qsizetype m_chosen = 0; // the reader that listed the file
    int m_silenceTimeoutMs;
};

} // namespace ondiva
