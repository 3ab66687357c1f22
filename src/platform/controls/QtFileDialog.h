#pragma once

#include "platform/controls/FileDialog.h"

#include <QObject>
#include <QString>

class QWidget;

namespace ondiva {

// The open-file dialog as a non-visual object owned by a window: it keeps the
// filter and file name between uses and shows a QFileDialog on showOpen().
class QtFileDialog : public QObject, public FileDialog {
    Q_OBJECT

public:
    explicit QtFileDialog(QWidget* owner);

    void setFilter(const QString& filter) override { m_filter = filter; }
    void setFileName(const QString& fileName) override { m_fileName = fileName; }
    void showOpen() override;
    QString fileName() const override { return m_fileName; }

private:
    QWidget* m_owner;
    QString m_filter;
    QString m_fileName;
};

} // namespace ondiva
