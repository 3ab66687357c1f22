#include "AccessWriter.h"
#include "text/Windows1252.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

// File layout written here:
//   page 0   database header (its middle part masked with RC4, as every Jet file has it)
//   page 1   rows holding the usage maps of every table (more such pages at the end if needed)
//   page 2   table definition of the system catalog MSysObjects
//   then, table by table: the table definition page, then its data pages, with
//   the long-value (LVAL) pages of its memos and OLE values in between
//   at the end: the catalog's data pages, usage-map reference pages of big tables,
//   more usage-map pages and table definition pages, when any are needed.
// Every page is written once, at its place, as soon as it is complete: rows are
// never kept in memory.

namespace ondiva::accesswriter {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(std::uint8_t* at, std::uint32_t value)
{
    at[0] = std::uint8_t(value);
    at[1] = std::uint8_t(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = std::uint8_t(value >> (8 * i));
}

void append16(Bytes& bytes, std::uint32_t value)
{
    bytes.push_back(std::uint8_t(value));
    bytes.push_back(std::uint8_t(value >> 8));
}

void append32(Bytes& bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(std::uint8_t(value >> (8 * i)));
}

struct Format {
    bool jet4;
    std::uint32_t pageSize;
    std::uint32_t rowCountAt; // offset of a data page's row count; the row offsets follow it
    std::uint32_t mapSize;    // bytes of a table's usage map
    std::uint32_t maxPages;   // Jet 3 files hold at most 1 GB, Jet 4 files 2 GB

    static Format of(JetVersion version)
    {
        if (version == JetVersion::Jet3)
            return {false, 2048, 8, 128, 1u << 19};
        return {true, 4096, 12, 64, 1u << 19};
    }
    // The largest row an empty page takes (the row and its 2-byte offset entry).
    std::size_t maxRowSize() const { return pageSize - rowCountAt - 2 - 2; }
};

// A row's address as the format stores it: the page in the upper 24 bits, the row below.
std::uint32_t rowPointer(std::uint32_t page, std::uint32_t row) { return page << 8 | row; }

// The page-level writer: pages are numbered as they are allocated and written at their place.
class PageFile {
public:
    explicit PageFile(const Format& format)
        : m_format(format)
    {}
    ~PageFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    bool open(const std::string& path)
    {
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0)
            fail("cannot create " + path + ": " + std::strerror(errno));
        return m_fd >= 0;
    }

    std::uint32_t allocate()
    {
        if (m_pages == m_format.maxPages)
            fail("the file would exceed the size an Access file can have");
        return m_pages++;
    }

    void write(std::uint32_t page, const Bytes& data)
    {
        if (failed())
            return;
        const off_t at = off_t(page) * off_t(m_format.pageSize);
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::pwrite(m_fd, data.data() + done, data.size() - done, at + off_t(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                fail(std::string("cannot write the file: ") + std::strerror(errno));
                return;
            }
            done += std::size_t(n);
        }
    }

    bool close()
    {
        if (m_fd >= 0 && ::close(m_fd) != 0)
            fail(std::string("cannot close the file: ") + std::strerror(errno));
        m_fd = -1;
        return !failed();
    }

    void fail(const std::string& message)
    {
        if (m_error.empty())
            m_error = message;
    }
    bool failed() const { return !m_error.empty(); }
    const std::string& error() const { return m_error; }

private:
    const Format& m_format;
    int m_fd = -1;
    std::uint32_t m_pages = 0;
    std::string m_error;
};

// A page of rows: a data page of one table, a page of long values ("LVAL"), or a
// page of usage maps. Rows fill the page from its end towards its header, and
// the header lists where each row starts, in row order.
class RowPage {
public:
    static constexpr std::uint32_t kMaxRows = 255; // row pointers keep the row number in one byte

    RowPage(const Format& format, std::uint32_t number, std::uint32_t owner)
        : m_format(format)
        , m_bytes(format.pageSize, 0)
    {
        reset(number, owner);
    }

    // Empties the page and gives it a new number and owner (the table
    // definition page of its table, or the text "LVAL").
    void reset(std::uint32_t number, std::uint32_t owner)
    {
        std::fill(m_bytes.begin(), m_bytes.end(), 0);
        m_bytes[0] = 0x01;
        m_bytes[1] = 0x01;
        put32(&m_bytes[4], owner);
        m_number = number;
        m_rows = 0;
        m_start = m_format.pageSize;
    }

    std::uint32_t number() const { return m_number; }
    std::uint32_t rows() const { return m_rows; }

    // The largest row that still fits, its offset entry counted.
    std::size_t room() const
    {
        const std::size_t used = m_format.rowCountAt + 2 + 2 * std::size_t(m_rows) + 2;
        if (m_rows == kMaxRows || m_start < used)
            return 0;
        return m_start - used;
    }

    // Adds a row of size bytes (size <= room()) and returns where to write it.
    std::uint8_t* add(std::size_t size)
    {
        m_start -= std::uint32_t(size);
        put16(&m_bytes[m_format.rowCountAt + 2 + 2 * m_rows], m_start);
        ++m_rows;
        return &m_bytes[m_start];
    }

    const Bytes& finish()
    {
        put16(&m_bytes[m_format.rowCountAt], m_rows);
        put16(&m_bytes[2], m_start - (m_format.rowCountAt + 2 + 2 * m_rows));
        return m_bytes;
    }

private:
    const Format& m_format;
    Bytes m_bytes;
    std::uint32_t m_number = 0;
    std::uint32_t m_rows = 0;
    std::uint32_t m_start = 0; // where the last row added starts
};

constexpr std::uint32_t kLvalOwner = 'L' | 'V' << 8 | 'A' << 16 | std::uint32_t('L') << 24;

// Long values (memos and OLE values too long to keep in their row) on LVAL
// pages: a value that fits one page is one row (memo flag 0x40); a longer one
// is a chain of rows, each starting with the pointer to the next one (memo flag 0x00).
class LongValueStore {
public:
    struct Ref {
        std::uint8_t flags;
        std::uint32_t pointer;
    };

