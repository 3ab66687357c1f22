// Fuzzes the update-file reader with arbitrary bytes: it must never crash, must
// end in a definite state, and must hand over only well-formed records.

#include "LikeReference.h"
#include "ReadInChunks.h"
#include "update/UpdateReader.h"

#include <QUtf8StringView>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using ondiva::update::UpdateReader;

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "update reader: %s\n", what);
        std::abort();
    }
}

// (Not a round trip through QString: that drops a byte order mark at the start, which a field may hold.)
bool validUtf8(QUtf8StringView text)
{
    for (char32_t c : ondiva::testing::referenceDecode({text.data(), size_t(text.size())})) {
        if (c > 0x10FFFF)
            return false;
    }
    return true;
}

struct Checker : UpdateReader::Handler {
    bool sawIdentifier = false;
    qint64 lastLine = 0;
    bool identifier(QUtf8StringView identifier) override
    {
        check(!sawIdentifier, "identifier handed over twice");
        check(validUtf8(identifier), "identifier is not UTF-8");
        sawIdentifier = true;
        return true;
    }
    bool record(const UpdateReader::Record& record) override
    {
        check(sawIdentifier, "record before the identifier");
        check(record.line > lastLine, "records out of order");
        lastLine = record.line;
        const int columns = ondiva::catalogue::schemaOf(record.section).columnCount;
        check(int(record.fields.size()) == columns, "record with the wrong number of fields");
        for (QUtf8StringView field : record.fields)
            check(validUtf8(field), "field is not UTF-8");
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Checker checker;
    const auto outcome =
        ondiva::testing::readInChunks(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)), checker);
    check(outcome.state == UpdateReader::State::Complete || outcome.state == UpdateReader::State::Failed,
          "reader ended neither complete nor failed");
    if (outcome.state == UpdateReader::State::Complete)
        check(checker.sawIdentifier, "complete file without an identifier");
    else
        check(outcome.error.kind != UpdateReader::Error::Kind::None, "failure without a reason");
    return 0;
}
