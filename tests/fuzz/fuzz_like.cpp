// Fuzzes the Like matcher: arbitrary pattern and value bytes must give the same
// answer as the simple reference matcher, and never crash.

#include "LikeReference.h"
#include "catalogue/Like.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Input layout: [escape flag byte] pattern 0xFF 0xFE value.
    if (size < 1)
        return 0;
    const bool withEscape = data[0] & 1;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t split = rest.find("\xff\xfe");
    const std::string_view pattern = rest.substr(0, split);
    const std::string_view value = split == std::string_view::npos ? std::string_view() : rest.substr(split + 2);
    if (pattern.size() > 256 || value.size() > 4096)
        return 0; // keeps the quadratic reference quick
    const char32_t escape = withEscape ? U'!' : 0;

    const bool real = ondiva::like::Pattern(pattern, escape).matches(value);
    const bool expected = ondiva::testing::referenceLike(pattern, value, escape);
    if (real != expected) {
        std::fprintf(stderr, "Like disagrees with the reference: got %d, expected %d\n", real, expected);
        std::abort();
    }
    return 0;
}