    LongValueStore(const Format& format, PageFile& file)
        : m_format(format)
        , m_file(file)
        , m_page(format, 0, kLvalOwner)
    {}

    Ref store(const Bytes& value)
    {
        if (value.size() <= m_format.maxRowSize()) {
            if (!m_open || m_page.room() < value.size())
                startPage(m_file.allocate());
            const std::uint32_t row = m_page.rows();
            std::memcpy(m_page.add(value.size()), value.data(), value.size());
            return {0x40, rowPointer(m_page.number(), row)};
        }
        // A chain may start in what is left of the current page, if that is worth it.
        if (!m_open || m_page.room() < 4 + 256)
            startPage(m_file.allocate());
        const Ref first{0x00, rowPointer(m_page.number(), m_page.rows())};
        std::size_t done = 0;
        for (;;) {
            const std::size_t piece = std::min(m_page.room() - 4, value.size() - done);
            const bool last = done + piece == value.size();
            const std::uint32_t nextPage = last ? 0 : m_file.allocate();
            std::uint8_t* row = m_page.add(4 + piece);
            put32(row, last ? 0 : rowPointer(nextPage, 0));
            std::memcpy(row + 4, value.data() + done, piece);
            done += piece;
            if (last)
                return first;
            startPage(nextPage);
        }
    }

    void flush()
    {
        if (m_open)
            m_file.write(m_page.number(), m_page.finish());
        m_open = false;
    }

private:
    void startPage(std::uint32_t number)
    {
        flush();
        m_page.reset(number, kLvalOwner);
        m_open = true;
    }

    const Format& m_format;
    PageFile& m_file;
    RowPage m_page;
    bool m_open = false;
};

// ---- Text

// Calls emit(code point) for each character of a UTF-8 text; a malformed sequence becomes U+FFFD.
template <class Emit>
void decodeUtf8(std::string_view text, Emit&& emit)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            emit(char32_t(lead));
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t cp = 0;
        char32_t smallest = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, cp = lead & 0x1F, smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, cp = lead & 0x0F, smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, cp = lead & 0x07, smallest = 0x10000;
        } else {
            emit(char32_t(0xFFFD));
            ++i;
            continue;
        }
        std::size_t k = 1;
        for (; k < length && i + k < text.size(); ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                break;
            cp = cp << 6 | (next & 0x3F);
        }
        i += k;
        if (k < length || cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            cp = 0xFFFD;
        emit(cp);
    }
}

std::uint8_t toCp1252(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return std::uint8_t(cp);
    for (std::size_t i = 0; i < text::kWindows1252High.size(); ++i)
        if (text::kWindows1252High[i] == cp)
            return std::uint8_t(0x80 + i);
    return '?';
}

// Appends a text as the format stores it and returns its length in characters
// as Access counts them: bytes of Windows-1252 in Jet 3, UTF-16 units in Jet 4.
std::size_t encodeText(const Format& format, std::string_view utf8, Bytes& out)
{
    const std::size_t start = out.size();
    if (!format.jet4) {
        decodeUtf8(utf8, [&](char32_t cp) { out.push_back(toCp1252(cp)); });
        return out.size() - start;
    }
    bool lowByteZero = false;
    auto unit = [&](std::uint32_t u) {
        lowByteZero = lowByteZero || (u & 0xFF) == 0;
        append16(out, u);
    };
    decodeUtf8(utf8, [&](char32_t cp) {
        if (cp < 0x10000) {
            unit(cp);
        } else {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    });
    const std::size_t units = (out.size() - start) / 2;
    // A Jet 4 text that starts with the bytes FF FE is read as compressed text.
    // A text starting with U+FEFF (stored FF FE) is therefore written in that
    // form: the FF FE mark, a 0 byte that switches to two bytes per character,
    // and the characters. That form cannot hold a character whose low byte is 0.
    if (units > 0 && out[start] == 0xFF && out[start + 1] == 0xFE && !lowByteZero) {
        static constexpr std::uint8_t mark[] = {0xFF, 0xFE, 0x00};
        out.insert(out.begin() + std::ptrdiff_t(start), std::begin(mark), std::end(mark));
    }
    return units;
}

// ---- Tables

// Column types as the format numbers them.
enum class Kind : std::uint8_t {
    Bool = 0x01,
    Byte = 0x02,
    Int = 0x03,
    Long = 0x04,
    Money = 0x05,
    Float = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    Ole = 0x0B,
    Memo = 0x0C,
    Guid = 0x0F,
    Numeric = 0x10
};

// Memo and OLE values: a 12-byte field in the row, the value itself in the row or on LVAL pages.
bool isLong(Kind kind) { return kind == Kind::Memo || kind == Kind::Ole; }

Kind kindOf(AccessColumn::Type type)
{
    using Type = AccessColumn::Type;
    switch (type) {
    case Type::Text:
        return Kind::Text;
    case Type::Memo:
        return Kind::Memo;
    case Type::Long:
        return Kind::Long;
    case Type::Byte:
        return Kind::Byte;
    case Type::Integer:
        return Kind::Int;
    case Type::Boolean:
        return Kind::Bool;
    case Type::Currency:
        return Kind::Money;
    case Type::Single:
        return Kind::Float;
    case Type::Double:
        return Kind::Double;
    case Type::DateTime:
        return Kind::DateTime;
    case Type::Guid:
        return Kind::Guid;
    case Type::Binary:
        return Kind::Binary;
    case Type::Ole:
        return Kind::Ole;
    case Type::Decimal:
        return Kind::Numeric;
    }
    return Kind::Text;
}

// A column as a table asks for it: its name and its type.
struct ColumnType {
    std::string name;
    Kind kind;
    std::uint8_t precision = 0; // Numeric only
    std::uint8_t scale = 0;
};

struct Column {
    std::string name;
    Kind kind;
    bool fixed = false;
    std::uint16_t length = 0;      // bytes of a fixed value, or the most a Text or Binary value takes
    std::uint16_t fixedOffset = 0; // where a fixed value sits after the row's column count
    std::uint16_t varIndex = 0;    // position among the variable-length columns
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
};

struct Layout {
    std::string name;
    bool system = false;
    std::vector<Column> columns;
    std::uint16_t fixedBytes = 0;
    std::uint16_t varCount = 0;
};

constexpr std::size_t kBinaryMaxLength = 255;

// Bytes a value of a fixed-size type takes in the row; 0 for the others.
// A Boolean is fixed but takes no byte: its value is its bit in the null mask.
std::uint16_t fixedLength(Kind kind)
{
    switch (kind) {
    case Kind::Byte:
        return 1;
    case Kind::Int:
        return 2;
    case Kind::Long:
    case Kind::Float:
        return 4;
    case Kind::Money:
    case Kind::Double:
    case Kind::DateTime:
        return 8;
    case Kind::Guid:
        return 16;
    case Kind::Numeric:
        return 17;
    default:
        return 0;
    }
}

Layout makeLayout(const Format& format, std::string name, bool system, const std::vector<ColumnType>& columns)
{
    Layout layout{std::move(name), system, {}, 0, 0};
    for (const ColumnType& given : columns) {
        Column column{given.name, given.kind};
        column.precision = given.precision;
        column.scale = given.scale;
        column.fixed = given.kind == Kind::Bool || fixedLength(given.kind) > 0;
        if (column.fixed)
            column.length = fixedLength(given.kind);
        else if (given.kind == Kind::Text)
            column.length = std::uint16_t(format.jet4 ? 2 * kAccessTextMaxLength : kAccessTextMaxLength);
        else if (given.kind == Kind::Binary)
            column.length = kBinaryMaxLength;
        if (column.fixed) {
            column.fixedOffset = layout.fixedBytes;
            layout.fixedBytes = std::uint16_t(layout.fixedBytes + column.length);
        } else {
            column.varIndex = layout.varCount++;
        }
        layout.columns.push_back(std::move(column));
    }
    return layout;
}

// Memos up to this many bytes stay in their row; longer ones go to LVAL pages.
constexpr std::size_t kInlineMemoBytes = 64;
// The memo field's length has 24 bits where the value spans several pages.
constexpr std::size_t kMaxMemoBytes = (1u << 24) - 1;

// ---- Values: each type takes one spelling of a value, the one a reader gives back

bool allDigits(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// An integer spelled as std::to_string spells it: no '+', no leading zeros, no "-0".
std::optional<std::int64_t> integerValue(std::string_view text, std::int64_t low, std::int64_t high)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high ||
        std::to_string(value) != text)
        return std::nullopt;
    return value;
}

