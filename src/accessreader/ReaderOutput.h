#pragma once

// What a reader of Access files sends on its standard output: frames, gathered
// and sent in large writes, and the one way out on failure.

#include "accessframes/AccessFrames.h"

#include <string>

namespace ondiva::access {

// The frames being built; sent by flush().
FrameWriter& out();
// Sends the frames built so far. A pipe that takes no more ends the reader at
// once with kExitPipeFailed, which the program tells from a damaged file.
void flush();
// Sends them once enough have gathered.
void maybeFlush();
// Drops a frame half built when the failure struck (a row cut short), sends a
// Failure frame and ends the reader with kExitFailed.
[[noreturn]] void fail(FailureReason reason, const std::string& message);

} // namespace ondiva::access
