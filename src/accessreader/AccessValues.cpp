#include "AccessValues.h"
#include "text/Utf8.h"
#include "text/Windows1252.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace ondiva::access {
namespace {

template <class T>
void appendNumber(std::string& out, T value)
{
    char buffer[64];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendPadded(std::string& out, std::int64_t value, int width)
{
    char buffer[24];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(size_t(std::max<std::ptrdiff_t>(0, width - (result.ptr - buffer))), '0');
    out.append(buffer, result.ptr);
}

struct CivilDate {
    std::int64_t year;
    int month;
    int day;
};

// The Gregorian calendar date of a count of days since 1970-01-01, either
// side of it. Days are counted in whole eras of 400 years (146097 days) from
// 0000-03-01, in years that begin in March so that a leap day ends its year.
CivilDate civilFromDays(std::int64_t days)
{
    days += 719468; // 0000-03-01 to 1970-01-01
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    const int month = int(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    return {era * 400 + yearOfEra + (month <= 2 ? 1 : 0), month, day};
}

constexpr std::int64_t kDays1970To1899 = -25569; // 1970-01-01 to 1899-12-30, Access's day 0

constexpr char32_t kReplacement = 0xFFFD;

// UTF-16 code units to UTF-8, a surrogate pair as one character.
class Utf16ToUtf8 {
public:
    explicit Utf16ToUtf8(std::string& out)
        : m_out(out)
    {}
    void unit(char16_t u)
    {
        const bool low = u >= 0xDC00 && u <= 0xDFFF;
        if (m_high != 0 && low) {
            text::appendUtf8(m_out, 0x10000 + ((char32_t(m_high) - 0xD800) << 10) + (char32_t(u) - 0xDC00));
            m_high = 0;
            return;
        }
        finish();
        if (u >= 0xD800 && u <= 0xDBFF)
            m_high = u;
        else
            text::appendUtf8(m_out, low ? kReplacement : char32_t(u));
    }
    // A high surrogate left waiting has no pair.
    void finish()
    {
        if (m_high != 0)
            text::appendUtf8(m_out, kReplacement);
        m_high = 0;
    }

private:
    std::string& m_out;
    char16_t m_high = 0;
};

// The text between open and close, a close within it doubled, as ODBC quotes
// identifiers and connection values
std::wstring enclosed(std::wstring_view text, wchar_t open, wchar_t close)
{
    std::wstring out(1, open);
    for (wchar_t c : text) {
        out += c;
        if (c == close)
            out += close;
    }
    return out + close;
}

} // namespace

std::uint64_t littleEndian(const unsigned char* bytes, int size)
{
    std::uint64_t value = 0;
    for (int i = 0; i < size; ++i)
        value |= std::uint64_t(bytes[i]) << (8 * i);
    return value;
}

void appendInteger(std::string& out, std::int64_t value) { appendNumber(out, value); }

void appendCurrency(std::string& out, std::int64_t tenThousandths)
{
    const bool negative = tenThousandths < 0;
    const std::uint64_t magnitude = negative ? 0 - std::uint64_t(tenThousandths) : std::uint64_t(tenThousandths);
    if (negative)
        out += '-';
    appendNumber(out, magnitude / 10000);
    out += '.';
    appendPadded(out, std::int64_t(magnitude % 10000), 4);
}

void appendSingle(std::string& out, float value) { appendNumber(out, value); }

void appendDouble(std::string& out, double value) { appendNumber(out, value); }

void appendDateTime(std::string& out, double days)
{
    // Some 8000 years either way bounds the arithmetic; the years then decide.
    if (!(std::fabs(days) < 3.0e6)) {
        appendDouble(out, days);
        return;
    }
    double whole = 0;
    const double fraction = std::modf(days, &whole);
    auto day = std::int64_t(whole);
    auto seconds = std::int64_t(std::llround(std::fabs(fraction) * 86400.0));
    if (seconds == 86400) {
        ++day;
        seconds = 0;
    }
    const CivilDate date = civilFromDays(day + kDays1970To1899);
    if (date.year < 1 || date.year > 9999) {
        appendDouble(out, days);
        return;
    }
    appendPadded(out, date.year, 4);
    out += '-';
    appendPadded(out, date.month, 2);
    out += '-';
    appendPadded(out, date.day, 2);
    out += ' ';
    appendPadded(out, seconds / 3600, 2);
    out += ':';
    appendPadded(out, seconds / 60 % 60, 2);
    out += ':';
    appendPadded(out, seconds % 60, 2);
}

void appendDecimal(std::string& out, const unsigned char* stored, int scale)
{
    std::uint32_t words[4];
    for (int i = 0; i < 4; ++i)
        words[i] = std::uint32_t(littleEndian(stored + 1 + 4 * i, 4));
    // The digits, least significant first, by long division of the magnitude by ten.
    std::string digits;
    bool more = true;
    while (more) {
        std::uint64_t remainder = 0;
        more = false;
        for (std::uint32_t& word : words) {
            const std::uint64_t current = (remainder << 32) | word;
            word = std::uint32_t(current / 10);
            remainder = current % 10;
            more = more || word != 0;
        }
        digits += char('0' + remainder);
    }
    const bool zero = digits == "0";
    scale = std::max(scale, 0);
    while (digits.size() <= size_t(scale))
        digits += '0';
    if ((stored[0] & 0x80) && !zero)
        out += '-';
    for (size_t i = digits.size(); i-- > 0;) {
        out += digits[i];
        if (i == size_t(scale) && i > 0)
            out += '.';
    }
}

void appendReplicationId(std::string& out, const unsigned char* stored)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '{';
    for (int i : {3, 2, 1, 0, -1, 5, 4, -1, 7, 6, -1, 8, 9, -1, 10, 11, 12, 13, 14, 15}) {
        if (i < 0) {
            out += '-';
            continue;
        }
        out += kHex[stored[i] >> 4];
        out += kHex[stored[i] & 0x0F];
    }
    out += '}';
}

void appendJet4Text(std::string& out, const unsigned char* stored, std::size_t size)
{
    Utf16ToUtf8 text(out);
    const bool compressed = size >= 2 && stored[0] == 0xFF && stored[1] == 0xFE;
    bool single = compressed;
    for (std::size_t at = compressed ? 2 : 0; at < size;) {
        if (compressed && stored[at] == 0) {
            single = !single;
            ++at;
        } else if (single) {
            text.unit(stored[at++]);
        } else if (at + 1 < size) {
            text.unit(char16_t(stored[at] | stored[at + 1] << 8));
            at += 2;
        } else {
            text.unit(char16_t(kReplacement));
            ++at;
        }
    }
    text.finish();
}

void appendJet3Text(std::string& out, const unsigned char* stored, std::size_t size)
{
    text::appendWindows1252AsUtf8(out, std::string_view(reinterpret_cast<const char*>(stored), size));
}

bool appendScaled(std::string& out, std::string_view text, int scale)
{
    size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative || (!text.empty() && text[0] == '+'))
        ++at;
    std::string whole;
    std::string fraction;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9')
        whole += text[at++];
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            fraction += text[at++];
    }
    if (at != text.size() || (whole.empty() && fraction.empty()))
        return false;
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    if (whole.empty())
        whole = "0";
    scale = std::max(scale, 0);
    while (fraction.size() > size_t(scale) && fraction.back() == '0')
        fraction.pop_back();
    while (fraction.size() < size_t(scale))
        fraction += '0';
    if (negative && (whole != "0" || fraction.find_first_not_of('0') != std::string::npos))
        out += '-';
    out += whole;
    if (!fraction.empty())
        out += '.' + fraction;
    return true;
}

