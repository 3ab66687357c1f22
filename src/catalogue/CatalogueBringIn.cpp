#include "CatalogueBringIn.h"

#include "CatalogueConnection.h"
#include "CatalogueSwap.h"
#include "platform/controls/ConversionProgress.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::catalogue {

using Kind = BringOutcome::Kind;
using Verdict = SourceCheck::Verdict;

namespace {

// What the unfinished copy is called beside qx.mdb: "qx.mdb.portando-…".
const QString& temporaryTag()
{
    static const QString tag = u".portando-"_s;
    return tag;
}

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }
QString nameOf(const QString& path) { return QFileInfo(path).fileName(); }

} // namespace

ConversionProgress::Wording copyWording()
{
    return {u"Copia del catalogo…"_s, u"Copia del catalogo: %1 MB su %2 MB."_s, u"Annullamento della copia…"_s,
            1 << 20};
}

namespace {

BringOutcome failed(Kind kind)
{
    BringOutcome outcome;
    outcome.kind = kind;
    return outcome;
}

BringOutcome fileFailed(FileStatus status)
{
    BringOutcome outcome = failed(status.kind == FileStatus::Kind::Cancelled ? Kind::Cancelled : Kind::FileFailed);
    outcome.fileStatus = std::move(status);
    return outcome;
}

} // namespace

namespace {

// The SHA-256 of a file's bytes, in hexadecimal; empty if it cannot be read.
QByteArray fileDigest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return hash.result().toHex();
}

} // namespace

DemoCatalogue DemoCatalogue::of(const QString& path) { return {QFileInfo(path).size(), fileDigest(path)}; }

bool DemoCatalogue::matches(const QString& path) const
{
    const QFileInfo info(path);
    return !sha256.isEmpty() && info.isFile() && info.size() == size && fileDigest(path) == sha256;
}

CatalogueBringIn::CatalogueBringIn(QString cataloguePath, QString source, CatalogueFiles& files,
                                   DemoCatalogue demo)
    : m_path(std::move(cataloguePath))
    , m_source(std::move(source))
    , m_files(files)
    , m_demo(std::move(demo))
{}

CurrentCatalogue CatalogueBringIn::current() const
{
    if (!m_files.exists(m_path))
        return CurrentCatalogue::None;
    if (m_demo.matches(m_path))
        return CurrentCatalogue::Demo;
    return CurrentCatalogue::Own;
}

QString CatalogueBringIn::keptName() const { return firstFreeKeptName(m_path, kKeptPrevious, m_files); }

void CatalogueBringIn::tidy(const QString& cataloguePath, CatalogueFiles& files)
{
    for (const QString& leftover : files.filesBeside(cataloguePath, temporaryTag()))
        files.remove(leftover);
    // Killed between keeping the previous catalogue and putting the new one in
    // its place, a bringing in leaves the previous one under both names.
    removeSecondNames(cataloguePath, kKeptPrevious, files);
}

BringOutcome CatalogueBringIn::run(ConversionProgress& progress, Over over)
{
    BringOutcome outcome;
    outcome.check = checkSource(m_source, m_path, m_files);
    if (!outcome.check.usable()) {
        outcome.kind = Kind::Refused;
        return outcome;
    }
    if (!m_files.folderWritable(m_path))
        return failed(Kind::FolderReadOnly);

    // An update of the current catalogue that was interrupted is finished
    // first, as any command of the program would: its journal, left beside the
    // new catalogue, would otherwise be played back into it.
    if (!unfinishedChangeBeside(m_path).isEmpty()) {
        (void)Connection::open(m_path, Connection::Access::Read);
        if (QString journal = unfinishedChangeBeside(m_path); !journal.isEmpty()) {
            outcome.kind = Kind::Unfinished;
            outcome.companion = journal;
            return outcome;
        }
    }
    if (over == Over::NoneOrDemo && current() == CurrentCatalogue::Own) {
        outcome.kind = Kind::OwnKept;
        return outcome;
    }
    return copyAndSwap(progress, current(), std::move(outcome));
}

