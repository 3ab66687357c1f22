#include "ConversionOutcome.h"

#include "CatalogueSwap.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::catalogue {

using Kind = ConversionOutcome::Kind;

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// Why the Access file could not be read, and what to do about it.
Notice readFailureNotice(const LegacyReadFailure& failure, const QString& path, const QString& unchanged,
                         const QString& damagedAdvice)
{
    const QString detail = failure.detail;
    switch (failure.kind) {
    case LegacyReadFailure::Kind::Unreadable:
        return {u"Impossibile leggere il catalogo «%1»: il file di Access è danneggiato, oppure è protetto da una "
                u"password o cifrato. Se ha una password, toglierla con Microsoft Access; se è danneggiato, "
                u"ripararlo con «Compatta e ripristina database». Poi riavviare il programma."_s.arg(path) +
                    unchanged,
                detail};
    case LegacyReadFailure::Kind::ValueTooLong:
        return {u"Impossibile convertire il catalogo «%1»: contiene un valore troppo lungo per essere trasferito."_s
                        .arg(path) +
                    unchanged,
                detail};
    case LegacyReadFailure::Kind::ExtraRows:
        return {u"Impossibile convertire il catalogo «%1»: il file di Access è danneggiato (la tabella %2 dà più "
                u"righe di quante il file ne dichiari)."_s.arg(path, failure.table) +
                    damagedAdvice + unchanged,
                detail};
    case LegacyReadFailure::Kind::BadStream:
        return {u"Impossibile convertire il catalogo «%1»: il lettore dei file di Access («ondiva-accessreader») "
                u"ha inviato dati non validi. È un guasto del lettore, non del file: reinstallare il programma e "
                u"riavviarlo."_s.arg(path) +
                    unchanged,
                detail};
    case LegacyReadFailure::Kind::PipeFailed:
        return {u"Impossibile convertire il catalogo «%1»: la comunicazione con il lettore dei file di Access si "
                u"è interrotta. Riavviare il programma per riprovare."_s.arg(path) +
                    unchanged,
                detail};
    case LegacyReadFailure::Kind::Crashed:
        return {u"Impossibile leggere il catalogo «%1»: la lettura del file di Access si è interrotta, "
                u"probabilmente perché il file è danneggiato."_s.arg(path) +
                    damagedAdvice + unchanged,
                detail};
    case LegacyReadFailure::Kind::TimedOut:
        return {u"Impossibile leggere il catalogo «%1»: la lettura del file di Access non procedeva più ed è stata "
                u"fermata; il file è probabilmente danneggiato."_s.arg(path) +
                    damagedAdvice + unchanged,
                detail};
    case LegacyReadFailure::Kind::ReaderMissing:
        return {u"Impossibile convertire il catalogo: manca il lettore dei file di Access "
                u"(«ondiva-accessreader»), che deve trovarsi accanto al programma. Reinstallare il programma."_s +
                    unchanged,
                detail};
    case LegacyReadFailure::Kind::DriverMissing:
        return {u"Impossibile convertire il catalogo «%1»: su questo computer manca il driver che legge i file di "
                u"Microsoft Access («Microsoft Access Driver (*.mdb)»). Installare «Microsoft Access Database "
                u"Engine» (gratuito, dal sito di Microsoft) e riavviare il programma."_s.arg(path) +
                    unchanged,
                detail};
    case LegacyReadFailure::Kind::Cancelled:
        break;
    }
    return {u"Conversione annullata."_s + unchanged, detail};
}

} // namespace

ConversionOutcome ConversionOutcome::failed(Kind kind)
{
    ConversionOutcome outcome;
    outcome.kind = kind;
    return outcome;
}

ConversionOutcome ConversionOutcome::readFailed(const LegacyReadFailure& failure)
{
    ConversionOutcome outcome =
        failed(failure.kind == LegacyReadFailure::Kind::Cancelled ? Kind::Cancelled : Kind::ReaderFailed);
    outcome.readFailure = failure;
    return outcome;
}

ConversionOutcome ConversionOutcome::writeFailed(CatalogueError error)
{
    ConversionOutcome outcome = failed(Kind::WriteFailed);
    outcome.writeError = std::move(error);
    return outcome;
}

ConversionOutcome ConversionOutcome::fileFailed(FileStatus status)
{
    ConversionOutcome outcome = failed(Kind::FileFailed);
    outcome.fileStatus = std::move(status);
    return outcome;
}

int noticeIcon(const ConversionOutcome& outcome)
{
    if (outcome.kind == Kind::Converted)
        return outcome.unconfirmed ? MessageBox::IconExclamation : MessageBox::IconInformation;
    if (outcome.kind == Kind::Cancelled)
        return MessageBox::IconInformation; // as the user asked
    return outcome.kind == Kind::InProgressElsewhere ? MessageBox::IconExclamation : MessageBox::IconCritical;
}

