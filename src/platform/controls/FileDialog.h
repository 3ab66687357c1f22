#pragma once

#include <QString>

namespace ondiva {

// An open-file dialog preset with a filter and a file name. After showOpen()
// fileName() is the chosen full path, or the preset name when cancelled.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    virtual void setFilter(const QString& filter) = 0;
    virtual void setFileName(const QString& fileName) = 0;
    virtual void showOpen() = 0;
    virtual QString fileName() const = 0;
};

} // namespace ondiva
