#include "ImportOutcome.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::update {
namespace {

using ErrorKind = UpdateReader::Error::Kind;

// Every failure but the ones with a fixed text says that nothing was changed.
QString unchanged(const QString& what) { return what + u" Il database di Ondiva Magazine non è stato modificato."_s; }

QString invalidFile(const QString& why) { return unchanged(u"Il file di aggiornamento non è valido: "_s + why); }

QString describe(const UpdateReader::Error& error)
{
    const QString line = QString::number(error.line);
    const QString section = QString::fromLatin1(catalogue::schemaOf(error.section).name);
    switch (error.kind) {
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
    case ErrorKind::BadHeader:
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

} // namespace

ImportOutcome ImportOutcome::alreadyApplied(QString identifier)
{
    ImportOutcome outcome;
    outcome.kind = Kind::AlreadyApplied;
    outcome.identifier = std::move(identifier);
    return outcome;
}

ImportOutcome ImportOutcome::invalidFile(const UpdateReader::Error& error)
{
    ImportOutcome outcome;
    outcome.kind = error.kind == ErrorKind::BadHeader ? Kind::BadHeader : Kind::InvalidFile;
    outcome.readerError = error;
    return outcome;
}

ImportOutcome ImportOutcome::fileUnreadable(QString path, bool opening, QString reason, QString detail)
{
    ImportOutcome outcome;
    outcome.kind = Kind::FileUnreadable;
    outcome.path = std::move(path);
    outcome.opening = opening;
    outcome.reason = std::move(reason);
    outcome.detail = std::move(detail);
    return outcome;
}

ImportOutcome ImportOutcome::catalogueFailed(CatalogueError error)
{
    ImportOutcome outcome;
    outcome.kind = Kind::CatalogueFailed;
    outcome.catalogueError = std::move(error);
    return outcome;
}

Notice noticeFor(const ImportOutcome& outcome)
{
    using Kind = ImportOutcome::Kind;
    switch (outcome.kind) {
    case Kind::Updated:
        return {u"Il database di Ondiva Magazine è stato aggiornato con successo!"_s, {}};
    case Kind::AlreadyApplied:
        return {u"Il database di Ondiva Magazine è già stato aggiornato al numero: "_s + issueOf(outcome.identifier),
                {}};
    case Kind::BadHeader:
        return {u"Si è verificato un errore nel database di Ondiva Magazine!"_s, {}};
    case Kind::InvalidFile:
        return {describe(outcome.readerError), {}};
    case Kind::FileUnreadable: {
        const QString what = outcome.opening ? u"Impossibile aprire il file di aggiornamento «%1»%2."_s
                                             : u"Impossibile leggere il file di aggiornamento «%1»%2."_s;
        const QString why = outcome.reason.isEmpty() ? QString() : u": "_s + outcome.reason;
        return {unchanged(what.arg(QDir::toNativeSeparators(outcome.path), why)), outcome.detail};
    }
    case Kind::CatalogueFailed:
        break;
    }
    return {unchanged(outcome.catalogueError.message), outcome.catalogueError.detail};
}

} // namespace ondiva::update