Notice noticeFor(const ConversionOutcome& outcome, const QString& cataloguePath)
{
    const QString path = shown(cataloguePath);
    const QString unchanged = u" Il catalogo non è stato modificato."_s;
    const QString damagedAdvice = u" Ripararlo con «Compatta e ripristina database» di Microsoft Access e riavviare il "
                                  u"programma."_s;
    switch (outcome.kind) {
    case Kind::Converted: {
        const QLocale italian(QLocale::Italian, QLocale::Italy);
        QString text = u"Il catalogo è stato convertito nel nuovo formato.\n\nRighe trasferite:"_s;
        for (size_t i = 0; i < kRequiredTables.size(); ++i)
            text += u"\n%1: %2"_s.arg(QLatin1StringView(kRequiredTables[i].name), italian.toString(outcome.rows[i]));
        text += u"\n\nIl file di Access originale è conservato, senza modifiche, con il nome «%1»."_s.arg(
            QFileInfo(outcome.keptAs).fileName());
        if (!outcome.otherTables.isEmpty())
            text += u"\n\nNon sono state trasferite, perché il programma non le usa, le tabelle: %1. Restano nel "
                    u"file originale."_s.arg(outcome.otherTables.join(u", "_s));
        if (outcome.unconfirmed) {
            text += u"\n\nAttenzione: il catalogo è stato convertito, ma il sistema non ha potuto confermare che la "
                    u"conversione sia stata scritta sul disco. Prima di spegnere il computer, controllare il disco; "
                    u"il file originale resta comunque conservato."_s;
            return {text, outcome.unconfirmedDetail};
        }
        return {text, {}};
    }
    case Kind::Cancelled:
        return {u"Conversione annullata. Il catalogo non è stato modificato: resta nel formato di Microsoft Access, "
                u"e al prossimo avvio il programma proporrà di nuovo di convertirlo."_s,
                {}};
    case Kind::InProgressElsewhere:
        return {u"Il catalogo «%1» è ancora nel formato di Microsoft Access, e un'altra finestra del programma lo sta "
                u"convertendo o chiede se convertirlo. Attendere che abbia finito, poi chiudere questa finestra e "
                u"riavviare il programma."_s.arg(path),
                {}};
    case Kind::FolderReadOnly:
        return {u"Impossibile convertire il catalogo «%1»: la cartella che lo contiene è di sola lettura. Spostare il "
                u"programma e il catalogo in una cartella in cui si può scrivere, o renderla scrivibile, e riavviare "
                u"il programma."_s.arg(path) +
                    unchanged,
                {}};
    case Kind::FileReadOnly:
        return {u"Impossibile convertire il catalogo «%1»: il file è di sola lettura. Renderlo scrivibile (nelle "
                u"proprietà del file, togliere «Sola lettura») e riavviare il programma."_s.arg(path) +
                    unchanged,
                {}};
    case Kind::ReaderFailed:
        return readFailureNotice(outcome.readFailure, path, unchanged, damagedAdvice);
    case Kind::MissingTable:
        return {u"Impossibile convertire il catalogo «%1»: nel file di Access manca la tabella %2, quindi non è un "
                u"catalogo di Ondiva Magazine."_s.arg(path, outcome.table) +
                    unchanged,
                {}};
    case Kind::MissingColumn:
        return {u"Impossibile convertire il catalogo «%1»: nella tabella %2 del file di Access manca la colonna %3, "
                u"quindi non è un catalogo di Ondiva Magazine."_s.arg(path, outcome.table, outcome.column) +
                    unchanged,
                {}};
    case Kind::RowsMissing: {
        const auto table = std::find_if(kRequiredTables.begin(), kRequiredTables.end(), [&](const TableSchema& t) {
            return outcome.table == QLatin1StringView(t.name);
        });
        const qint64 read = table == kRequiredTables.end() ? 0 : outcome.rows[size_t(table - kRequiredTables.begin())];
        const QLocale italian(QLocale::Italian, QLocale::Italy);
        return {u"Impossibile convertire il catalogo «%1»: il file di Access è danneggiato (la tabella %2 dovrebbe "
                u"avere %3 righe, ma se ne leggono %4)."_s.arg(
                    path, outcome.table, italian.toString(outcome.declaredRows), italian.toString(read)) +
                    damagedAdvice + unchanged,
                {}};
    }
    case Kind::WriteFailed:
        return {u"Impossibile convertire il catalogo. "_s + outcome.writeError.message + unchanged,
                outcome.writeError.detail};
    case Kind::FileFailed:
        break;
    }
    // The catalogue's name may have been lost on the way (a file system that
    // replaces a file by removing it first): then the kept name is the original's only one.
    const QString after =
        outcome.keptAs.isEmpty()
            ? unchanged
            : u" Il file di Access originale non ha più il nome «%1»: è conservato, senza modifiche, con il nome «%2». "
              u"Per riprovare la conversione, ridargli il nome «%1» e riavviare il programma."_s.arg(
                  QFileInfo(cataloguePath).fileName(), QFileInfo(outcome.keptAs).fileName());
    return fileFailureNotice(outcome.fileStatus,
                             {u"convertire il catalogo", u"convertire il catalogo", u"riavviare il programma"},
                             cataloguePath, after);
}

} // namespace ondiva::catalogue