// A float spelled as the shortest text that reads back to it (std::to_chars); finite only.
template <class Float>
std::optional<Float> floatValue(std::string_view text)
{
    Float value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    std::array<char, 64> shortest{};
    const auto [out, error2] = std::to_chars(shortest.data(), shortest.data() + shortest.size(), value);
    if (error2 != std::errc() || std::string_view(shortest.data(), std::size_t(out - shortest.data())) != text)
        return std::nullopt;
    return value;
}

// A number of `scale` decimals, [-]digits[.digits]: its sign and its digits without the point.
// The whole part has no leading zero but a lone "0", and zero has no sign.
struct ScaledDigits {
    bool negative = false;
    std::string digits;
    std::size_t wholeDigits = 0; // significant digits before the point
};

std::optional<ScaledDigits> scaledDigits(std::string_view text, std::size_t scale)
{
    ScaledDigits out;
    if (!text.empty() && text.front() == '-') {
        out.negative = true;
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() || !allDigits(whole) || !allDigits(fraction) || (whole.size() > 1 && whole.front() == '0') ||
        fraction.size() != scale || (scale == 0) != (point == std::string_view::npos))
        return std::nullopt;
    out.digits.append(whole).append(fraction);
    if (out.negative && out.digits.find_first_not_of('0') == std::string::npos)
        return std::nullopt;
    out.wholeDigits = whole == "0" ? 0 : whole.size();
    return out;
}

