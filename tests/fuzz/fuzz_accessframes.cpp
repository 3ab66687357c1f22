// Fuzzes the decoder of the Access reader's stream: whatever bytes arrive, in
// whatever chunks, it must never crash, must end in a definite state, and
// must hand over rows only with the columns of their table.

#include "accessframes/AccessFrames.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace ondiva::access;

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_accessframes: %s\n", what);
        std::abort();
    }
}

struct Checker : FrameHandler {
    size_t columns = 0;
    bool inTable = false;
    bool table(std::string_view, const std::vector<std::string_view>& names, std::uint64_t) override
    {
        columns = names.size();
        inTable = true;
        return true;
    }
    bool row(const std::vector<std::optional<std::string_view>>& values) override
    {
        check(values.size() == columns, "a row with another number of columns than its table");
        return true;
    }
    bool endTable() override { return true; }
    void failure(FailureReason, std::string_view) override {}
    void done() override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the chunk size, so that frames are cut everywhere.
    const size_t chunk = size_t(data[0] % 17) + 1;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
    Checker checker;
    FrameReader reader(checker);
    for (size_t at = 0; at < stream.size(); at += chunk)
        reader.feed(stream.substr(at, chunk));
    const FrameReader::State state = reader.state();
    check(state == FrameReader::State::Reading || state == FrameReader::State::Done ||
              state == FrameReader::State::Failed || state == FrameReader::State::Malformed,
          "the decoder stopped without being asked");
    return 0;
}
