// Reads a Microsoft Access file with libmdb and writes what it finds to
// standard output as frames (see accessframes/AccessFrames.h), on a descriptor
// of their own, apart from what libmdb prints (ReaderOutput.h):
//
//   ondiva-accessreader list FILE            every user table, with its columns and row count
//   ondiva-accessreader dump FILE TABLE...   the named tables, with all their rows
//
// It runs as a process of its own because libmdb may crash or loop forever on
// a damaged file: the program reading the frames survives that and gives up
// after a time-out.
//
// Every value goes out exactly as the file holds it: texts and memos in UTF-8,
// numbers, dates and replication IDs as their exact text (AccessValues.h), OLE
// objects and binary values as their raw bytes. libmdb finds the rows; the
// values themselves are formatted here from their stored bytes, texts
// included, and memo and OLE values are gathered here from their long-value
// pages, so that nothing is cut short at a NUL or silently dropped.

#include "AccessValues.h"
#include "ReaderOutput.h"
#include "accessframes/AccessFrames.h"

#include <mdbtools.h>

#include <bit>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace ondiva::access;

namespace {

// The header a memo or OLE value keeps in its row: its length and flags, then where its bytes are.
constexpr int kLongValueHeader = 12;

FrameWriter& g_out = out();

struct Closer {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFree {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

MdbColumn* columnAt(MdbTableDef* table, unsigned i)
{
    return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
}

void writeTable(MdbTableDef* table)
{
    g_out.begin(FrameType::Table);
    g_out.u32(table->num_cols);
    g_out.text(table->name);
    for (unsigned i = 0; i < table->num_cols; ++i)
        g_out.text(columnAt(table, i)->name);
    g_out.u64(table->num_rows);
    g_out.end();
}

// The bytes a fixed-size type stores; 0 for the others.
int storedSize(int type)
{
    switch (type) {
    case MDB_BYTE:
        return 1;
    case MDB_INT:
        return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
        return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return 8;
    case MDB_REPID:
        return 16;
    case MDB_NUMERIC:
        return 17;
    default:
        return 0;
    }
}

// Formats the values of one table's rows, refusing any it cannot carry whole.
class ValueWriter {
public:
    ValueWriter(MdbHandle* mdb, MdbTableDef* table)
        : m_mdb(mdb)
        , m_table(table)
    {}

    void write(MdbColumn* column, const MdbField& field)
    {
        if (column->col_type == MDB_BOOL) {
            // A yes/no value lives in the null bit itself.
            g_out.value({ValueKind::Text, field.is_null ? "0" : "1"});
            return;
        }
        if (field.is_null) {
            g_out.value({});
            return;
        }
        const int size = field.siz;
        if (field.start < 0 || size < 0 || size_t(field.start) + size_t(size) > size_t(m_mdb->fmt->pg_size))
            fail(FailureReason::BadValue, about(column) + " lies outside its page");
        const int fixed = storedSize(column->col_type);
        if (fixed != 0 && size != fixed)
            fail(FailureReason::BadValue,
                 about(column) + " has " + std::to_string(size) + " bytes, not " + std::to_string(fixed));
        const unsigned char* bytes = m_mdb->pg_buf + field.start;
        m_text.clear();
        switch (column->col_type) {
        case MDB_BYTE:
            appendInteger(m_text, bytes[0]);
            break;
        case MDB_INT:
            appendInteger(m_text, std::int16_t(littleEndian(bytes, 2)));
            break;
        case MDB_LONGINT:
            appendInteger(m_text, std::int32_t(littleEndian(bytes, 4)));
            break;
        case MDB_MONEY:
            appendCurrency(m_text, std::int64_t(littleEndian(bytes, 8)));
            break;
        case MDB_FLOAT:
            appendSingle(m_text, std::bit_cast<float>(std::uint32_t(littleEndian(bytes, 4))));
            break;
        case MDB_DOUBLE:
            appendDouble(m_text, std::bit_cast<double>(littleEndian(bytes, 8)));
            break;
        case MDB_DATETIME:
            appendDateTime(m_text, std::bit_cast<double>(littleEndian(bytes, 8)));
            break;
        case MDB_REPID:
            appendReplicationId(m_text, bytes);
            break;
        case MDB_NUMERIC:
            // The column keeps its precision and then its scale; libmdb reads them
            // the other way round, so its col_prec holds the scale.
            appendDecimal(m_text, bytes, column->col_prec);
            break;
        case MDB_TEXT:
            toUtf8(column, bytes, size_t(size));
            break;
        case MDB_MEMO:
            toUtf8(column, longValue(column, bytes, size, (kMaxValueLength - 16) / 3));
            break;
        case MDB_OLE:
            g_out.value({ValueKind::Bytes, longValue(column, bytes, size, kMaxValueLength)});
            return;
        default: // binary, and any type this reader does not know: the bytes as stored
            g_out.value({ValueKind::Bytes, std::string_view(reinterpret_cast<const char*>(bytes), size_t(size))});
            return;
        }
        g_out.value({ValueKind::Text, m_text});
    }

private:
    std::string about(MdbColumn* column) const
    {
        return std::string("a value of column ") + column->name + " in table " + m_table->name;
    }

