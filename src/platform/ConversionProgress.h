#pragma once

#include <QtGlobal>

namespace ondiva {

// Shows how far the conversion of a catalogue has come, and lets the user stop it.
class ConversionProgress {
public:
    virtual ~ConversionProgress() = default;
    virtual void start(qint64 totalRows) = 0;
    // The rows carried over so far; false once the user has asked to stop.
    virtual bool advance(qint64 rowsDone) = 0;
    virtual void finish() = 0;
};

} // namespace ondiva
