// Fuzzes the decoder of the Access reader's stream: whatever bytes arrive, in
// whatever chunks, for a listing or for a dump, it must never crash, must end
// in a definite state, and must hand over only what the protocol allows in
// the order it allows it.
//
// The first byte chooses the request (its lowest bit: a listing, or a dump of
// GROOVES then ARTICOLI) and the chunk size (the rest), so that frames are cut
// everywhere.

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

// Checks every callback against the order a valid stream has.
struct Checker : FrameHandler {
    explicit Checker(const Request& request)
        : request(request)
    {}

    const Request& request;
    bool inTable = false;
    bool ended = false; // after done() or failure(), nothing more may come
    bool failed = false;
    bool finished = false;
    size_t tables = 0;
    size_t columns = 0;
    std::uint64_t declared = 0;
    std::uint64_t rows = 0;

    bool table(std::string_view name, const std::vector<std::string_view>& names, std::uint64_t count) override
    {
        check(!ended, "a table after the end");
        check(!inTable, "a table inside a table");
        if (!request.isListing()) {
            check(tables < request.tables().size(), "more tables than asked for");
            check(name == request.tables()[tables], "a table other than the one asked for next");
        }
        inTable = true;
        ++tables;
        columns = names.size();
        declared = count;
        rows = 0;
        return true;
    }
    bool row(const std::vector<Value>& values) override
    {
        check(!ended, "a row after the end");
        check(inTable, "a row outside a table");
        check(!request.isListing(), "a row in a listing");
        check(values.size() == columns, "a row with another number of values than its table's columns");
        check(rows < declared, "a row beyond the count its table declared");
        for (const Value& value : values)
            check(value.kind <= ValueKind::Bytes && (value.kind != ValueKind::Null || value.data.empty()),
                  "a value of no known kind");
        ++rows;
        return true;
    }
    bool endTable() override
    {
        check(!ended, "a table's end after the end");
        check(inTable, "a table's end outside a table");
        inTable = false;
        return true;
    }
    void failure(FailureReason reason, std::string_view) override
    {
        check(!ended, "a failure after the end");
        check(std::uint8_t(reason) >= 1 && std::uint8_t(reason) <= kLastFailureReason, "an unknown failure");
        ended = failed = true;
    }
    void done() override
    {
        check(!ended, "done twice, or after a failure");
        check(!inTable, "done inside a table");
        check(request.isListing() || tables == request.tables().size(), "done before every table asked for");
        ended = finished = true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const Request request = (data[0] & 1) ? Request::listing() : Request::dump({"GROOVES", "ARTICOLI"});
    const size_t chunk = size_t((data[0] >> 1) % 17) + 1;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
    Checker checker(request);
    FrameReader reader(checker, request);
    for (size_t at = 0; at < stream.size(); at += chunk)
        reader.feed(stream.substr(at, chunk));
    switch (reader.state()) {
    case FrameReader::State::Done:
        check(checker.finished, "done without telling the handler");
        break;
    case FrameReader::State::Failed:
        check(checker.failed, "failed without telling the handler");
        break;
    case FrameReader::State::ExtraRows:
        check(checker.inTable && checker.rows == checker.declared, "extra rows before the declared count");
        break;
    case FrameReader::State::Reading:
        check(!checker.ended, "still reading after the end");
        break;
    case FrameReader::State::Malformed:
        break;
    case FrameReader::State::Stopped:
        check(false, "the decoder stopped without being asked");
        break;
    }
    return 0;
}
