#include "ConversionOffer.h"

#include "CatalogueBringIn.h"
#include "LegacyConversion.h"
#include "LegacyFormat.h"
#include "platform/controls/ConversionProgress.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::catalogue {

using Kind = ConversionOutcome::Kind;

ConversionOffer::ConversionOffer(QString cataloguePath, QString title, MessageBox& messages,
                                 LegacyCatalogueReader& reader, CatalogueFiles& files, ConversionProgress& progress)
    : m_path(std::move(cataloguePath))
    , m_title(std::move(title))
    , m_messages(messages)
    , m_reader(reader)
    , m_files(files)
    , m_progress(progress)
{}

void ConversionOffer::run() { run(m_files.lockForConversion(m_path)); }

void ConversionOffer::run(LockAttempt lock)
{
    const auto tell = [this](const ConversionOutcome& outcome) {
        const Notice notice = noticeFor(outcome, m_path);
        m_messages.show(notice.text, MessageBox::Ok | noticeIcon(outcome), m_title, notice.details);
    };

    switch (lock.kind) {
    case LockAttempt::Kind::Acquired:
        LegacyConversion::tidy(m_path, m_files);
        CatalogueBringIn::tidy(m_path, m_files);
        break;
    case LockAttempt::Kind::HeldElsewhere:
        // Another window is converting, or tidying: its files are not ours to touch.
        if (accessFormatOfFile(m_path))
            tell(ConversionOutcome::failed(Kind::InProgressElsewhere));
        return;
    case LockAttempt::Kind::Failed:
        // A folder that may not be written takes no lock, and no conversion can
        // write there either: the conversion itself says so. Anywhere else,
        // converting unlocked could race another window.
        if (m_files.folderWritable(m_path)) {
            if (accessFormatOfFile(m_path))
                tell(ConversionOutcome::fileFailed(lock.status));
            return;
        }
        break;
    }

    const std::optional<AccessFormat> format = accessFormatOfFile(m_path);
    if (!format)
        return;
    LegacyConversion conversion(m_path, m_reader, m_files, m_progress);
    const QString question =
        u"Il catalogo «%1» è un file di Microsoft Access (%2), il formato delle versioni precedenti del programma.\n\n"
        u"Convertirlo ora nel nuovo formato? Il file originale sarà conservato, senza modifiche, nella stessa "
        u"cartella con il nome «%3»."_s.arg(QDir::toNativeSeparators(m_path), formatName(*format),
                                            QFileInfo(conversion.keptName()).fileName());
    if (m_messages.show(question, MessageBox::YesNo | MessageBox::IconQuestion, m_title) != MessageBox::AnswerYes)
        return;
    ConversionOutcome outcome;
    m_progress.setWording(ConversionProgress::Wording::conversion());
    m_progress.runWhileShown([&] { outcome = conversion.run(); });
    // The outcome is on disk whatever the user does next: another window may start now.
    lock.lock.reset();
    tell(outcome);
}

} // namespace ondiva::catalogue