// Days from 1970-01-01 to a date, by the Gregorian rules also before 1582, as Access counts.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// "YYYY-MM-DD HH:MM:SS" as Access stores a date: a double counting days from
// 1899-12-30, whose fraction is the time of day. Before 1899-12-30 the whole
// part is negative and the time is still its fraction's size, subtracted:
// 1899-12-29 06:00 is -1.25, not -0.75 (as Access writes it, and libmdb's
// mdb_tm_to_date). A reader takes the whole part towards zero as the day, and
// the fraction's size times 86400, to the nearest second, as the time.
std::optional<double> dateTimeValue(std::string_view text)
{
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    auto number = [&](std::size_t at, std::size_t length) -> int {
        const std::string_view digits = text.substr(at, length);
        if (!allDigits(digits))
            return -1;
        int value = 0;
        for (const char c : digits)
            value = value * 10 + (c - '0');
        return value;
    };
    const int year = number(0, 4);
    const int month = number(5, 2);
    const int day = number(8, 2);
    const int hour = number(11, 2);
    const int minute = number(14, 2);
    const int second = number(17, 2);
    if (year < 100 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return std::nullopt;
    static constexpr std::array<int, 12> kMonthDays{31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (day > kMonthDays[std::size_t(month - 1)] || (month == 2 && day == 29 && !leap))
        return std::nullopt;
    const std::int64_t days = daysFromCivil(year, unsigned(month), unsigned(day)) - daysFromCivil(1899, 12, 30);
    const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
    return days >= 0 ? double(days) + time : double(days) - time;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": the first three groups are stored
// little-endian, the last two byte by byte, as Windows lays out a GUID.
bool appendGuid(std::string_view text, Bytes& out)
{
    if (text.size() != 38 || text.front() != '{' || text.back() != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-')
        return false;
    // Where each byte's two digits start: every place but the braces and the dashes.
    static constexpr std::array<std::size_t, 16> kDigitsAt{1, 3, 5, 7, 10, 12, 15, 17, 20, 22, 25, 27, 29, 31, 33, 35};
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = hexDigit(text[kDigitsAt[i]]);
        const int low = hexDigit(text[kDigitsAt[i] + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = std::uint8_t(high << 4 | low);
    }
    static constexpr std::array<std::size_t, 16> kStored{3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (const std::size_t i : kStored)
        out.push_back(bytes[i]);
    return true;
}

void append64(Bytes& bytes, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        bytes.push_back(std::uint8_t(value >> (8 * i)));
}

// Appends a value as the column stores it, or says why the text is not one of its type.
std::string encodeValue(const Format& format, const Column& column, const std::string& text, Bytes& out)
{
    const auto refused = [&](const std::string& what) { return "\"" + text + "\" is not " + what; };
    switch (column.kind) {
    case Kind::Text:
        if (const std::size_t length = encodeText(format, text, out); length > kAccessTextMaxLength)
            return "a text of " + std::to_string(length) + " characters does not fit a Text column (" +
                   std::to_string(kAccessTextMaxLength) + " at most); make it a Memo";
        return {};
    case Kind::Memo:
        encodeText(format, text, out);
        return out.size() > kMaxMemoBytes ? "the memo takes more than 16 MB" : std::string();
    case Kind::Ole:
        out.assign(text.begin(), text.end());
        return out.size() > kMaxMemoBytes ? "the OLE value takes more than 16 MB" : std::string();
    case Kind::Binary:
        if (text.size() > kBinaryMaxLength)
            return "a Binary value of " + std::to_string(text.size()) + " bytes is longer than " +
                   std::to_string(kBinaryMaxLength);
        out.assign(text.begin(), text.end());
        return {};
    case Kind::Byte:
        if (const auto value = integerValue(text, 0, 255)) {
            out.push_back(std::uint8_t(*value));
            return {};
        }
        return refused("a Byte (0 to 255, as \"42\")");
    case Kind::Int:
        if (const auto value = integerValue(text, std::numeric_limits<std::int16_t>::min(),
                                            std::numeric_limits<std::int16_t>::max())) {
            append16(out, std::uint32_t(*value));
            return {};
        }
        return refused("a 16-bit integer (as \"-42\")");
    case Kind::Long:
        if (const auto value = integerValue(text, std::numeric_limits<std::int32_t>::min(),
                                            std::numeric_limits<std::int32_t>::max())) {
            append32(out, std::uint32_t(*value));
            return {};
        }
        return refused("a 32-bit integer (as \"-42\")");
    case Kind::Money: {
        // Ten-thousandths in a 64-bit two's complement integer.
        const auto number = scaledDigits(text, 4);
        const std::uint64_t limit =
            std::uint64_t(std::numeric_limits<std::int64_t>::max()) + (number && number->negative);
        std::uint64_t magnitude = 0;
        bool fits = number.has_value();
        for (std::size_t i = 0; fits && i < number->digits.size(); ++i) {
            const unsigned digit = unsigned(number->digits[i] - '0');
            fits = magnitude <= (limit - digit) / 10;
            magnitude = magnitude * 10 + digit;
        }
        if (!fits)
            return refused("a Currency value (four decimals, as \"-12.3400\", within the 64 bits of ten-thousandths)");
        append64(out, number->negative ? ~magnitude + 1 : magnitude);
        return {};
    }
    case Kind::Float:
        if (const auto value = floatValue<float>(text)) {
            append32(out, std::bit_cast<std::uint32_t>(*value));
            return {};
        }
        return refused("a Single as std::to_chars writes it (the shortest text that reads back the same float)");
    case Kind::Double:
        if (const auto value = floatValue<double>(text)) {
            append64(out, std::bit_cast<std::uint64_t>(*value));
            return {};
        }
        return refused("a Double as std::to_chars writes it (the shortest text that reads back the same double)");
    case Kind::DateTime:
        if (const auto value = dateTimeValue(text)) {
            append64(out, std::bit_cast<std::uint64_t>(*value));
            return {};
        }
        return refused("a date and time \"YYYY-MM-DD HH:MM:SS\" of the years 0100 to 9999");
    case Kind::Guid:
        if (appendGuid(text, out))
            return {};
        return refused("a GUID \"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}\" in upper-case hexadecimal");
    case Kind::Numeric: {
        // A sign byte (0x80 when negative), then the magnitude as an unsigned
        // 128-bit integer in four 32-bit little-endian words, the most significant first.
        const auto number = scaledDigits(text, column.scale);
        if (!number || number->wholeDigits > std::size_t(column.precision - column.scale))
            return refused("a Decimal of precision " + std::to_string(column.precision) + " and scale " +
                           std::to_string(column.scale) + " (exactly " + std::to_string(column.scale) +
                           " decimals, as \"-1234.5678\" for scale 4)");
        std::array<std::uint32_t, 4> words{}; // least significant first
        for (const char c : number->digits) {
            std::uint64_t carry = unsigned(c - '0');
            for (std::uint32_t& word : words) {
                carry += std::uint64_t(word) * 10;
                word = std::uint32_t(carry);
                carry >>= 32;
            }
        }
        out.push_back(number->negative ? 0x80 : 0x00);
        for (std::size_t i = words.size(); i-- > 0;)
            append32(out, words[i]);
        return {};
    }
    case Kind::Bool:
        break;
    }
    return "this column takes no value";
}

// Writes the rows of one table to its data pages.
class TableWriter {
public:
    TableWriter(const Format& format, PageFile& file, LongValueStore& longValues, const Layout& layout,
                std::uint32_t definitionPage)
        : m_format(format)
        , m_file(file)
        , m_longValues(longValues)
        , m_layout(layout)
        , m_definitionPage(definitionPage)
        , m_page(format, 0, definitionPage)
        , m_values(layout.columns.size())
        , m_starts(layout.varCount + 1)
    {}

    std::string add(const AccessRow& row)
    {
        const std::size_t rowNumber = std::size_t(m_rows) + 1;
        auto where = [&](std::size_t column) {
            return "table " + m_layout.name + ", row " + std::to_string(rowNumber) + ", column " +
                   m_layout.columns[column].name + ": ";
        };
        if (row.size() != m_layout.columns.size())
            return "table " + m_layout.name + ", row " + std::to_string(rowNumber) + ": " + std::to_string(row.size()) +
                   " values for " + std::to_string(m_layout.columns.size()) + " columns";
        for (std::size_t i = 0; i < row.size(); ++i) {
            const Column& column = m_layout.columns[i];
            Value& value = m_values[i];
            value.bytes.clear();
            value.longValue = false;
            if (column.kind == Kind::Bool) {
                // Yes/No is the column's bit in the null mask: set for Yes. It is never NULL.
                if (row[i] && *row[i] != "0" && *row[i] != "1")
                    return where(i) + "\"" + *row[i] + "\" is not a Boolean (\"1\" or \"0\")";
                value.null = !row[i] || *row[i] == "0";
                continue;
            }
            value.null = !row[i].has_value();
            if (value.null)
                continue;
            if (std::string error = encodeValue(m_format, column, *row[i], value.bytes); !error.empty())
                return where(i) + error;
            value.longValue = isLong(column.kind) && value.bytes.size() > kInlineMemoBytes;
        }

        // Memo and OLE values leave the row, the largest first, until the row fits a page.
        std::string error = build();
        while (!error.empty() || m_row.size() > m_format.maxRowSize()) {
            Value* largest = nullptr;
            for (std::size_t i = 0; i < m_values.size(); ++i)
                if (isLong(m_layout.columns[i].kind) && !m_values[i].null && !m_values[i].longValue &&
                    (!largest || m_values[i].bytes.size() > largest->bytes.size()))
                    largest = &m_values[i];
            if (!largest) {
                if (error.empty())
                    error = "the row takes " + std::to_string(m_row.size()) + " bytes, more than a page holds (" +
                            std::to_string(m_format.maxRowSize()) + ")";
                return "table " + m_layout.name + ", row " + std::to_string(rowNumber) + ": " + error;
            }
            largest->longValue = true;
            error = build();
        }

        bool stored = false;
        for (std::size_t i = 0; i < m_values.size(); ++i)
            if (isLong(m_layout.columns[i].kind) && !m_values[i].null && m_values[i].longValue) {
                m_values[i].ref = m_longValues.store(m_values[i].bytes);
                stored = true;
            }
        if (stored)
            build();

        if (!m_open || m_page.room() < m_row.size()) {
            flush();
            m_page.reset(m_file.allocate(), m_definitionPage);
            m_open = true;
            m_pages.push_back(m_page.number());
        }
        std::memcpy(m_page.add(m_row.size()), m_row.data(), m_row.size());
        ++m_rows;
        return m_file.error();
    }

    void flush()
    {
        if (m_open)
            m_file.write(m_page.number(), m_page.finish());
        m_open = false;
    }

    std::uint32_t rows() const { return m_rows; }
    const std::vector<std::uint32_t>& pages() const { return m_pages; }

private:
    struct Value {
        bool null = true; // for a Boolean: No
        Bytes bytes;      // the value as stored (a Memo's or OLE value's without its 12-byte field)
        bool longValue = false;
        LongValueStore::Ref ref{};
    };

    // The variable part of a value: the text or bytes, or a memo's or OLE value's
    // 12-byte field (length, flags, LVAL pointer) followed by the value itself
    // when it stays in the row.
    void appendVariable(const Column& column, const Value& value)
    {
        if (!isLong(column.kind)) {
            m_row.insert(m_row.end(), value.bytes.begin(), value.bytes.end());
            return;
        }
        const std::uint32_t flags = value.longValue ? value.ref.flags : 0x80;
        append32(m_row, std::uint32_t(value.bytes.size()) | flags << 24);
        append32(m_row, value.longValue ? value.ref.pointer : 0);
        append32(m_row, 0);
        if (!value.longValue)
            m_row.insert(m_row.end(), value.bytes.begin(), value.bytes.end());
    }

    // Lays the row out in m_row: column count, fixed values, variable values,
    // the table of where each variable value starts (stored backwards, after the
    // end-of-data offset), the count of variable columns, and the mask of non-null columns.
    std::string build()
    {
        const std::size_t count = m_layout.columns.size();
        m_row.clear();
        if (m_format.jet4)
            append16(m_row, std::uint32_t(count));
        else
            m_row.push_back(std::uint8_t(count));
        const std::size_t fixedStart = m_row.size();
        m_row.resize(fixedStart + m_layout.fixedBytes, 0);
        for (std::size_t i = 0; i < count; ++i) {
            const Column& column = m_layout.columns[i];
            if (column.fixed && column.length > 0 && !m_values[i].null)
                std::memcpy(&m_row[fixedStart + column.fixedOffset], m_values[i].bytes.data(), column.length);
        }
        if (m_layout.varCount > 0) {
            for (std::size_t i = 0; i < count; ++i) {
                const Column& column = m_layout.columns[i];
                if (column.fixed)
                    continue;
                m_starts[column.varIndex] = std::uint32_t(m_row.size());
                if (!m_values[i].null)
                    appendVariable(column, m_values[i]);
            }
            const std::uint32_t end = std::uint32_t(m_row.size());
            m_starts[m_layout.varCount] = end;
            if (m_format.jet4) {
                for (std::size_t k = m_layout.varCount + 1; k-- > 0;)
                    append16(m_row, m_starts[k]);
                append16(m_row, m_layout.varCount);
            } else if (std::string error = appendJet3Offsets(count); !error.empty()) {
                return error;
            }
        }
        const std::size_t maskStart = m_row.size();
        m_row.resize(maskStart + (count + 7) / 8, 0);
        for (std::size_t i = 0; i < count; ++i)
            if (!m_values[i].null)
                m_row[maskStart + i / 8] |= std::uint8_t(1u << (i % 8));
        return {};
    }

    // Jet 3 keeps only the low byte of each offset. A jump table says from which
    // entry on each further 256 must be added: one entry per 256 bytes of the
    // whole row, the last one being a dummy 0xFF when the row's end lies past a
    // 256-byte boundary that the end-of-data offset does not reach.
    std::string appendJet3Offsets(std::size_t count)
    {
        const std::uint32_t vars = m_layout.varCount;
        const std::uint32_t end = m_starts[vars];
        for (std::uint32_t k = vars + 1; k-- > 0;)
            m_row.push_back(std::uint8_t(m_starts[k]));
        const std::size_t withoutJumps = m_row.size() + 1 + (count + 7) / 8;
        std::size_t jumps = 0;
        for (;;) {
            const std::size_t needed = (withoutJumps + jumps - 1) / 256;
            if (needed == jumps)
                break;
            jumps = needed;
        }
        const std::size_t real = end / 256;
        if (jumps != real && jumps != real + 1)
            return "the row's offsets cannot be laid out in the Jet 3 format";
        if (jumps == real + 1)
            m_row.push_back(0xFF);
        for (std::size_t j = real; j-- > 0;) {
            std::uint32_t first = 0;
            while (m_starts[first] < 256 * (j + 1))
                ++first;
            m_row.push_back(std::uint8_t(first));
        }
        m_row.push_back(std::uint8_t(vars));
        return {};
    }

    const Format& m_format;
    PageFile& m_file;
    LongValueStore& m_longValues;
    const Layout& m_layout;
    std::uint32_t m_definitionPage;
    RowPage m_page;
    bool m_open = false;
    std::uint32_t m_rows = 0;
    std::vector<std::uint32_t> m_pages;
    std::vector<Value> m_values;
    std::vector<std::uint32_t> m_starts;
    Bytes m_row;
};

// ---- Table definitions, usage maps, catalog, header

struct WrittenTable {
    Layout layout;
    std::uint32_t definitionPage = 0;
    std::uint32_t rows = 0;
    std::vector<std::uint32_t> pages;
    std::uint32_t usageMap = 0; // row pointers
    std::uint32_t freeMap = 0;
};

// Usage maps are rows of map pages: page 1 first, then pages taken at the end.
class MapStore {
public:
    MapStore(const Format& format, PageFile& file)
        : m_format(format)
        , m_file(file)
        , m_page(format, 1, 0)
    {}

    std::uint32_t add(const Bytes& map)
    {
        if (m_page.room() < map.size()) {
            m_file.write(m_page.number(), m_page.finish());
            m_page.reset(m_file.allocate(), 0);
        }
        const std::uint32_t row = m_page.rows();
        std::memcpy(m_page.add(map.size()), map.data(), map.size());
        return rowPointer(m_page.number(), row);
    }

    void flush() { m_file.write(m_page.number(), m_page.finish()); }

    // The map of the pages a table owns. A map of type 0 holds a start page and
    // one bit per page from there; when the pages span more than its bits, a map
    // of type 1 points to whole pages of bits (type 0x05), each covering a fixed
    // range of page numbers.
    Bytes usageMap(const std::vector<std::uint32_t>& pages)
    {
        Bytes map(m_format.mapSize, 0);
        if (pages.empty())
            return map;
        const std::uint32_t first = pages.front();
        if (pages.back() - first < (m_format.mapSize - 5) * 8) {
            put32(&map[1], first);
            for (const std::uint32_t page : pages)
                map[5 + (page - first) / 8] |= std::uint8_t(1u << ((page - first) % 8));
            return map;
        }
        map[0] = 0x01;
        const std::uint32_t perPage = (m_format.pageSize - 4) * 8;
        const std::uint32_t slots = (m_format.mapSize - 1) / 4;
        std::vector<std::pair<std::uint32_t, Bytes>> bitPages(slots);
        for (const std::uint32_t page : pages) {
            const std::uint32_t slot = page / perPage;
            if (slot >= slots) {
                m_file.fail("a table spans more pages than its usage map can list");
                return map;
            }
            Bytes& bits = bitPages[slot].second;
            if (bits.empty()) {
                bits.assign(m_format.pageSize, 0);
                bits[0] = 0x05;
                bits[1] = 0x01;
                bitPages[slot].first = m_file.allocate();
            }
            const std::uint32_t bit = page % perPage;
            bits[4 + bit / 8] |= std::uint8_t(1u << (bit % 8));
        }
        for (std::uint32_t slot = 0; slot < slots; ++slot)
            if (!bitPages[slot].second.empty()) {
                put32(&map[1 + 4 * slot], bitPages[slot].first);
                m_file.write(bitPages[slot].first, bitPages[slot].second);
            }
        return map;
    }

    // The map of pages with free space: none, as rows are only ever appended here.
    Bytes freeMap(const std::vector<std::uint32_t>& pages)
    {
        Bytes map(m_format.mapSize, 0);
        if (!pages.empty())
            put32(&map[1], pages.front());
        return map;
    }

private:
    const Format& m_format;
    PageFile& m_file;
    RowPage m_page;
};

void appendName(const Format& format, const std::string& name, Bytes& out)
{
    Bytes encoded;
    encodeText(format, name, encoded);
    if (format.jet4)
        append16(out, std::uint32_t(encoded.size()));
    else
        out.push_back(std::uint8_t(encoded.size()));
    out.insert(out.end(), encoded.begin(), encoded.end());
}

// Writes a table's definition: its page, and more pages chained from it if the
// columns do not fit one.
void writeDefinition(const Format& format, PageFile& file, const WrittenTable& table)
{
    const Layout& layout = table.layout;
    const std::uint16_t columns = std::uint16_t(layout.columns.size());
    const std::uint8_t tableType = layout.system ? 0x53 : 0x4E;
    Bytes def(8, 0);  // the page header, filled in per page below
    append32(def, 0); // length of the definition, set below
    if (format.jet4)
        append32(def, 0);
    append32(def, table.rows);
    append32(def, 0); // next autonumber
    if (format.jet4)
        def.resize(def.size() + 16, 0); // autonumber flags and counters, unused here
    def.push_back(tableType);
    append16(def, columns); // the most columns a row has
    append16(def, layout.varCount);
    append16(def, columns);
    append32(def, 0); // logical indexes
    append32(def, 0); // index entries
    append32(def, table.usageMap);
    append32(def, table.freeMap);
    for (std::uint16_t i = 0; i < columns; ++i) {
        const Column& column = layout.columns[i];
        const bool text = column.kind == Kind::Text || column.kind == Kind::Memo;
        // Fixed length (0x01); may be null (0x02), which a Yes/No column never is.
        const std::uint8_t flags = column.kind == Kind::Bool ? 0x01 : column.fixed ? 0x03 : 0x02;
        def.push_back(std::uint8_t(column.kind));
        if (format.jet4) {
            append32(def, 0);
            append16(def, i);
            append16(def, column.varIndex);
            append16(def, i);
            if (column.kind == Kind::Numeric) {
                def.push_back(column.precision);
                def.push_back(column.scale);
            } else {
                append16(def, text ? 0x0409 : 0); // sort order: General
            }
            append16(def, 0);
            def.push_back(flags);
            def.push_back(0); // text is not compressed
            append32(def, 0);
        } else {
            append16(def, i);
            append16(def, column.varIndex);
            append16(def, i);
            append16(def, text ? 0x0409 : 0); // sort order: General
            append16(def, text ? 1252 : 0);   // code page
            append16(def, 0);
            def.push_back(flags);
        }
        append16(def, column.fixedOffset);
        append16(def, column.length);
    }
    for (const Column& column : layout.columns)
        appendName(format, column.name, def);
    append16(def, 0xFFFF); // no usage maps of long-value columns follow
    put32(&def[8], std::uint32_t(def.size() - 8));

    // The definition continues on further pages after their 8-byte headers.
    const std::size_t perPage = format.pageSize - 8;
    std::size_t done = 8;
    std::uint32_t page = table.definitionPage;
    Bytes bytes(format.pageSize);
    while (true) {
        const std::size_t piece = std::min(perPage, def.size() - done);
        const bool last = done + piece == def.size();
        const std::uint32_t next = last ? 0 : file.allocate();
        std::fill(bytes.begin(), bytes.end(), 0);
        bytes[0] = 0x02;
        bytes[1] = 0x01;
        if (format.jet4) {
            put16(&bytes[2], std::uint32_t(perPage - piece > 8 ? perPage - piece - 8 : 0));
        } else {
            bytes[2] = 'V';
            bytes[3] = 'C';
        }
        put32(&bytes[4], next);
        std::memcpy(&bytes[8], def.data() + done, piece);
        file.write(page, bytes);
        done += piece;
        if (last)
            return;
        page = next;
    }
}

// RC4, with which every Jet file masks part of its header page.
void rc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t length)
{
    std::array<std::uint8_t, 256> state{};
    for (std::size_t i = 0; i < 256; ++i)
        state[i] = std::uint8_t(i);
    std::uint8_t j = 0;
    for (std::size_t i = 0; i < 256; ++i) {
        j = std::uint8_t(j + state[i] + key[i % keyLength]);
        std::swap(state[i], state[j]);
    }
    std::uint8_t x = 0;
    std::uint8_t y = 0;
    for (std::size_t n = 0; n < length; ++n) {
        x = std::uint8_t(x + 1);
        y = std::uint8_t(y + state[x]);
        std::swap(state[x], state[y]);
        data[n] ^= state[std::uint8_t(state[x] + state[y])];
    }
}

Bytes headerPage(const Format& format)
{
    Bytes page(format.pageSize, 0);
    page[1] = 0x01;
    std::memcpy(&page[4], "Standard Jet DB", 15);
    put32(&page[0x14], format.jet4 ? 1 : 0);
    // The masked part: sort order (General), code page 1252, no encryption key,
    // no password and no creation date (which would further mask the password).
    put16(&page[format.jet4 ? 0x6E : 0x3A], 0x0409);
    put16(&page[0x3C], 1252);
    static constexpr std::uint8_t key[] = {0xC7, 0xDA, 0x39, 0x6B};
    rc4(key, sizeof key, &page[0x18], format.jet4 ? 128 : 126);
    return page;
}

// The columns of MSysObjects that readers look for (Id, Name, Type, Flags,
// LvProp) with those Access has beside them.
Layout catalogLayout(const Format& format)
{
    return makeLayout(format, "MSysObjects", true,
                      {{"Id", Kind::Long},
                       {"ParentId", Kind::Long},
                       {"Name", Kind::Text},
                       {"Type", Kind::Int},
                       {"DateCreate", Kind::DateTime},
                       {"DateUpdate", Kind::DateTime},
                       {"Flags", Kind::Long},
                       {"Database", Kind::Memo},
                       {"Connect", Kind::Memo},
                       {"ForeignName", Kind::Text},
                       {"Lv", Kind::Ole},
                       {"LvProp", Kind::Ole},
                       {"LvModule", Kind::Ole},
                       {"LvExtra", Kind::Ole}});
}

constexpr std::uint32_t kCatalogPage = 2;
constexpr std::int32_t kRootId = 0x0F000000;
constexpr std::int32_t kTablesId = 0x0F000001;
constexpr std::uint32_t kSystemFlags = 0x80000002;
constexpr int kTypeTable = 1;
constexpr int kTypeContainer = 3;

std::string foldedName(const std::string& name)
{
    std::string folded = name;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return folded;
}

std::string checkName(const std::string& name, const std::string& what)
{
    if (name.empty())
        return what + " has no name";
    if (accessTextLength(name) > 64)
        return what + " \"" + name + "\": a name has at most 64 characters";
    if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return what + " \"" + name + "\": a name cannot hold control characters";
    return {};
}

std::string checkTables(const std::vector<AccessTable>& tables, JetVersion version)
{
    std::vector<std::string> tableNames{foldedName("MSysObjects")};
    for (const AccessTable& table : tables) {
        if (std::string error = checkName(table.name, "a table"); !error.empty())
            return error;
        const std::string folded = foldedName(table.name);
        if (std::find(tableNames.begin(), tableNames.end(), folded) != tableNames.end())
            return "table \"" + table.name + "\": another table has that name";
        tableNames.push_back(folded);
        if (table.columns.empty() || table.columns.size() > 255)
            return "table \"" + table.name + "\": a table has 1 to 255 columns";
        if (!table.nextRow)
            return "table \"" + table.name + "\" has no row source";
        std::vector<std::string> columnNames;
        for (const AccessColumn& column : table.columns) {
            if (std::string error = checkName(column.name, "a column of table " + table.name); !error.empty())
                return error;
            const std::string foldedColumn = foldedName(column.name);
            if (std::find(columnNames.begin(), columnNames.end(), foldedColumn) != columnNames.end())
                return "table \"" + table.name + "\": two columns are named \"" + column.name + "\"";
            columnNames.push_back(foldedColumn);
            if (column.type != AccessColumn::Type::Decimal)
                continue;
            const std::string where = "table \"" + table.name + "\", column \"" + column.name + "\": ";
            if (version == JetVersion::Jet3)
                return where + "Decimal columns exist in Jet 4 files only";
            if (column.precision < 1 || column.precision > 28 || column.scale < 0 || column.scale > column.precision)
                return where + "a Decimal has a precision of 1 to 28 digits and a scale of 0 to its precision";
        }
    }
    return {};
}

std::string writeFile(const std::string& path, const Format& format, std::vector<AccessTable>& tables)
{
    PageFile file(format);
    if (!file.open(path))
        return file.error();
    file.allocate(); // the header
    file.allocate(); // the first page of usage maps
    file.allocate(); // the catalog's definition
    LongValueStore longValues(format, file);

    std::vector<WrittenTable> written;
    written.reserve(tables.size() + 1);
    WrittenTable& catalog = written.emplace_back();
    catalog.layout = catalogLayout(format);
    catalog.definitionPage = kCatalogPage;
    for (AccessTable& table : tables) {
        std::vector<ColumnType> columns;
        for (const AccessColumn& column : table.columns)
            columns.push_back(
                {column.name, kindOf(column.type), std::uint8_t(column.precision), std::uint8_t(column.scale)});
        WrittenTable& out = written.emplace_back();
        out.layout = makeLayout(format, table.name, false, columns);
        out.definitionPage = file.allocate();
        TableWriter writer(format, file, longValues, out.layout, out.definitionPage);
        AccessRow row(table.columns.size());
        for (;;) {
            for (std::optional<std::string>& value : row)
                value.reset();
            row.resize(table.columns.size());
            try {
                if (!table.nextRow(row))
                    break;
            } catch (const std::exception& e) {
                return "table " + table.name + ": reading row " + std::to_string(writer.rows() + 1) +
                       " failed: " + e.what();
            }
            if (std::string error = writer.add(row); !error.empty())
                return error;
        }
        writer.flush();
        longValues.flush();
        out.rows = writer.rows();
        out.pages = writer.pages();
    }

    // The catalog: the container of tables, then one entry per table.
    {
        TableWriter writer(format, file, longValues, catalog.layout, kCatalogPage);
        auto entry = [&](std::int64_t id, std::int64_t parent, const std::string& name, int type, std::uint32_t flags) {
            AccessRow row(catalog.layout.columns.size());
            row[0] = std::to_string(id);
            row[1] = std::to_string(parent);
            row[2] = name;
            row[3] = std::to_string(type);
            row[6] = std::to_string(std::int32_t(flags));
            return writer.add(row);
        };
        std::string error = entry(kTablesId, kRootId, "Tables", kTypeContainer, 0);
        for (std::size_t i = 0; i < written.size() && error.empty(); ++i)
            error = entry(written[i].definitionPage, kTablesId, written[i].layout.name, kTypeTable,
                          written[i].layout.system ? kSystemFlags : 0);
        if (!error.empty())
            return error;
        writer.flush();
        longValues.flush();
        catalog.rows = writer.rows();
        catalog.pages = writer.pages();
    }

    MapStore maps(format, file);
    for (WrittenTable& table : written) {
        table.usageMap = maps.add(maps.usageMap(table.pages));
        table.freeMap = maps.add(maps.freeMap(table.pages));
    }
    maps.flush();
    for (const WrittenTable& table : written)
        writeDefinition(format, file, table);
    file.write(0, headerPage(format));
    file.close();
    return file.error();
}

} // namespace

std::size_t accessTextLength(std::string_view utf8)
{
    std::size_t units = 0;
    decodeUtf8(utf8, [&](char32_t cp) { units += cp < 0x10000 ? 1 : 2; });
    return units;
}

std::string writeAccessFile(const std::string& path, JetVersion version, std::vector<AccessTable> tables)
{
    if (std::string error = checkTables(tables, version); !error.empty())
        return error;
    const Format format = Format::of(version);
    std::string error = writeFile(path, format, tables);
    if (!error.empty())
        ::unlink(path.c_str());
    return error;
}

} // namespace ondiva::accesswriter
