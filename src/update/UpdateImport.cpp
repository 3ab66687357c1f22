#include "UpdateImport.h"

#include "UpdateWriter.h"
#include "catalogue/CatalogueConnection.h"
#include "platform/FileDialog.h"
#include "platform/InputFile.h"
#include "platform/MessageBox.h"

#include <QByteArray>
#include <QDir>
#include <QScopeGuard>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::update {

using catalogue::Connection;
using Encoding = UpdateReader::Encoding;
using ErrorKind = UpdateReader::Error::Kind;

namespace {

constexpr qsizetype kChunkSize = 256 * 1024;

// The dialog preset; a name no longer than it means the dialog was cancelled.
const QString& filePattern()
{
    static const QString pattern = u"*.txt"_s;
    return pattern;
}

QString title() { return u"Ondiva Magazine Database Update"_s; }

QString unchanged(const QString& what) { return what + u" Il database di Ondiva Magazine non è stato modificato."_s; }

QString invalidFile(const QString& why) { return unchanged(u"Il file di aggiornamento non è valido: "_s + why); }

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

QString describe(const UpdateReader::Error& error)
{
    const QString line = QString::number(error.line);
    const QString section = QString::fromLatin1(catalogue::schemaOf(error.section).name);
    switch (error.kind) {
    case ErrorKind::BadHeader:
        return u"Si è verificato un errore nel database di Ondiva Magazine!"_s;
    case ErrorKind::MissingFields: {
        const QString rule = u"ma ogni riga della sezione %1 deve avere %2 campi separati da TAB."_s.arg(
            section, QString::number(error.fieldsNeeded));
        if (error.fieldCount == 0)
            return invalidFile(u"la riga %1 è vuota, "_s.arg(line) + rule);
        if (error.fieldCount == 1)
            return invalidFile(u"alla riga %1 c'è un solo campo, "_s.arg(line) + rule);
        return invalidFile(u"alla riga %1 ci sono %2 campi, "_s.arg(line, QString::number(error.fieldCount)) + rule);
    }
    case ErrorKind::Truncated:
        return invalidFile(u"il file finisce alla riga %1, prima della riga «%2»."_s.arg(
            line, QString::fromLatin1(UpdateReader::endMarker(error.section))));
    case ErrorKind::NulByte:
        return invalidFile(u"la riga %1 contiene un carattere nullo, quindi non è un file di testo."_s.arg(line));
    case ErrorKind::LineTooLong:
        return invalidFile(u"la riga %1 è troppo lunga per un file di aggiornamento."_s.arg(line));
    case ErrorKind::InvalidUtf8:
        // Only a file that changed after it was checked gets here.
        return invalidFile(u"la riga %1 non è più testo UTF-8 valido; il file è stato modificato durante "
                           u"l'aggiornamento."_s.arg(line));
    case ErrorKind::None:
        break;
    }
    return invalidFile(u"errore sconosciuto alla riga %1."_s.arg(line));
}

// The issue number shown to the user: the identifier from its third character on.
QString issueOf(const QString& identifier)
{
    qsizetype skip = 0;
    for (int chars = 0; chars < 2 && skip < identifier.size(); ++chars)
        skip += identifier.at(skip).isHighSurrogate() && skip + 1 < identifier.size() ? 2 : 1;
    return identifier.mid(skip);
}

QString failed(const CatalogueError& error) { return unchanged(error.message); }

} // namespace

UpdateImport::UpdateImport(QString cataloguePath, FileDialog& dialog, MessageBox& messages, InputFile& input)
    : m_cataloguePath(std::move(cataloguePath))
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
    Result<Encoding> checked = check(path);
    const QString notice = checked ? write(path, *checked) : checked.error().message;
    m_messages.show(notice, MessageBox::CancelTryContinue, title());
}

Status UpdateImport::stream(const QString& path, UpdateReader& reader)
{
    if (!m_input.open(path))
        return CatalogueError{CatalogueError::Kind::Failed,
                              unchanged(u"Impossibile aprire il file di aggiornamento «%1»: %2."_s.arg(
                                  shown(path), m_input.errorString()))};
    const auto closeInput = qScopeGuard([this] { m_input.close(); });
    QByteArray buffer(kChunkSize, Qt::Uninitialized);
    while (reader.isReading()) {
        const qint64 count = m_input.read(buffer.data(), buffer.size());
        if (count < 0)
            return CatalogueError{CatalogueError::Kind::Failed,
                                  unchanged(u"Impossibile leggere il file di aggiornamento «%1»: %2."_s.arg(
                                      shown(path), m_input.errorString()))};
        if (count == 0)
            reader.finish();
        else
            reader.feed(QByteArrayView(buffer.data(), count));
    }
    return Done{};
}

Result<Encoding> UpdateImport::check(const QString& path)
{
    UpdateReader reader;
    if (Status read = stream(path, reader); !read)
        return read.error();
    if (reader.state() != UpdateReader::State::Complete)
        return CatalogueError{CatalogueError::Kind::Failed, describe(reader.error())};
    return reader.detectedEncoding();
}

QString UpdateImport::write(const QString& path, Encoding encoding)
{
    Result<Connection> connection = Connection::open(m_cataloguePath, Connection::Access::Write);
    if (!connection)
        return failed(connection.error());
    // The check for an earlier application, the identifier and every record go
    // into one transaction; leaving this function without commit rolls it back.
    if (Status begun = connection->begin(); !begun)
        return failed(begun.error());
    Result<UpdateWriter> writer = UpdateWriter::create(*connection);
    if (!writer)
        return failed(writer.error());

    UpdateReader reader(encoding, *writer);
    if (Status read = stream(path, reader); !read)
        return read.error().message;
    if (writer->alreadyApplied()) {
        const QString identifier = QString::fromUtf8(writer->updateIdentifier());
        return u"Il database di Ondiva Magazine è già stato aggiornato al numero: "_s + issueOf(identifier);
    }
    if (!writer->status())
        return failed(writer->status().error());
    if (reader.state() != UpdateReader::State::Complete)
        return describe(reader.error());
    if (Status committed = connection->commit(); !committed)
        return failed(committed.error());
    return u"Il database di Ondiva Magazine è stato aggiornato con successo!"_s;
}

} // namespace ondiva::update
