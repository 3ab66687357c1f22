#pragma once

#include "platform/controls/InputFile.h"

#include <QFile>

namespace ondiva {

// An InputFile on the local file system.
class QtInputFile : public InputFile {
public:
    bool open(const QString& path) override;
    qint64 read(char* data, qint64 maxSize) override;
    void close() override;
    QString errorString() const override { return m_error; }
    QString errorDetail() const override { return m_detail; }

private:
    QFile m_file;
    QString m_error;
    QString m_detail;
};

} // namespace ondiva
