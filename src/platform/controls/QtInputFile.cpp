#include "QtInputFile.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace ondiva {

bool QtInputFile::open(const QString& path)
{
    close();
    m_error.clear();
    m_detail.clear();
    const QFileInfo info(path);
    // The common reasons get words of their own; QFile's text goes into the details.
    if (!info.exists()) {
        m_error = u"il file non esiste"_s;
        return false;
    }
    if (info.isDir()) {
        m_error = u"è una cartella, non un file"_s;
        return false;
    }
    if (!info.isReadable()) {
        m_error = u"non si hanno i permessi per leggerlo"_s;
        return false;
    }
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = u"il sistema non ne consente l'apertura"_s;
        m_detail = m_file.errorString();
        return false;
    }
    return true;
}

qint64 QtInputFile::read(char* data, qint64 maxSize)
{
    const qint64 count = m_file.read(data, maxSize);
    if (count < 0) {
        m_error = u"errore di lettura dal disco"_s;
        m_detail = m_file.errorString();
    }
    return count;
}

void QtInputFile::close()
{
    if (m_file.isOpen())
        m_file.close();
}

} // namespace ondiva
