#include "Windows1252.h"

#include "Utf8.h"

#include <array>

namespace ondiva::text {
namespace {

// The UTF-8 form of each byte 0x80-0xFF, at most three bytes long.
struct Encoded {
    std::array<char, 4> bytes{};
    unsigned char length = 0;
};

constexpr std::array<Encoded, 128> makeTable()
{
    std::array<Encoded, 128> table{};
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
        const char32_t c = b < 0xA0 ? kWindows1252High[b - 0x80] : char32_t(b);
        Encoded& e = table[b - 0x80];
        e.length = static_cast<unsigned char>(encodeUtf8(e.bytes.data(), c) - e.bytes.data());
    }
    return table;
}
constexpr auto kTable = makeTable();

} // namespace

void appendWindows1252AsUtf8(std::string& out, std::string_view text)
{
    out.reserve(out.size() + text.size() * 2);
    size_t i = 0;
    while (i < text.size()) {
        // Copy each run of ASCII at once; only the upper half needs the table.
        size_t run = i;
        while (run < text.size() && static_cast<unsigned char>(text[run]) < 0x80)
            ++run;
        out.append(text.data() + i, run - i);
        i = run;
        if (i < text.size()) {
            const Encoded& e = kTable[static_cast<unsigned char>(text[i]) - 0x80];
            out.append(e.bytes.data(), e.length);
            ++i;
        }
    }
}

} // namespace ondiva::text
