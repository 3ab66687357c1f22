#include "ReaderOutput.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace ondiva::access {
namespace {

constexpr size_t kFlushAt = 1u << 20;

// Writes some of the bytes to standard output: how many, or -1.
long long writeSome(const char* bytes, size_t size)
{
#ifdef _WIN32
    return _write(1, bytes, unsigned(std::min<size_t>(size, 1u << 30)));
#else
    for (;;) {
        const ssize_t written = ::write(STDOUT_FILENO, bytes, size);
        if (written >= 0 || errno != EINTR)
            return written;
    }
#endif
}

} // namespace

FrameWriter& out()
{
    static FrameWriter writer;
    return writer;
}

void flush()
{
    std::string& bytes = out().bytes();
    size_t at = 0;
    while (at < bytes.size()) {
        const long long written = writeSome(bytes.data() + at, bytes.size() - at);
        // At once: the output is gone, so nothing is left worth flushing or
        // freeing, and the status must reach the program as it is.
        if (written <= 0)
            std::_Exit(kExitPipeFailed);
        at += size_t(written);
    }
    if (bytes.capacity() > 4 * kFlushAt)
        std::string().swap(bytes); // a long value's room is not kept for the rest
    bytes.clear();
}

void maybeFlush()
{
    if (out().bytes().size() >= kFlushAt)
        flush();
}

void fail(FailureReason reason, const std::string& message)
{
    out().discard();
    out().begin(FrameType::Failure);
    out().byte(std::uint8_t(reason));
    out().text(message);
    out().end();
    flush();
    std::exit(kExitFailed);
}

} // namespace ondiva::access