BringOutcome CatalogueBringIn::copyAndSwap(ConversionProgress& progress, CurrentCatalogue current,
                                           BringOutcome outcome)
{
    QString temporary;
    if (FileStatus created = m_files.createBeside(m_path, temporaryTag(), temporary); !created)
        return fileFailed(created);
    auto discard = qScopeGuard([&] { m_files.remove(temporary); });

    bool started = false;
    const FileStatus copied = m_files.copyInto(m_source, temporary, [&](qint64 done, qint64 total) {
        if (!started) {
            progress.start(total);
            started = true;
        }
        return progress.advance(done);
    });
    if (!copied)
        return fileFailed(copied);
    if (outcome.check.verdict == Verdict::Catalogue) {
        if (QString damage = damageIn(temporary); !damage.isEmpty()) {
            outcome.kind = Kind::Damaged;
            outcome.reason = damage;
            return outcome;
        }
    }
    if (!progress.advance(QFileInfo(temporary).size()))
        return failed(Kind::Cancelled);

    outcome.replaced = current;
    const SwapResult swapped =
        swapIn(m_files, m_path, temporary, current == CurrentCatalogue::Own ? kKeptPrevious : QStringView());
    outcome.keptAs = swapped.keptAs;
    if (!swapped.status) {
        outcome.kind = Kind::FileFailed;
        outcome.fileStatus = swapped.status;
        return outcome;
    }
    discard.dismiss(); // the name is the catalogue's now
    outcome.kind = Kind::Brought;
    outcome.unconfirmed = swapped.unconfirmed;
    outcome.unconfirmedDetail = swapped.unconfirmedDetail;
    return outcome;
}

int noticeIcon(const BringOutcome& outcome)
{
    switch (outcome.kind) {
    case Kind::Brought:
        return outcome.unconfirmed ? MessageBox::IconExclamation : MessageBox::IconInformation;
    case Kind::Cancelled:
        return MessageBox::IconInformation;
    case Kind::InProgressElsewhere:
    case Kind::OwnKept:
        return MessageBox::IconExclamation;
    default:
        return MessageBox::IconCritical;
    }
}

Notice refusalFor(const SourceCheck& check, const QString& source, const QString& cataloguePath)
{
    const QString file = shown(source);
    const QString unchanged = u" Il catalogo in uso non è stato modificato."_s;
    switch (check.verdict) {
    case Verdict::Missing:
        return {u"Il file «%1» non esiste."_s.arg(file) + unchanged, {}};
    case Verdict::Unreadable:
        return {u"Impossibile leggere il file «%1»: forse un altro programma lo tiene aperto, o manca il permesso di "
                u"leggerlo."_s.arg(file) +
                    unchanged,
                check.reason};
    case Verdict::NewerAccess:
        return {u"Il file «%1» è nel formato di Microsoft Access 2007 o successivo, che il programma non legge. "
                u"Aprirlo con Microsoft Access e salvarlo nel formato di Access 2002-2003 (File ▸ Salva con nome ▸ "
                u"«Database di Access 2002-2003 (*.mdb)»), poi scegliere il file salvato."_s.arg(file) +
                    unchanged,
                {}};
    case Verdict::Unfinished:
        return {u"Accanto al catalogo «%1» c'è il file «%2»: un aggiornamento di quel catalogo si è interrotto e non "
                u"è stato completato, e una copia fatta ora sarebbe incompleta. Aprire quel catalogo con il programma "
                u"che lo usa (basta una ricerca) per completarlo, poi riprovare."_s.arg(file, nameOf(check.companion)) +
                    unchanged,
                {}};
    case Verdict::IsCurrent:
        return {u"Il file «%1» è il catalogo già in uso (%2): non c'è niente da portare."_s.arg(
                    file, shown(cataloguePath)),
                {}};
    case Verdict::NotCatalogue:
    case Verdict::Access97:
    case Verdict::Access2000:
    case Verdict::Catalogue:
        break;
    }
    return {u"Il file «%1» non è un catalogo: %2. Scegliere il file qx.mdb della versione precedente del programma, "
            u"o una copia del catalogo."_s.arg(file, check.reason) +
                unchanged,
            {}};
}

