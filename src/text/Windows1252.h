#pragma once

// Windows-1252, the code page of update files and of Jet 3 texts.

#include <array>
#include <string>
#include <string_view>

namespace ondiva::text {

// The characters of the bytes 0x80-0x9F; the rest of the upper half is Latin-1.
// The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// stand for the control characters of the same number, as Windows reads them.
inline constexpr std::array<char16_t, 32> kWindows1252High{
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

// Appends Windows-1252 text to out as UTF-8. Every byte has a meaning: the five
// bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become
// the control characters of the same number, as everywhere else in 0x00-0xFF.
void appendWindows1252AsUtf8(std::string& out, std::string_view text);

} // namespace ondiva::text
