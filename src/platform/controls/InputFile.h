#pragma once

#include <QString>

namespace ondiva {

// A file read from start to end in chunks. One object can be opened again
// after close(), so a command may read the same file twice.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Opens the file for reading; false when it cannot be read (errorString() says why).
    virtual bool open(const QString& path) = 0;
    // Reads up to maxSize bytes into data: the number read, 0 at the end of the file, -1 on error.
    virtual qint64 read(char* data, qint64 maxSize) = 0;
    virtual void close() = 0;
    // Why the last open or read failed, in Italian words for the user.
    virtual QString errorString() const = 0;
    // The system's own technical words for the last failure, if any.
    virtual QString errorDetail() const { return {}; }
};

} // namespace ondiva