Notice noticeFor(const BringOutcome& outcome, const QString& source, const QString& cataloguePath)
{
    const QString file = shown(source);
    const QString folder = shown(QFileInfo(cataloguePath).absolutePath());
    const QString unchanged = u" Il catalogo in uso non è stato modificato."_s;
    switch (outcome.kind) {
    case Kind::Brought: {
        QString text = u"Il catalogo «%1» è stato copiato nella cartella del programma ed è ora il catalogo in uso "
                       u"(«%2»). Il file scelto resta dov'era, senza modifiche."_s.arg(file, shown(cataloguePath));
        if (outcome.replaced == CurrentCatalogue::Own)
            text += u"\n\nIl catalogo usato finora è conservato, senza modifiche, nella stessa cartella con il nome "
                    u"«%1»."_s.arg(nameOf(outcome.keptAs));
        else if (outcome.replaced == CurrentCatalogue::Demo)
            text += u"\n\nIl catalogo dimostrativo usato finora è stato sostituito."_s;
        if (outcome.unconfirmed) {
            text += u"\n\nAttenzione: il sistema non ha potuto confermare che il nuovo catalogo sia stato scritto sul "
                    u"disco. Prima di spegnere il computer, controllare il disco."_s;
            return {text, outcome.unconfirmedDetail};
        }
        return {text, {}};
    }
    case Kind::Cancelled:
        return {u"Copia annullata."_s + unchanged, {}};
    case Kind::InProgressElsewhere:
        return {u"Un'altra finestra del programma sta convertendo o sostituendo il catalogo «%1». Attendere che abbia "
                u"finito, poi riprovare."_s.arg(shown(cataloguePath)) +
                    unchanged,
                {}};
    case Kind::FolderReadOnly:
        return {u"Impossibile portare il catalogo nella cartella «%1»: è di sola lettura. Spostare il programma in una "
                u"cartella in cui si può scrivere, o renderla scrivibile, e riprovare."_s.arg(folder) +
                    unchanged,
                {}};
    case Kind::Refused:
        return refusalFor(outcome.check, source, cataloguePath);
    case Kind::OwnKept:
        return {u"Nella cartella «%1» c'è già un catalogo, che resta com'è: il catalogo «%2» non è stato copiato. Per "
                u"sostituirlo, avviare il programma e scegliere File ▸ Open earlier catalogue…"_s.arg(folder, file),
                {}};
    case Kind::Unfinished:
        return {u"Accanto al catalogo in uso «%1» c'è il file «%2», lasciato da un aggiornamento interrotto che non è "
                u"stato possibile completare: chiudere le altre finestre del programma e riprovare."_s.arg(
                    shown(cataloguePath), nameOf(outcome.companion)) +
                    unchanged,
                {}};
    case Kind::Damaged:
        return {u"Impossibile usare il file «%1»: il catalogo è danneggiato (%2)."_s.arg(file, outcome.reason) +
                    unchanged,
                {}};
    case Kind::FileFailed:
        break;
    }
    // The catalogue's name may have been lost on the way (a file system that
    // replaces a file by removing it first): then the kept name is the only one.
    const QString after =
        outcome.keptAs.isEmpty()
            ? unchanged
            : u" Il catalogo usato finora non ha più il nome «%1»: è conservato, senza modifiche, con il nome «%2». "
              u"Per usarlo di nuovo, ridargli il nome «%1»."_s.arg(nameOf(cataloguePath), nameOf(outcome.keptAs));
    return fileFailureNotice(outcome.fileStatus, {u"copiare il catalogo", u"sostituire il catalogo", u"riprovare"},
                             cataloguePath, after, source);
}

} // namespace ondiva::catalogue
