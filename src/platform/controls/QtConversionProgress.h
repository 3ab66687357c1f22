#pragma once

#include "platform/controls/ConversionProgress.h"

#include <QString>

#include <atomic>

class QProgressBar;
class QProgressDialog;
class QWidget;

namespace ondiva {

// The conversion's progress in a modal QProgressDialog with a cancel button.
// The work runs on a thread of its own while the event thread keeps the
// dialog (and everything else) painted; the work's reports reach the dialog
// as queued calls, and its questions about cancelling read a flag.
class QtConversionProgress : public ConversionProgress {
public:
    explicit QtConversionProgress(QString title, QWidget* parent = nullptr);
    ~QtConversionProgress() override;

    void setWording(const Wording& wording) override { m_wording = wording; }
    void runWhileShown(const std::function<void()>& work) override;
    void start(qint64 totalRows) override;
    bool advance(qint64 rowsDone) override;

private:
    // On the event thread: shows what the work reported last.
    void refresh();
    void requestRefresh();

    QString m_title;
    QWidget* m_parent;
    Wording m_wording;
    // Set only while the work runs, so the work's thread may read them.
    std::atomic<QProgressDialog*> m_dialog{nullptr};
    QProgressBar* m_bar = nullptr;
    std::atomic<qint64> m_total{-1}; // unknown until start()
    std::atomic<qint64> m_done{0};
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_refreshPending{false};
};

} // namespace ondiva
