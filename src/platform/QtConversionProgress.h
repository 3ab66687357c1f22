#pragma once

#include "platform/ConversionProgress.h"

#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

namespace ondiva {

// The conversion's progress in a modal QProgressDialog with a cancel button.
class QtConversionProgress : public ConversionProgress {
public:
    explicit QtConversionProgress(QString title, QWidget* parent = nullptr);
    ~QtConversionProgress() override;

    void start(qint64 totalRows) override;
    bool advance(qint64 rowsDone) override;
    void finish() override;

private:
    QString m_title;
    QWidget* m_parent;
    std::unique_ptr<QProgressDialog> m_dialog;
    qint64 m_total = 0;
    int m_scale = 1; // rows per step of the dialog, which counts in int
};

} // namespace ondiva
