#pragma once

// The exact text of the values an Access file stores in fixed-size columns,
// formatted from their stored bytes: no locale, no time zone, nothing rounded
// away that the file holds (only a date's fraction of a second).

#include <cstdint>
#include <string>

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

} // namespace ondiva::access
