#include "QtFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace ondiva {

QtFileDialog::QtFileDialog(QWidget* owner)
    : QObject(owner)
    , m_owner(owner)
{}

QString QtFileDialog::qtNameFilters(const QString& filter)
{
    if (!filter.contains(u'|'))
        return filter;
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts).join(u' ');
        // A description that already shows its patterns in brackets gets them only once.
        QString description = parts[i].trimmed();
        if (description.endsWith(u')') && description.contains(u'('))
            description = description.left(description.lastIndexOf(u'(')).trimmed();
        filters << u"%1 (%2)"_s.arg(description, patterns.trimmed());
    }
    // A description left without its pattern.
    if (parts.size() % 2 == 1 && !parts.last().trimmed().isEmpty())
        filters << parts.last().trimmed();
    return filters.join(u";;"_s);
}

void QtFileDialog::showOpen()
{
    QFileDialog dialog(m_owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!m_filter.isEmpty())
        dialog.setNameFilter(qtNameFilters(m_filter));
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
