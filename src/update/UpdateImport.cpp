#include "UpdateImport.h"

#include "UpdateWriter.h"
#include "catalogue/CatalogueConnection.h"
#include "platform/controls/FileDialog.h"
#include "platform/controls/InputFile.h"
#include "platform/controls/MessageBox.h"

#include <QByteArray>
#include <QScopeGuard>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::update {

using catalogue::Connection;
using Encoding = UpdateReader::Encoding;

namespace {

constexpr qsizetype kChunkSize = 256 * 1024;

// The dialog preset; a name no longer than it means the dialog was cancelled.
const QString& filePattern()
{
    static const QString pattern = u"*.txt"_s;
    return pattern;
}

QString title() { return u"Ondiva Magazine Database Update"_s; }

} // namespace

UpdateImport::UpdateImport(QString cataloguePath, CatalogueFiles& files, FileDialog& dialog, MessageBox& messages,
                           InputFile& input)
    : m_cataloguePath(std::move(cataloguePath))
    , m_files(files)
    , m_dialog(dialog)
    , m_messages(messages)
    , m_input(input)
{}

void UpdateImport::run()
{
    m_dialog.setFilter(filePattern());
    m_dialog.setFileName(filePattern());
    m_dialog.showOpen();
    const QString path = m_dialog.fileName();
    if (path.size() <= filePattern().size())
        return;

    const int confirmStyle = MessageBox::YesNo | MessageBox::IconCritical | MessageBox::DefaultButton2;
    if (m_messages.show(u"Sei sicuro di voler aggiornare il database di Ondiva Magazine?"_s, confirmStyle, title()) !=
        MessageBox::AnswerYes)
        return;

    // Both steps close the file and the catalogue before returning, so a notice
    // left on screen never keeps either of them open.
    Encoding encoding = Encoding::Utf8;
    const std::optional<ImportOutcome> refused = check(path, encoding);
    const Notice notice = noticeFor(refused ? *refused : write(path, encoding));
    m_messages.show(notice.text, MessageBox::CancelTryContinue, title(), notice.details);
}

std::optional<ImportOutcome> UpdateImport::stream(const QString& path, UpdateReader& reader)
{
    if (!m_input.open(path))
        return ImportOutcome::fileUnreadable(path, true, m_input.errorString(), m_input.errorDetail());
    const auto closeInput = qScopeGuard([this] { m_input.close(); });
    QByteArray buffer(kChunkSize, Qt::Uninitialized);
    while (reader.isReading()) {
        const qint64 count = m_input.read(buffer.data(), buffer.size());
        if (count < 0)
            return ImportOutcome::fileUnreadable(path, false, m_input.errorString(), m_input.errorDetail());
        if (count == 0)
            reader.finish();
        else
            reader.feed(QByteArrayView(buffer.data(), count));
    }
    return std::nullopt;
}

std::optional<ImportOutcome> UpdateImport::check(const QString& path, Encoding& encoding)
{
    UpdateReader reader;
    if (std::optional<ImportOutcome> unreadable = stream(path, reader))
        return unreadable;
    if (reader.state() != UpdateReader::State::Complete)
        return ImportOutcome::invalidFile(reader.error());
    encoding = reader.detectedEncoding();
    return std::nullopt;
}

ImportOutcome UpdateImport::write(const QString& path, Encoding encoding)
{
    Result<Connection> connection = Connection::openForWriting(m_cataloguePath, m_files);
    if (!connection)
        return ImportOutcome::catalogueFailed(connection.error());
    // The check for an earlier application, the identifier and every record go
    // into one transaction; leaving this function without commit rolls it back.
    if (Status begun = connection->begin(); !begun)
        return ImportOutcome::catalogueFailed(begun.error());
    Result<UpdateWriter> writer = UpdateWriter::create(*connection);
    if (!writer)
        return ImportOutcome::catalogueFailed(writer.error());

    UpdateReader reader(encoding, *writer);
    if (std::optional<ImportOutcome> unreadable = stream(path, reader))
        return *unreadable;
    if (writer->stopped())
        return *writer->stopped();
    if (reader.state() != UpdateReader::State::Complete)
        return ImportOutcome::invalidFile(reader.error());
    if (Status committed = connection->commit(); !committed)
        return ImportOutcome::catalogueFailed(committed.error());
    return ImportOutcome::updated();
}

} // namespace ondiva::update
