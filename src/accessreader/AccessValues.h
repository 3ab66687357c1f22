#pragma once

// The exact text of the values an Access file stores, formatted from their
// stored bytes: no locale, no time zone, nothing rounded away that the file
// holds (only a date's fraction of a second), every character of a text.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ondiva::access {

// Little-endian integers as the file stores them, whatever the host.
std::uint64_t littleEndian(const unsigned char* bytes, int size);

// Byte, Integer and Long Integer columns.
void appendInteger(std::string& out, std::int64_t value);
// Currency: a 64-bit count of ten-thousandths, with exactly four decimals ("-12.3400").
void appendCurrency(std::string& out, std::int64_t tenThousandths);
// Single and Double: the shortest text that reads back to the same number.
void appendSingle(std::string& out, float value);
void appendDouble(std::string& out, double value);
// Date/Time: days since 1899-12-30, the time of day as the fraction, counted
// forward even before that day (-1.25 is 1899-12-29 06:00:00), as
// "YYYY-MM-DD HH:MM:SS" rounded to the nearest second. A value outside the
// years 1 to 9999 (only in a damaged file) keeps its number, as appendDouble.
void appendDateTime(std::string& out, double days);
// Decimal: 17 stored bytes (a sign byte, 0x80 for negative, then a 128-bit
// magnitude as four little-endian 32-bit words, the most significant first),
// with `scale` digits after the point.
void appendDecimal(std::string& out, const unsigned char* stored, int scale);
// Replication ID: 16 stored bytes as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}",
// the first three groups read little-endian.
void appendReplicationId(std::string& out, const unsigned char* stored);

// Text and Memo values, from their stored bytes, appended in UTF-8 (at most
// three bytes for each byte stored).
//
// Jet 4 stores UTF-16LE, or, when the bytes begin FF FE, its compressed form:
// runs of one byte per character (below U+0100; the form starts so) and runs
// of UTF-16LE, each 0x00 byte at a character's start switching from one to the
// other. A surrogate pair becomes the one character it stands for (beyond
// U+FFFF); a lone surrogate, or a last byte without its pair, becomes U+FFFD.
void appendJet4Text(std::string& out, const unsigned char* stored, std::size_t size);
// Jet 3 stores Windows-1252; the five bytes that code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become U+0081 to U+009D as Windows reads them.
void appendJet3Text(std::string& out, const unsigned char* stored, std::size_t size);

// What the ODBC reader (Windows) is handed, back to the text above, so that
// both readers write every value alike.
//
// Currency and Decimal, which a driver gives as text ("-12.5", ".5", "+3"),
// with exactly `scale` decimals; digits beyond the scale are kept unless they
// are zeros, so that nothing is rounded away. False for a text that is no
// such number.
bool appendScaled(std::string& out, std::string_view text, int scale);
// Access's own day count (see appendDateTime) of a date and time of day as a
// driver gives them, the fraction of a second in nanoseconds.
double accessDays(std::int64_t year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second,
                  std::uint32_t fraction);
// A replication ID a driver gives as text, braces or none, either case, as
// appendReplicationId writes it. False for a text that is no such ID.
bool appendReplicationIdText(std::string& out, std::string_view text);
// A table name as an Access SQL identifier: in brackets, a closing bracket doubled.
std::wstring bracketedName(std::wstring_view name);
// A value in an ODBC connection string: in braces, a closing brace doubled,
// when it holds what would end it (';', a brace, a leading space).
std::wstring connectionValue(std::wstring_view value);

// One piece of a long value as an ODBC driver hands it over, SQLGetData
// called again and again on one column into a buffer of `room` bytes plus a
// terminator of `terminator` bytes (0 for binary data). `warnings` are the
// SQLSTATEs of the diagnostics that came with it (none for SQL_SUCCESS): only
// 01004 says the value was cut short, more to come. `length` is the length the
// driver reported of what remained, empty for SQL_NO_TOTAL. `bytes` is how
// much of `written` belongs to the value; `known` is false when that cannot be
// told.
struct ValuePiece {
    std::size_t bytes = 0;
    bool last = false;
    bool known = true;
};
ValuePiece valuePiece(std::span<const std::string> warnings, std::optional<std::size_t> length, const char* written,
                      std::size_t room, std::size_t terminator);

} // namespace ondiva::access
