// Stands in for the Access reader to show how the program copes with a reader
// that misbehaves, as ONDIVA_FAKE_MODE says:
//   hang     says nothing and never ends
//   crash    starts a table, then dies of a signal
//   garbage  sends bytes that are no frames, then ends

#include "accessframes/AccessFrames.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main()
{
    const char* mode = std::getenv("ONDIVA_FAKE_MODE") ? std::getenv("ONDIVA_FAKE_MODE") : "";
    if (std::strcmp(mode, "hang") == 0) {
        for (;;)
            ::pause();
    }
    if (std::strcmp(mode, "crash") == 0) {
        ondiva::access::FrameWriter out;
        out.begin(ondiva::access::FrameType::Table);
        out.u32(1);
        out.text("ARTICOLI");
        out.text("ARTICOLO");
        out.u64(1);
        out.end();
        std::fwrite(out.bytes().data(), 1, out.bytes().size() - 3, stdout);
        std::fflush(stdout);
        std::raise(SIGSEGV);
    }
    std::fputs("\x7f garbage, not frames \x01\x02\x03\x04\x05\x06\x07\x08", stdout);
    return 0;
}
