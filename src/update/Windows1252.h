#pragma once

#include <string>
#include <string_view>

namespace ondiva::update {

// Appends Windows-1252 text to out as UTF-8. Every byte has a meaning: the five
// bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become
// the control characters of the same number, as everywhere else in 0x00-0xFF.
void appendWindows1252AsUtf8(std::string& out, std::string_view text);

} // namespace ondiva::update
