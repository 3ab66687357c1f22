#pragma once

#include <QtGlobal>

#include <functional>

namespace ondiva {

// Shows how far the conversion of a catalogue has come, and lets the user stop
// it, while the conversion runs off the event thread so that the window keeps
// painting and answering.
class ConversionProgress {
public:
    virtual ~ConversionProgress() = default;
    // Runs work on a thread of its own and shows the progress until it returns.
    virtual void runWhileShown(const std::function<void()>& work) = 0;
    // Called from the work's thread: the rows there are to carry over, once known.
    virtual void start(qint64 totalRows) = 0;
    // Called from the work's thread: the rows carried over so far; false once
    // the user has asked to stop.
    virtual bool advance(qint64 rowsDone) = 0;
};

} // namespace ondiva
