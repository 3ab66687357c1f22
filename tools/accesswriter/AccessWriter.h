#pragma once

// A writer of Microsoft Access files (.mdb) in the Jet 3 (Access 97) and Jet 4
// (Access 2000-2003) formats, written from the public description of the
// format, for test and benchmark data: tables of Text, Memo and Long columns,
// streamed row by row, with a system catalog and no indexes.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ondiva::accesswriter {

enum class JetVersion { Jet3, Jet4 };

struct AccessColumn {
    std::string name;
    // Text holds at most kAccessTextMaxLength characters; Memo any length; Long a 32-bit integer.
    enum class Type { Text, Memo, Long } type = Type::Text;
};

// One value per column: UTF-8 text, or the decimal text of a Long; nullopt is NULL.
using AccessRow = std::vector<std::optional<std::string>>;

struct AccessTable {
    std::string name;
    std::vector<AccessColumn> columns;
    // Fills `row` (one element per column, each nullopt on entry) and returns true,
    // or returns false when the table has no more rows. Called once per row, so a
    // table of any size is streamed to the file and never held in memory.
    std::function<bool(AccessRow& row)> nextRow;
};

inline constexpr std::size_t kAccessTextMaxLength = 255;

// Length of a UTF-8 text as Access counts the characters of a Text value (UTF-16 units).
std::size_t accessTextLength(std::string_view utf8);

// Writes a complete Access file at path (overwriting it): the tables in the
// order given, each one's rows in the order its nextRow gives them. Returns an
// empty string on success, else an English error (and no file is left behind).
//
// Jet 3 stores text in Windows-1252: characters it has no form for become '?'.
// Jet 4 stores text as uncompressed UTF-16.
std::string writeAccessFile(const std::string& path, JetVersion version, std::vector<AccessTable> tables);

} // namespace ondiva::accesswriter
