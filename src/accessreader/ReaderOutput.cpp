#include "ReaderOutput.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <fcntl.h>
#include <io.h>
// clang-format on
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace ondiva::access {
namespace {

constexpr size_t kFlushAt = 1u << 20;

// Where the frames go: standard output until separateFrames() gives them a descriptor of their own.
int g_frames = 1;

// Writes some of the bytes to the frames' descriptor: how many, or -1.
long long writeSome(const char* bytes, size_t size)
{
#ifdef _WIN32
    return _write(g_frames, bytes, unsigned(std::min<size_t>(size, 1u << 30)));
#else
    for (;;) {
        const ssize_t written = ::write(g_frames, bytes, size);
        if (written >= 0 || errno != EINTR)
            return written;
    }
#endif
}

} // namespace

void separateFrames()
{
#ifdef _WIN32
    const int frames = _dup(1);
    if (frames < 0)
        std::_Exit(kExitPipeFailed);
    // Frames are bytes: no CRLF in place of LF.
    _setmode(frames, _O_BINARY);
    if (_dup2(2, 1) != 0) {
        // No standard error to print to: nowhere, then.
        const int nowhere = _open("NUL", _O_WRONLY);
        if (nowhere >= 0) {
            _dup2(nowhere, 1);
            _close(nowhere);
        }
    }
    // What is written through the Win32 handle rather than the C runtime goes there too.
    const auto printed = reinterpret_cast<HANDLE>(_get_osfhandle(1));
    SetStdHandle(STD_OUTPUT_HANDLE, printed != INVALID_HANDLE_VALUE ? printed : GetStdHandle(STD_ERROR_HANDLE));
#else
    // Above 2, so that it is never taken for standard error when that is closed.
    const int frames = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (frames < 0)
        std::_Exit(kExitPipeFailed);
    if (::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (nowhere < 0 || ::dup2(nowhere, STDOUT_FILENO) < 0)
            ::close(STDOUT_FILENO); // what is printed then fails, and still never reaches the frames
        if (nowhere >= 0)
            ::close(nowhere);
    }
#endif
    g_frames = frames;
}

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