double accessDays(std::int64_t year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second,
                  std::uint32_t fraction)
{
    // Days since 1899-12-30 of the date: civilFromDays the other way round.
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const auto monthFromMarch = std::int64_t(month > 2 ? month - 3 : month + 9);
    const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + std::int64_t(day) - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = era * 146097 + dayOfEra - 719468 - kDays1970To1899;
    // The time of day is counted forward even before day 0.
    const double time = (hour * 3600.0 + minute * 60.0 + second + fraction / 1e9) / 86400.0;
    return days >= 0 ? double(days) + time : double(days) - time;
}

bool appendReplicationIdText(std::string& out, std::string_view text)
{
    if (text.size() == 38 && text.front() == '{' && text.back() == '}')
        text = text.substr(1, 36);
    if (text.size() != 36)
        return false;
    std::string id = "{";
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (c == '-'))
            return false;
        if (dash || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))
            id += c;
        else if (c >= 'a' && c <= 'f')
            id += char(c - 'a' + 'A');
        else
            return false;
    }
    out += id;
    out += '}';
    return true;
}

std::wstring bracketedName(std::wstring_view name) { return enclosed(name, L'[', L']'); }

std::wstring connectionValue(std::wstring_view value)
{
    if (value.find_first_of(L";{}") == std::wstring_view::npos && value.find(L' ') != 0)
        return std::wstring(value);
    return enclosed(value, L'{', L'}');
}

ValuePiece valuePiece(std::span<const std::string> warnings, std::optional<std::size_t> length, const char* written,
                      std::size_t room, std::size_t terminator)
{
    // It fitted: its length holds, even when a warning came with it.
    if (length && *length <= room)
        return {*length, true, true};
    // Truncated, the rest to come; or (a driver at odds with itself) longer than
    // the buffer without a word of truncation: one more call tells.
    const bool truncated = std::find(warnings.begin(), warnings.end(), "01004") != warnings.end();
    if (truncated || length)
        return {room, false, true};
    // The last piece, of a length the driver did not say (any warning but 01004
    // is about something else): text ends at its terminator, binary data cannot
    // be told from what follows it.
    if (terminator == 0)
        return {0, true, false};
    for (std::size_t at = 0; at + terminator <= room; at += terminator) {
        if (std::all_of(written + at, written + at + terminator, [](char c) { return c == 0; }))
            return {at, true, true};
    }
    return {room, true, true};
}

} // namespace ondiva::access
