#include "QtConversionProgress.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QLocale>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>

#include <limits>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace ondiva {
namespace {

// However it is closed (its title bar's button, Alt+F4, Esc), the dialog asks
// the work to stop, as Annulla does, and stays on screen saying so: it goes
// only once the work has really stopped, never leaving the user without a
// window while the conversion still runs.
class ProgressDialog : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;

    void reject() override { emit canceled(); }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        emit canceled();
    }
};

} // namespace

QtConversionProgress::QtConversionProgress(QString title, QWidget* parent)
    : m_title(std::move(title))
    , m_parent(parent)
    , m_wording(Wording::conversion())
{}

QtConversionProgress::~QtConversionProgress() = default;

void QtConversionProgress::runWhileShown(const std::function<void()>& work)
{
    m_total = -1;
    m_done = 0;
    m_cancelled = false;
    m_refreshPending = false;

    ProgressDialog dialog(m_parent);
    dialog.setObjectName(u"conversionProgress"_s);
    dialog.setWindowTitle(m_title);
    dialog.setWindowModality(Qt::ApplicationModal);
    // Closing the dialog cancels the work; it must not end the program under it.
    dialog.setAttribute(Qt::WA_QuitOnClose, false);
    // The dialog's own button, renamed: a button of ours in its place would leave
    // the first one's Esc shortcut behind, and Esc, matching two, would do nothing.
    dialog.setCancelButtonText(u"Annulla"_s);
    QPushButton* cancel = dialog.findChild<QPushButton*>();
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);
    // The bar is updated directly: QProgressDialog::setValue() would run a
    // nested event loop from inside this one.
    auto* bar = new QProgressBar(&dialog);
    dialog.setBar(bar);
    bar->setRange(0, 0);
    dialog.setLabelText(m_wording.waiting);
    // The dialog stays up until the work has really stopped. QProgressDialog
    // connects its own cancel() by name, so only a disconnection by name undoes it.
    QObject::disconnect(&dialog, SIGNAL(canceled()), &dialog, SLOT(cancel()));
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [this, &dialog, cancel] {
        m_cancelled = true;
        cancel->setEnabled(false);
        dialog.setLabelText(m_wording.stopping);
    });
    m_bar = bar;
    m_dialog = &dialog;

    QEventLoop loop;
    std::unique_ptr<QThread> thread(QThread::create(work));
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    dialog.show();
    // Returns once the thread has finished: its finished signal is queued to this loop.
    loop.exec(QEventLoop::ExcludeSocketNotifiers);
    thread->wait();
    m_dialog = nullptr;
    m_bar = nullptr;
}

void QtConversionProgress::start(qint64 totalRows)
{
    m_total = std::max<qint64>(totalRows, 0);
    requestRefresh();
}

bool QtConversionProgress::advance(qint64 rowsDone)
{
    m_done = rowsDone;
    requestRefresh();
    return !m_cancelled;
}

void QtConversionProgress::requestRefresh()
{
    // One refresh waiting at a time: the work never floods the event thread.
    if (m_refreshPending.exchange(true))
        return;
    QProgressDialog* dialog = m_dialog;
    if (!dialog)
        return;
    QMetaObject::invokeMethod(dialog, [this] { refresh(); }, Qt::QueuedConnection);
}

void QtConversionProgress::refresh()
{
    m_refreshPending = false;
    QProgressDialog* dialog = m_dialog;
    if (!dialog || m_cancelled)
        return;
    const qint64 total = m_total;
    if (total < 0)
        return;
    const qint64 done = m_done;
    const qint64 scale = total / std::numeric_limits<int>::max() + 1; // the dialog counts in int
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    const qint64 unit = std::max<qint64>(m_wording.unit, 1);
    // The file's own count of rows may be short of the rows it really holds.
    dialog->setLabelText(m_wording.advancing.arg(italian.toString(done / unit),
                                                 italian.toString(std::max(total, done) / unit)));
    m_bar->setRange(0, int(std::max<qint64>(total / scale, 1)));
    m_bar->setValue(int(std::min(done, total) / scale));
}

} // namespace ondiva
