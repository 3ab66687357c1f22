#include "EarlierCatalogueCommand.h"

#include "ConversionOffer.h"
#include "LegacyConversion.h"
#include "LegacyFormat.h"
#include "platform/controls/FileDialog.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::catalogue {

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// The choices of the file dialog: the catalogue's own name, any Access file, anything.
const QString& fileFilter()
{
    static const QString filter = u"Catalogo (qx.mdb);;File di Access (*.mdb);;Tutti i file (*)"_s;
    return filter;
}

} // namespace

EarlierCatalogueCommand::EarlierCatalogueCommand(QString cataloguePath, DemoCatalogue demo, QString title,
                                                 Services services)
    : m_path(std::move(cataloguePath))
    , m_demo(std::move(demo))
    , m_title(std::move(title))
    , m_services(services)
{}

void EarlierCatalogueCommand::run()
{
    MessageBox& messages = m_services.messages;
    CatalogueFiles& files = m_services.files;
    m_services.dialog.setFilter(fileFilter());
    m_services.dialog.setFileName({});
    m_services.dialog.showOpen();
    const QString source = m_services.dialog.fileName();
    if (source.isEmpty())
        return;

    const SourceCheck check = checkSource(source, m_path, files);
    if (!check.usable()) {
        const Notice refusal = refusalFor(check, source, m_path);
        messages.show(refusal.text, MessageBox::Ok | MessageBox::IconExclamation, m_title, refusal.details);
        return;
    }
    CatalogueBringIn bring(m_path, source, files, m_demo);
    if (!confirmed(source, check, bring))
        return;

    // The lock is taken on the work's thread: on Windows it may be tried again
    // for a while, and the window keeps painting meanwhile.
    LockAttempt lock;
    BringOutcome outcome;
    m_services.progress.setWording(copyWording());
    m_services.progress.runWhileShown([&] {
        lock = files.lockForConversion(m_path);
        switch (lock.kind) {
        case LockAttempt::Kind::Acquired:
            LegacyConversion::tidy(m_path, files);
            CatalogueBringIn::tidy(m_path, files);
            outcome = bring.run(m_services.progress);
            break;
        case LockAttempt::Kind::HeldElsewhere:
            outcome.kind = BringOutcome::Kind::InProgressElsewhere;
            break;
        case LockAttempt::Kind::Failed:
            outcome.kind = files.folderWritable(m_path) ? BringOutcome::Kind::FileFailed
                                                        : BringOutcome::Kind::FolderReadOnly;
            outcome.fileStatus = lock.status;
            break;
        }
    });

    const bool convertNext = outcome.kind == BringOutcome::Kind::Brought && check.access();
    if (!convertNext)
        lock.lock.reset(); // what is on disk is final: another window may start now
    // An Access catalogue brought in goes straight on to the question about
    // converting it, under the same lock; the notice comes first only when it
    // has a warning to give.
    if (!convertNext || outcome.unconfirmed) {
        const Notice notice = noticeFor(outcome, source, m_path);
        messages.show(notice.text, MessageBox::Ok | noticeIcon(outcome), m_title, notice.details);
    }
    if (convertNext)
        ConversionOffer(m_path, m_title, messages, m_services.reader, files, m_services.progress).run(std::move(lock));
}

bool EarlierCatalogueCommand::confirmed(const QString& source, const SourceCheck& check, const CatalogueBringIn& bring)
{
    MessageBox& messages = m_services.messages;
    const int question = MessageBox::YesNo | MessageBox::IconQuestion | MessageBox::DefaultButton2;
    if (check.access() && !check.companion.isEmpty()) {
        const QString inUse =
            u"Accanto al catalogo «%1» c'è il file «%2»: il programma precedente potrebbe averlo ancora aperto, e una "
            u"copia fatta ora potrebbe non avere le ultime modifiche.\n\nChiudere il programma precedente, poi "
            u"scegliere Sì per proseguire, No per rinunciare."_s.arg(shown(source), QFileInfo(check.companion).fileName());
        if (messages.show(inUse, question, m_title) != MessageBox::AnswerYes)
            return false;
    }

    QString text;
    switch (bring.current()) {
    case CurrentCatalogue::Own:
        text = u"Il catalogo «%1» prenderà il posto del catalogo in uso («%2»).\n\nIl catalogo in uso sarà "
               u"conservato, senza modifiche, nella stessa cartella con il nome «%3»."_s.arg(
                   shown(source), shown(m_path), QFileInfo(bring.keptName()).fileName());
        break;
    case CurrentCatalogue::Demo:
        text = u"Il catalogo «%1» prenderà il posto del catalogo dimostrativo («%2»), che sarà sostituito."_s.arg(
            shown(source), shown(m_path));
        break;
    case CurrentCatalogue::None:
        text = u"Il catalogo «%1» sarà copiato nella cartella del programma come «%2»."_s.arg(shown(source),
                                                                                            shown(m_path));
        break;
    }
    text += u" Il file scelto resta dov'è, com'è."_s;
    if (check.access())
        text += u"\n\nÈ un file di Microsoft Access (%1): dopo la copia il programma chiederà se convertirlo nel nuovo "
                u"formato."_s.arg(formatName(check.verdict == SourceCheck::Verdict::Access97 ? AccessFormat::Jet3 : AccessFormat::Jet4));
    text += u"\n\nContinuare?"_s;
    return messages.show(text, question, m_title) == MessageBox::AnswerYes;
}

} // namespace ondiva::catalogue