    void toUtf8(MdbColumn* column, std::string_view stored)
    {
        toUtf8(column, reinterpret_cast<const unsigned char*>(stored.data()), stored.size());
    }
    // Text from its stored bytes (AccessValues.h), in UTF-8: at most three
    // bytes for each byte stored. (libmdb's own decoding goes through UCS-2,
    // which has no room for a character beyond U+FFFF.)
    void toUtf8(MdbColumn* column, const unsigned char* stored, size_t size)
    {
        if (3 * size + 16 > kMaxValueLength)
            fail(FailureReason::ValueTooLong, about(column) + " is too long");
        if (IS_JET3(m_mdb))
            appendJet3Text(m_text, stored, size);
        else
            appendJet4Text(m_text, stored, size);
    }

    // The bytes of a memo or OLE value: after the header in the row (inline),
    // in one row of a long-value page, or in a chain of such rows, each
    // beginning with the pointer to the next. Exactly as many bytes as the
    // header declares, or the value is refused.
    std::string_view longValue(MdbColumn* column, const unsigned char* header, int size, size_t limit)
    {
        m_long.clear();
        if (size == 0)
            return m_long;
        if (size < kLongValueHeader)
            fail(FailureReason::BadValue, about(column) + " has a header cut short");
        const auto word = std::uint32_t(littleEndian(header, 4));
        const size_t length = word & 0x3FFFFFFF;
        if (length > limit)
            fail(FailureReason::ValueTooLong, about(column) + " is too long");
        const auto pointer = std::uint32_t(littleEndian(header + 4, 4));
        switch (word >> 30) {
        case 2: // inline
            if (length != size_t(size - kLongValueHeader))
                damaged(column, " declares another length than it has");
            m_long.assign(reinterpret_cast<const char*>(header) + kLongValueHeader, length);
            break;
        case 1: { // one row of a long-value page
            const std::string_view row = longValueRow(pointer);
            if (row.size() < length)
                damaged(column, " points to a long-value row that is missing or too short");
            m_long.assign(row.substr(0, length));
            break;
        }
        case 0: // a chain of rows; each gives at least one byte, so a chain that loops ends
            for (std::uint32_t next = pointer; m_long.size() < length;) {
                const std::string_view row = longValueRow(next);
                if (row.size() <= 4)
                    damaged(column, " has a chain of long-value rows that ends too soon");
                next = std::uint32_t(littleEndian(reinterpret_cast<const unsigned char*>(row.data()), 4));
                m_long.append(row.substr(4, length - m_long.size()));
            }
            break;
        default:
            damaged(column, " has a header of an unknown kind");
        }
        return m_long;
    }

    [[noreturn]] void damaged(MdbColumn* column, const char* how)
    {
        fail(FailureReason::BadValue, about(column) + how);
    }

    // A row of a long-value page (a page number and a row number in one), empty when it cannot be read.
    std::string_view longValueRow(std::uint32_t pointer)
    {
        void* page = nullptr;
        int start = 0;
        size_t length = 0;
        if ((pointer >> 8) == 0 || mdb_find_pg_row(m_mdb, int(pointer), &page, &start, &length) != 0)
            return {};
        return {static_cast<const char*>(page) + start, length};
    }

