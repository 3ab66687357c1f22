#include "QtConversionProgress.h"

#include <QCoreApplication>
#include <QLocale>
#include <QProgressDialog>

#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace ondiva {

QtConversionProgress::QtConversionProgress(QString title, QWidget* parent)
    : m_title(std::move(title))
    , m_parent(parent)
{}

QtConversionProgress::~QtConversionProgress() = default;

void QtConversionProgress::start(qint64 totalRows)
{
    m_total = std::max<qint64>(totalRows, 0);
    m_scale = int(m_total / std::numeric_limits<int>::max() + 1);
    m_dialog = std::make_unique<QProgressDialog>(m_parent);
    m_dialog->setObjectName(u"conversionProgress"_s);
    m_dialog->setWindowTitle(m_title);
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setCancelButtonText(u"Annulla"_s);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumDuration(0);
    m_dialog->setRange(0, int(std::max<qint64>(m_total / m_scale, 1)));
    advance(0);
}

bool QtConversionProgress::advance(qint64 rowsDone)
{
    if (!m_dialog)
        return true;
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    // The file's own count of rows may be short of the rows it really holds.
    const qint64 total = std::max(m_total, rowsDone);
    m_dialog->setLabelText(u"Conversione del catalogo nel nuovo formato: %1 righe su %2."_s.arg(
        italian.toString(rowsDone), italian.toString(total)));
    m_dialog->setValue(int(std::min(rowsDone, m_total) / m_scale));
    // A modal dialog takes its events in setValue(); this covers the waits between rows.
    QCoreApplication::processEvents();
    return !m_dialog->wasCanceled();
}

void QtConversionProgress::finish() { m_dialog.reset(); }

} // namespace ondiva
