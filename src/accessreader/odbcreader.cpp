// Reads a Microsoft Access file through ODBC, on Windows, and writes what it
// finds to standard output as frames (see accessframes/AccessFrames.h), on a
// descriptor of their own, apart from what a driver prints (ReaderOutput.h),
// with the same command line as the Linux reader:
//
//   ondiva-accessreader list FILE            every user table, with its columns and row count
//   ondiva-accessreader dump FILE TABLE...   the named tables, with all their rows
//
// The driver is Windows' own "Microsoft Access Driver (*.mdb)" (32-bit only),
// or else the Access Database Engine's "Microsoft Access Driver (*.mdb, *.accdb)".
// With neither, the reader fails with NoDriver and the driver's diagnostic.
//
// Values go out as the Linux reader writes them, through the same formatting
// (AccessValues.h): integers in decimal, Currency and Decimal with exactly
// their scale, Single and Double as their shortest round-trip text, dates as
// "YYYY-MM-DD HH:MM:SS", Yes/No as "1"/"0", replication IDs in braces, texts
// and memos in UTF-8, OLE objects and binary values as their raw bytes.
//
// Integers, Currency and Decimal are read as text and printed again; Single,
// Double and dates in their binary C types, whose length as the driver reports
// it decides how they are read (4 or 8 bytes), so that a driver that writes
// its own type rather than the one asked for is read right too.

#include "AccessValues.h"
#include "ReaderOutput.h"
#include "accessframes/AccessFrames.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <sql.h>
#include <sqlext.h>
// clang-format on

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

using namespace ondiva::access;

namespace {

// The piece of a long value each SQLGetData call fetches.
constexpr size_t kPiece = 64u << 10;

const wchar_t* const kDrivers[] = {L"Microsoft Access Driver (*.mdb)", L"Microsoft Access Driver (*.mdb, *.accdb)"};

FrameWriter& g_out = out();

std::string utf8(const wchar_t* text, size_t length)
{
    if (length == 0)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, int(length), out.data(), size, nullptr, nullptr);
    return out;
}
std::string utf8(const std::wstring& text) { return utf8(text.data(), text.size()); }
std::string utf8(const wchar_t* text) { return utf8(text, std::wcslen(text)); }

std::wstring wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size);
    return out;
}

// The driver's diagnostics for a handle, "SQLSTATE: message" each, and their SQLSTATEs.
std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle, std::vector<std::string>* states = nullptr)
{
    std::string out;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR message[1024] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, message, 1024, &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        const std::string code = utf8(reinterpret_cast<wchar_t*>(state), 5);
        if (states)
            states->push_back(code);
        if (!out.empty())
            out += "; ";
        out += code + ": " + utf8(reinterpret_cast<wchar_t*>(message), size_t(std::min<SQLSMALLINT>(length, 1023)));
    }
    return out.empty() ? "no diagnostic" : out;
}

