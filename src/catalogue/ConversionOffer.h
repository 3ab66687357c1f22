#pragma once

#include "platform/files/CatalogueFiles.h"

#include <QString>

namespace ondiva {
class ConversionProgress;
class LegacyCatalogueReader;
class MessageBox;
} // namespace ondiva

namespace ondiva::catalogue {

// The command that runs at start-up, before the window takes any input: when
// the catalogue is still an Access file, it asks whether to convert it now,
// converts it with its progress shown and says how it went. A catalogue left
// as it was is reported by each command.
//
// One conversion at a time per catalogue: the conversion lock is held from the
// tidying of an earlier conversion's leftovers to the end of this one, so a
// second window never touches a running conversion's files.
class ConversionOffer {
public:
    ConversionOffer(QString cataloguePath, QString title, MessageBox& messages, LegacyCatalogueReader& reader,
                    CatalogueFiles& files, ConversionProgress& progress);

    void run();
    // The same, with the conversion lock already tried for (by a command that
    // brought the catalogue in and keeps the lock until the question is answered).
    void run(LockAttempt lock);

private:
    QString m_path;
    QString m_title;
    MessageBox& m_messages;
    LegacyCatalogueReader& m_reader;
    CatalogueFiles& m_files;
    ConversionProgress& m_progress;
};

} // namespace ondiva::catalogue
