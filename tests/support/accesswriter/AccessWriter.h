#pragma once

// A writer of Microsoft Access files (.mdb) in the Jet 3 (Access 97) and Jet 4
// (Access 2000-2003) formats, written from the public description of the
// format, for test and benchmark data: tables of columns of the common Access
// types, streamed row by row, with a system catalog and no indexes.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ondiva::accesswriter {

enum class JetVersion { Jet3, Jet4 };

struct AccessColumn {
    // The text each type takes as a value. Every type but Text, Memo, Binary and
    // Ole takes only the one spelling shown (anything else is refused), which is
    // also the text a reader is to give back, so that values compare byte for byte:
    //   Text      UTF-8, at most kAccessTextMaxLength characters
    //   Memo      UTF-8, any length up to 16 MB as stored
    //   Byte      0 to 255: "0", "255"
    //   Integer   a 16-bit integer: "-42", "32767"
    //   Long      a 32-bit integer: "-42", "2147483647"
    //   Boolean   "1" or "0"; never NULL, nullopt writes "0" (Yes/No lives in the row's null mask)
    //   Currency  ten-thousandths in 64 bits, with exactly four decimals: "-12.3400", "0.0000"
    //   Single    a 32-bit float, the shortest text that reads back to it (std::to_chars): "0.1", "1e+10"
    //   Double    a 64-bit float, likewise: "3.141592653589793", "1e+300", "-0"; finite values only
    //   DateTime  "YYYY-MM-DD HH:MM:SS", years 0100 to 9999, whole seconds
    //   Guid      "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal
    //   Binary    raw bytes, at most 255
    //   Ole       raw bytes, any length up to 16 MB
    //   Decimal   Jet 4 only: exactly `scale` decimals, at most `precision` digits in all: "-1234.5678"
    // Integers and decimals have no '+', no leading zeros and no "-0"; Currency,
    // Decimal and integer zero is unsigned. NULL (nullopt) stays apart from
    // every value, empty texts and zeros included.
    enum class Type {
        Text,
        Memo,
        Long,
        Byte,
        Integer,
        Boolean,
        Currency,
        Single,
        Double,
        DateTime,
        Guid,
        Binary,
        Ole,
        Decimal
    };

    std::string name;
    Type type = Type::Text;
    // Decimal only: the digits in all (1 to 28) and those after the point (0 to precision).
    int precision = 18;
    int scale = 0;
};

// One value per column, as the text its type takes (see AccessColumn); nullopt is NULL.
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
// empty string on success, else an English error (and no file is left behind):
// a value its column's type does not take, a Decimal column in a Jet 3 file...
//
// Jet 3 stores text in Windows-1252: characters it has no form for become '?'.
// Jet 4 stores text as uncompressed UTF-16.
std::string writeAccessFile(const std::string& path, JetVersion version, std::vector<AccessTable> tables);

} // namespace ondiva::accesswriter