    MdbHandle* m_mdb;
    MdbTableDef* m_table;
    std::string m_text;
    std::string m_long;
};

void writeRows(MdbHandle* mdb, MdbTableDef* table)
{
    std::vector<MdbField> fields(table->num_cols);
    std::vector<MdbColumn*> columns(table->num_cols);
    for (unsigned i = 0; i < table->num_cols; ++i)
        columns[i] = columnAt(table, i);
    // Which field holds which column: the row lists its fixed columns first.
    std::vector<int> fieldOf(table->num_cols);
    ValueWriter values(mdb, table);

    std::uint64_t sent = 0;
    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
        // The row just fetched is cracked again for what libmdb's bound values
        // do not tell: whether each value is NULL or an empty text.
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb, int(table->cur_row) - 1, &start, &size) != 0)
            continue;
        // (A row written before columns were added holds fewer of its own; libmdb
        // still fills every field, the missing ones as NULL.)
        if (mdb_crack_row(table, start & 0x1FFF, size, fields.data()) < 0)
            continue;
        // A damaged file whose pages loop would yield rows for ever.
        if (sent == table->num_rows)
            fail(FailureReason::TooManyRows, std::string("table ") + table->name + " yields more rows than the " +
                                                 std::to_string(table->num_rows) + " its definition declares");
        for (unsigned i = 0; i < table->num_cols; ++i)
            fieldOf[size_t(fields[i].colnum)] = int(i);

        g_out.begin(FrameType::Row);
        for (unsigned c = 0; c < table->num_cols; ++c)
            values.write(columns[c], fields[size_t(fieldOf[c])]);
        if (g_out.payloadLength() > kMaxFrameLength)
            fail(FailureReason::ValueTooLong, std::string("a row of table ") + table->name + " is too long");
        g_out.end();
        ++sent;
        maybeFlush();
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Before libmdb is called: what it prints to standard output goes to standard error instead.
    separateFrames();
    // A closed pipe is a failure to report by the exit status, not a signal that kills the reader.
    std::signal(SIGPIPE, SIG_IGN);
    // The names of tables and columns, which libmdb decodes, go out in UTF-8 and,
    // from a Jet 3 file, read as Windows-1252 like the values, whatever libmdb's
    // environment asks for.
    ::unsetenv("MDBICONV");
    ::unsetenv("MDB_ICONV");
    ::unsetenv("MDB_JET3_CHARSET");

    if (argc < 3 || (std::strcmp(argv[1], "list") != 0 && std::strcmp(argv[1], "dump") != 0))
        fail(FailureReason::Usage, "usage: ondiva-accessreader list FILE | dump FILE TABLE...");
    const bool dump = std::strcmp(argv[1], "dump") == 0;

    std::unique_ptr<MdbHandle, Closer> mdb(mdb_open(argv[2], MDB_NOFLAGS));
    if (!mdb)
        fail(FailureReason::CannotOpen, std::string("libmdb cannot open ") + argv[2]);
    // libmdb decodes the names of Jet 4 tables and columns from UCS-2, which has
    // no room for characters beyond U+FFFF; UTF-16 has. (It closes the converter
    // with the file.)
    if (!IS_JET3(mdb.get())) {
        const iconv_t utf16 = iconv_open("UTF-8", "UTF-16LE");
        if (utf16 != iconv_t(-1)) {
            if (mdb->iconv_in != iconv_t(-1))
                iconv_close(mdb->iconv_in);
            mdb->iconv_in = utf16;
        }
    }
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
        fail(FailureReason::NoCatalog, "the list of tables cannot be read");

    std::vector<MdbCatalogEntry*> entries;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
            entries.push_back(entry);
    }

    const auto emit = [&](MdbCatalogEntry* entry) {
        std::unique_ptr<MdbTableDef, TableFree> table(mdb_read_table(entry));
        if (!table || !mdb_read_columns(table.get()))
            fail(FailureReason::NoCatalog,
                 std::string("the definition of table ") + entry->object_name + " cannot be read");
        writeTable(table.get());
        if (dump)
            writeRows(mdb.get(), table.get());
        g_out.begin(FrameType::EndTable);
        g_out.end();
        maybeFlush();
    };

    if (!dump) {
        for (MdbCatalogEntry* entry : entries)
            emit(entry);
    } else {
        for (int arg = 3; arg < argc; ++arg) {
            MdbCatalogEntry* found = nullptr;
            for (MdbCatalogEntry* entry : entries) {
                if (std::strcmp(entry->object_name, argv[arg]) == 0)
                    found = entry;
            }
            if (!found)
                fail(FailureReason::NoSuchTable, std::string("no table ") + argv[arg]);
            emit(found);
        }
    }
    g_out.begin(FrameType::Done);
    g_out.end();
    flush();
    return kExitDone;
}
