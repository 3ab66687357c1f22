#include "QtFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace ondiva {

QtFileDialog::QtFileDialog(QWidget* owner)
    : QObject(owner)
    , m_owner(owner)
{}

void QtFileDialog::showOpen()
{
    QFileDialog dialog(m_owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!m_filter.isEmpty())
        dialog.setNameFilter(m_filter);
    if (!m_fileName.isEmpty()) {
        const QFileInfo preset(m_fileName);
        if (m_fileName.contains(u'/'))
            dialog.setDirectory(preset.absolutePath());
        dialog.selectFile(preset.fileName());
    }
    // Cancelling keeps the preset name.
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        m_fileName = dialog.selectedFiles().constFirst();
}

} // namespace ondiva
