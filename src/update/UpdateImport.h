#pragma once

#include "ImportOutcome.h"
#include "UpdateReader.h"

#include <QString>

#include <optional>

namespace ondiva {
class CatalogueFiles;
class FileDialog;
class InputFile;
class MessageBox;
} // namespace ondiva

namespace ondiva::update {

// The "Update database" command: the user picks an update file, confirms, and
// the file's records are added to the catalogue.
//
// The file is read twice. The first pass checks all of it and picks its
// encoding without touching the catalogue; only a file that passes is read again
// and written, inside one transaction that is committed at the very end. So a
// broken file, an update that was already applied or any failure on the way
// leaves the catalogue exactly as it was.
class UpdateImport {
public:
    // files say whether the catalogue's folder may be written.
    UpdateImport(QString cataloguePath, CatalogueFiles& files, FileDialog& dialog, MessageBox& messages,
                 InputFile& input);

    void run();

private:
    // Checks the whole file: nothing when it may be written (encoding is then
    // set), otherwise why it is refused.
    std::optional<ImportOutcome> check(const QString& path, UpdateReader::Encoding& encoding);
    // Writes the checked file.
    ImportOutcome write(const QString& path, UpdateReader::Encoding encoding);
    // Streams the file through the reader until the reader has read all it
    // wants; a file that cannot be read is the outcome.
    std::optional<ImportOutcome> stream(const QString& path, UpdateReader& reader);

    QString m_cataloguePath;
    CatalogueFiles& m_files;
    FileDialog& m_dialog;
    MessageBox& m_messages;
    InputFile& m_input;
};

} // namespace ondiva::update
