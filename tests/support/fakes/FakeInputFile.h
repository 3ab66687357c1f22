#pragma once

#include "platform/controls/InputFile.h"

#include <QByteArray>
#include <QStringList>
#include <algorithm>
#include <cstring>

namespace ondiva::fakes {

// An input file held in memory. It hands its bytes over in small reads, so
// that lines and line ends fall across reads, and counts opens and closes.
class FakeInputFile : public InputFile {
public:
    QByteArray contents;
    QByteArray changedContents; // when not empty, what every open after the first finds
    bool missing = false;       // open fails
    int failingOpen = 0;        // the open (1-based) whose reads fail; 0 for none
    qsizetype chunkSize = 7;

    QStringList openedPaths;
    int closes = 0;
    bool isOpen = false;

    bool open(const QString& path) override
    {
        openedPaths << path;
        if (missing) {
            m_error = QStringLiteral("il file non esiste");
            return false;
        }
        m_data = openedPaths.size() > 1 && !changedContents.isEmpty() ? changedContents : contents;
        m_position = 0;
        isOpen = true;
        return true;
    }
    qint64 read(char* data, qint64 maxSize) override
    {
        if (openedPaths.size() == failingOpen) {
            m_error = QStringLiteral("errore di lettura dal disco");
            return -1;
        }
        const qint64 count = std::min({maxSize, qint64(chunkSize), qint64(m_data.size() - m_position)});
        std::memcpy(data, m_data.constData() + m_position, size_t(count));
        m_position += count;
        return count;
    }
    void close() override
    {
        if (isOpen)
            ++closes;
        isOpen = false;
    }
    QString errorString() const override { return m_error; }

private:
    QByteArray m_data;
    qint64 m_position = 0;
    QString m_error;
};

} // namespace ondiva::fakes
