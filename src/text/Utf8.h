#pragma once

// Shared rules about text that several parts of the program, the Access reader
// and the Access writer need alike: plain C++, no Qt. This file: UTF-8 encoding.

#include <string>

namespace ondiva::text {

// Writes the UTF-8 form of c (one to four bytes) at out; returns the end.
constexpr char* encodeUtf8(char* out, char32_t c)
{
    if (c < 0x80) {
        *out++ = char(c);
    } else if (c < 0x800) {
        *out++ = char(0xC0 | (c >> 6));
        *out++ = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = char(0xE0 | (c >> 12));
        *out++ = char(0x80 | ((c >> 6) & 0x3F));
        *out++ = char(0x80 | (c & 0x3F));
    } else {
        *out++ = char(0xF0 | (c >> 18));
        *out++ = char(0x80 | ((c >> 12) & 0x3F));
        *out++ = char(0x80 | ((c >> 6) & 0x3F));
        *out++ = char(0x80 | (c & 0x3F));
    }
    return out;
}

inline void appendUtf8(std::string& out, char32_t c)
{
    char buffer[4];
    out.append(buffer, size_t(encodeUtf8(buffer, c) - buffer));
}

} // namespace ondiva::text
