#pragma once

// What a reader of Access files sends on its standard output: frames, gathered
// and sent in large writes, and the one way out on failure.
//
// The frames go out on a descriptor of their own, a copy of the standard output
// the reader was given (the pipe the program reads): the libraries it calls
// print to standard output too (libmdb prints a hex dump of what it cannot
// parse in a damaged file), and those bytes must not land among the frames.

#include "accessframes/AccessFrames.h"

#include <string>

namespace ondiva::access {

// First thing in main, before any library is called: takes standard output
// for the frames alone and points standard output at standard error, so that
// whatever else is printed there goes to the reader's diagnostics.
void separateFrames();
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
