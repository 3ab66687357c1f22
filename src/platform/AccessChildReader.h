#pragma once

#include "platform/LegacyCatalogueReader.h"

namespace ondiva {

// Reads Access files through the reader program (ondiva-accessreader), which
// runs libmdb in a process of its own: a damaged file that makes libmdb crash
// or loop forever costs that process, never the program. A reader that sends
// nothing for silenceTimeoutMs is ended. It waits on the process without an
// event loop, so it may be called from any thread.
class AccessChildReader : public LegacyCatalogueReader {
public:
    explicit AccessChildReader(QString readerProgram, int silenceTimeoutMs = 20000);

    std::optional<LegacyReadFailure> listTables(const QString& path, std::vector<LegacyTable>& tables) override;
    std::optional<LegacyReadFailure> readTables(const QString& path, const QStringList& tables,
                                                LegacyRowSink& sink) override;

    // The reader program that lies beside the running program.
    static QString besideProgram();

private:
    class Frames;
    // Runs the reader on the file: a listing when tables is null, else a dump of those tables.
    std::optional<LegacyReadFailure> run(const QString& path, const QStringList* tables, Frames& frames);

    QString m_program;
    int m_silenceTimeoutMs;
};

} // namespace ondiva
