#pragma once

#include <cstdint>
#include <string_view>

namespace ondiva {

// One value as it travels into or out of a table: NULL, text in UTF-8, or raw
// bytes. It views data owned by someone else.
struct FieldValue {
    enum class Kind : std::uint8_t { Null, Text, Bytes };
    Kind kind = Kind::Null;
    std::string_view data;
};

} // namespace ondiva