// The same file as a Unix path when running under Wine, whose odbc32 hands the
// calls to the host's unixODBC: its drivers open Unix paths. Empty elsewhere.
std::wstring unixPathUnderWine(const std::wstring& path)
{
    using Convert = char*(CDECL*)(LPCWSTR);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto convert = kernel ? reinterpret_cast<Convert>(
                                      reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")))
                                : nullptr;
    if (!convert)
        return {};
    char* unix = convert(path.c_str());
    if (!unix)
        return {};
    std::wstring out = wide(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

// Whether every diagnostic came from the driver manager ("[unixODBC][Driver Manager]",
// "[Microsoft][ODBC Driver Manager]"), none from a driver.
bool onlyDriverManager(const std::string& diagnostics)
{
    size_t records = 0;
    size_t fromManager = 0;
    for (size_t at = 0; at != std::string::npos; at = diagnostics.find("; ", at + 1)) {
        ++records;
        const size_t end = diagnostics.find("; ", at + 1);
        fromManager += diagnostics.substr(at, end - at).find("Driver Manager]") != std::string::npos;
    }
    return records > 0 && fromManager == records;
}

class Statement {
public:
    explicit Statement(SQLHDBC connection) { SQLAllocHandle(SQL_HANDLE_STMT, connection, &m_handle); }
    ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, m_handle); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    SQLHSTMT handle() const { return m_handle; }
    std::string why() const { return diagnostics(SQL_HANDLE_STMT, m_handle); }

private:
    SQLHSTMT m_handle = SQL_NULL_HSTMT;
};

struct Column {
    std::string name;
    SQLSMALLINT type = 0;
    SQLSMALLINT scale = 0;
};

// Opens the file with the first Access driver the system has.
SQLHDBC connect(SQLHENV environment, const std::wstring& path)
{
    std::string missing;
    std::vector<std::wstring> paths{path};
    if (std::wstring unix = unixPathUnderWine(path); !unix.empty() && unix != path)
        paths.push_back(unix);
    for (const wchar_t* driver : kDrivers) {
        for (const std::wstring& dbq : paths) {
            SQLHDBC connection = SQL_NULL_HDBC;
            SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection);
            // Only read: the file stays exactly as it was (some drivers refuse the attribute).
            SQLSetConnectAttrW(connection, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
            std::wstring text = L"Driver={" + std::wstring(driver) + L"};DBQ=" + connectionValue(dbq) + L";ReadOnly=1;";
            SQLWCHAR out[1024];
            SQLSMALLINT outLength = 0;
            const SQLRETURN rc = SQLDriverConnectW(connection, nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
                                                   SQLSMALLINT(text.size()), out, 1024, &outLength,
                                                   SQL_DRIVER_NOPROMPT);
            if (SQL_SUCCEEDED(rc))
                return connection;
            std::vector<std::string> states;
            const std::string why = diagnostics(SQL_HANDLE_DBC, connection, &states);
            SQLFreeHandle(SQL_HANDLE_DBC, connection);
            // IM002: no such driver; IM003: it is registered but cannot be loaded
            // (unixODBC may put a warning, 01000, before them).
            // Or only the driver manager spoke: the driver was never reached.
            if (std::find(states.begin(), states.end(), "IM002") != states.end() ||
                std::find(states.begin(), states.end(), "IM003") != states.end() || onlyDriverManager(why)) {
                missing += (missing.empty() ? "" : "; ") + utf8(driver) + ": " + why;
                break;
            }
            if (&dbq == &paths.back())
                fail(FailureReason::CannotOpen, "the Access driver cannot open " + utf8(path) + ": " + why);
        }
    }
    fail(FailureReason::NoDriver, "no ODBC driver for Access files: " + missing);
}

// The user tables of the file, in the order the driver lists them.
std::vector<std::wstring> userTables(SQLHDBC connection)
{
    Statement tables(connection);
    SQLWCHAR kind[] = L"TABLE";
    if (!SQL_SUCCEEDED(SQLTablesW(tables.handle(), nullptr, 0, nullptr, 0, nullptr, 0, kind, SQL_NTS)))
        fail(FailureReason::NoCatalog, "the list of tables cannot be read: " + tables.why());
    std::vector<std::wstring> names;
    for (;;) {
        const SQLRETURN rc = SQLFetch(tables.handle());
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            fail(FailureReason::NoCatalog, "the list of tables cannot be read: " + tables.why());
        SQLWCHAR name[512] = {};
        SQLWCHAR type[64] = {};
        SQLLEN nameLength = 0;
        SQLLEN typeLength = 0;
        SQLGetData(tables.handle(), 3, SQL_C_WCHAR, name, sizeof name, &nameLength);
        SQLGetData(tables.handle(), 4, SQL_C_WCHAR, type, sizeof type, &typeLength);
        const std::wstring table(reinterpret_cast<wchar_t*>(name));
        // Drivers that ignore the filter list system tables too.
        if (std::wstring(reinterpret_cast<wchar_t*>(type)) != L"TABLE" || table.rfind(L"MSys", 0) == 0)
            continue;
        names.push_back(table);
    }
    return names;
}

std::uint64_t declaredRows(SQLHDBC connection, const std::wstring& table)
{
    Statement count(connection);
    std::wstring sql = L"select count(*) from " + bracketedName(table);
    char text[32] = {};
    SQLLEN length = 0;
    if (!SQL_SUCCEEDED(SQLExecDirectW(count.handle(), reinterpret_cast<SQLWCHAR*>(sql.data()), SQL_NTS)) ||
        !SQL_SUCCEEDED(SQLFetch(count.handle())) ||
        !SQL_SUCCEEDED(SQLGetData(count.handle(), 1, SQL_C_CHAR, text, sizeof text, &length)))
        fail(FailureReason::NoCatalog, "the rows of table " + utf8(table) + " cannot be counted: " + count.why());
    char* end = nullptr;
    const unsigned long long rows = std::strtoull(text, &end, 10);
    if (end == text)
        fail(FailureReason::NoCatalog, "table " + utf8(table) + " counts its rows as \"" + text + "\"");
    return rows;
}

// Formats the values of one table's rows.
class ValueReader {
public:
    ValueReader(SQLHSTMT statement, const std::wstring& table)
        : m_statement(statement)
        , m_table(utf8(table))
    {}

    void write(SQLUSMALLINT index, const Column& column)
    {
        m_text.clear();
        switch (column.type) {
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
            if (!readText(index, column))
                return g_out.value({});
            break;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            if (!readPieces(index, column, SQL_C_BINARY, 0))
                return g_out.value({});
            return g_out.value({ValueKind::Bytes, m_long});
        case SQL_BIT: {
            // A driver may write a byte or an int: nonzero is Yes.
            std::int32_t bit = 0;
            if (!fixed(index, column, SQL_C_BIT, &bit, sizeof bit))
                return g_out.value({ValueKind::Text, "0"});
            m_text = bit != 0 ? "1" : "0";
            break;
        }
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT: {
            // As text, which every driver converts alike (mdbtools' refuses negative
            // numbers as SQL_C_SSHORT), checked and printed again as the Linux reader does.
            if (!readPieces(index, column, SQL_C_CHAR, 1))
                return g_out.value({});
            const char* begin = m_long.c_str();
            char* end = nullptr;
            errno = 0;
            const long long value = std::strtoll(begin, &end, 10);
            if (m_long.empty() || end != begin + m_long.size() || errno != 0)
                fail(FailureReason::BadValue, about(column) + " reads as \"" + m_long + "\", not an integer");
            appendInteger(m_text, value);
            break;
        }
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE: {
            unsigned char bytes[8] = {};
            const SQLLEN length = fixed(index, column, column.type == SQL_REAL ? SQL_C_FLOAT : SQL_C_DOUBLE, bytes,
                                        sizeof bytes);
            if (length == 0)
                return g_out.value({});
            if (length == 4) {
                float value = 0;
                std::memcpy(&value, bytes, 4);
                appendSingle(m_text, value);
            } else {
                double value = 0;
                std::memcpy(&value, bytes, 8);
                appendDouble(m_text, value);
            }
            break;
        }
        case SQL_TYPE_TIMESTAMP:
        case SQL_TYPE_DATE:
        case SQL_TIMESTAMP:
        case SQL_DATE: {
            // (A driver that writes a date only leaves the zeroed time as it is.)
            SQL_TIMESTAMP_STRUCT stamp = {};
            if (!fixed(index, column, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp))
                return g_out.value({});
            // Back to Access's own number, so that the text is formatted and rounded as on Linux:
            // days since 1899-12-30, the time of day counted forward even before that day.
            appendDateTime(m_text, accessDays(stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute,
                                              stamp.second, stamp.fraction));
            break;
        }
        case SQL_GUID: {
            unsigned char bytes[16] = {};
            SQLLEN length = 0;
            const SQLRETURN rc = SQLGetData(m_statement, index, SQL_C_GUID, bytes, sizeof bytes, &length);
            const std::vector<std::string> said = warnings(rc);
            const bool cut = std::find(said.begin(), said.end(), "01004") != said.end();
            if (SQL_SUCCEEDED(rc) && !cut && length == SQL_NULL_DATA)
                return g_out.value({});
            if (SQL_SUCCEEDED(rc) && !cut && length == 16) {
                appendReplicationId(m_text, bytes);
                break;
            }
            // A driver that gives the GUID as text (its start cut short in the buffer, or
            // refused as binary): the text, as the Linux reader writes the ID.
            if (!readPieces(index, column, SQL_C_CHAR, 1, cut ? 16 : 0, bytes))
                return g_out.value({});
            if (!appendReplicationIdText(m_text, m_long))
                fail(FailureReason::BadValue, about(column) + " reads as \"" + m_long + "\", not a replication ID");
            break;
        }
        case SQL_DECIMAL:
        case SQL_NUMERIC:
        default: // Currency, Decimal and any type not known here: its text
            if (!readPieces(index, column, SQL_C_CHAR, 1))
                return g_out.value({});
            if (column.type != SQL_DECIMAL && column.type != SQL_NUMERIC) {
                m_text = m_long;
            } else if (!appendScaled(m_text, m_long, column.scale)) {
                fail(FailureReason::BadValue, about(column) + " reads as \"" + m_long + "\", not a number");
            }
            break;
        }
        g_out.value({ValueKind::Text, m_text});
    }

private:
    std::string about(const Column& column) const
    {
        return "a value of column " + column.name + " in table " + m_table;
    }

    [[noreturn]] void unreadable(const Column& column)
    {
        fail(FailureReason::BadValue, about(column) + " (ODBC type " + std::to_string(column.type) +
                                          ") cannot be read: " + diagnostics(SQL_HANDLE_STMT, m_statement));
    }

    // The SQLSTATEs of the warnings that came with a call's result.
    std::vector<std::string> warnings(SQLRETURN rc) const
    {
        std::vector<std::string> states;
        if (rc == SQL_SUCCESS_WITH_INFO)
            diagnostics(SQL_HANDLE_STMT, m_statement, &states);
        return states;
    }

    // A fixed-size value into a zeroed buffer: the length the driver wrote, 0 for NULL.
    SQLLEN fixed(SQLUSMALLINT index, const Column& column, SQLSMALLINT type, void* buffer, SQLLEN size)
    {
        SQLLEN length = 0;
        if (!SQL_SUCCEEDED(SQLGetData(m_statement, index, type, buffer, size, &length)))
            unreadable(column);
        if (length == SQL_NULL_DATA)
            return 0;
        // A length the type cannot have (SQL_NO_TOTAL, or more than the buffer): as asked.
        return length > 0 && length <= size ? length : size;
    }

    // Text and memo values, in UTF-16 pieces, to UTF-8. False for NULL.
    bool readText(SQLUSMALLINT index, const Column& column)
    {
        if (!readPieces(index, column, SQL_C_WCHAR, sizeof(SQLWCHAR)))
            return false;
        m_text = utf8(reinterpret_cast<const wchar_t*>(m_long.data()), m_long.size() / sizeof(wchar_t));
        return true;
    }

    // A value in pieces of kPiece bytes, each but the last ending in a
    // terminator of `terminator` bytes, into m_long. False for NULL. A piece
    // already fetched (`have` bytes of `first`) comes first.
    bool readPieces(SQLUSMALLINT index, const Column& column, SQLSMALLINT type, size_t terminator, size_t have = 0,
                    const void* first = nullptr)
    {
        m_long.clear();
        if (have)
            m_long.assign(static_cast<const char*>(first), have - terminator);
        m_piece.resize(kPiece);
        for (;;) {
            SQLLEN length = 0;
            const SQLRETURN rc = SQLGetData(m_statement, index, type, m_piece.data(), SQLLEN(m_piece.size()), &length);
            if (rc == SQL_NO_DATA)
                return true; // every piece is in
            if (!SQL_SUCCEEDED(rc))
                unreadable(column);
            if (length == SQL_NULL_DATA)
                return false;
            const ValuePiece piece =
                valuePiece(warnings(rc), length >= 0 ? std::optional<size_t>(size_t(length)) : std::nullopt,
                           m_piece.data(), m_piece.size() - terminator, terminator);
            if (!piece.known)
                unreadable(column);
            if (m_long.size() + piece.bytes > kMaxValueLength)
                fail(FailureReason::ValueTooLong, about(column) + " is too long");
            m_long.append(m_piece.data(), piece.bytes);
            if (piece.last)
                return true;
        }
    }

    SQLHSTMT m_statement;
    std::string m_table;
    std::string m_text;
    std::string m_long;
    std::string m_piece;
};

// Reads a table's definition, and with `dump` its rows, as frames.
void emit(SQLHDBC connection, const std::wstring& table, bool dump)
{
    const std::uint64_t declared = declaredRows(connection, table);
    Statement rows(connection);
    std::wstring sql = L"select * from " + bracketedName(table);
    if (!SQL_SUCCEEDED(SQLExecDirectW(rows.handle(), reinterpret_cast<SQLWCHAR*>(sql.data()), SQL_NTS)))
        fail(FailureReason::NoCatalog, "the definition of table " + utf8(table) + " cannot be read: " + rows.why());
    SQLSMALLINT count = 0;
    SQLNumResultCols(rows.handle(), &count);
    std::vector<Column> columns(size_t(std::max<SQLSMALLINT>(count, 0)));
    for (SQLSMALLINT i = 0; i < count; ++i) {
        SQLWCHAR name[512] = {};
        SQLSMALLINT length = 0;
        SQLULEN size = 0;
        SQLSMALLINT nullable = 0;
        Column& column = columns[size_t(i)];
        if (!SQL_SUCCEEDED(SQLDescribeColW(rows.handle(), SQLUSMALLINT(i + 1), name, 512, &length, &column.type,
                                           &size, &column.scale, &nullable)))
            fail(FailureReason::NoCatalog, "the columns of table " + utf8(table) + " cannot be read: " + rows.why());
        column.name = utf8(reinterpret_cast<wchar_t*>(name), size_t(std::clamp<SQLSMALLINT>(length, 0, 511)));
        // Currency has four decimals; a driver that gives it no scale still names its type.
        SQLWCHAR typeName[64] = {};
        SQLSMALLINT typeLength = 0;
        if (SQL_SUCCEEDED(SQLColAttributeW(rows.handle(), SQLUSMALLINT(i + 1), SQL_DESC_TYPE_NAME, typeName,
                                           sizeof typeName, &typeLength, nullptr))) {
            std::string type = utf8(reinterpret_cast<wchar_t*>(typeName));
            for (char& c : type)
                c = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            if (type == "CURRENCY" || type == "MONEY")
                column.scale = 4;
        }
    }

    g_out.begin(FrameType::Table);
    g_out.u32(std::uint32_t(columns.size()));
    g_out.text(utf8(table));
    for (const Column& column : columns)
        g_out.text(column.name);
    g_out.u64(declared);
    g_out.end();

    if (dump) {
        ValueReader values(rows.handle(), table);
        std::uint64_t sent = 0;
        for (;;) {
            const SQLRETURN rc = SQLFetch(rows.handle());
            if (rc == SQL_NO_DATA)
                break;
            if (!SQL_SUCCEEDED(rc))
                fail(FailureReason::BadValue, "a row of table " + utf8(table) + " cannot be read: " + rows.why());
            if (sent == declared)
                fail(FailureReason::TooManyRows, "table " + utf8(table) + " yields more rows than the " +
                                                     std::to_string(declared) + " it declares");
            g_out.begin(FrameType::Row);
            for (size_t c = 0; c < columns.size(); ++c)
                values.write(SQLUSMALLINT(c + 1), columns[c]);
            if (g_out.payloadLength() > kMaxFrameLength)
                fail(FailureReason::ValueTooLong, "a row of table " + utf8(table) + " is too long");
            g_out.end();
            ++sent;
            maybeFlush();
        }
    }
    g_out.begin(FrameType::EndTable);
    g_out.end();
    maybeFlush();
}

} // namespace

int main()
{
    // Before any ODBC call: a driver that prints to standard output prints to standard error instead.
    separateFrames();

    // The arguments as the system holds them, in UTF-16, whatever the ANSI code page.
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args;
    for (int i = 0; argv && i < argc; ++i)
        args.emplace_back(argv[i]);
    LocalFree(argv);
    if (args.size() < 3 || (args[1] != L"list" && args[1] != L"dump"))
        fail(FailureReason::Usage, "usage: ondiva-accessreader list FILE | dump FILE TABLE...");
    const bool dump = args[1] == L"dump";

    SQLHENV environment = SQL_NULL_HENV;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment);
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC connection = connect(environment, args[2]);

    const std::vector<std::wstring> tables = userTables(connection);
    if (!dump) {
        for (const std::wstring& table : tables)
            emit(connection, table, false);
    } else {
        for (size_t arg = 3; arg < args.size(); ++arg) {
            bool found = false;
            for (const std::wstring& table : tables)
                found = found || table == args[arg];
            if (!found)
                fail(FailureReason::NoSuchTable, "no table " + utf8(args[arg]));
            emit(connection, args[arg], true);
        }
    }
    SQLDisconnect(connection);
    SQLFreeHandle(SQL_HANDLE_DBC, connection);
    SQLFreeHandle(SQL_HANDLE_ENV, environment);

    g_out.begin(FrameType::Done);
    g_out.end();
    flush();
    return kExitDone;
}
