// Reads a Microsoft Access file with libmdb and writes what it finds to
// standard output as frames (see AccessFrames.h):
//
//   ondiva-accessreader list FILE            every user table, with its columns and row count
//   ondiva-accessreader dump FILE TABLE...   the named tables, with all their rows
//
// It runs as a process of its own because libmdb may crash or loop forever on
// a damaged file: the program reading the frames survives that and gives up
// after a time-out.

#include "accessframes/AccessFrames.h"

#include <mdbtools.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace ondiva::access;

namespace {

// libmdb converts a value into a buffer of the handle's "bind size", which is
// set for each value from the size the value has in the file: UTF-8 takes at
// most three bytes for each byte stored (UCS-2, compressed or code-page text).
// A value that would need more than kMaxBindSize is refused, never cut short.
constexpr size_t kMaxBindSize = 256u << 20;
constexpr size_t kSmallBindSize = 256; // numbers and dates
constexpr size_t kFlushAt = 1u << 20;

FrameWriter g_out;

void flush()
{
    std::string& bytes = g_out.bytes();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
        std::exit(3);
    bytes.clear();
}

void maybeFlush()
{
    if (g_out.bytes().size() >= kFlushAt)
        flush();
}

[[noreturn]] void fail(FailureReason reason, const std::string& message)
{
    g_out.begin(FrameType::Failure);
    g_out.byte(std::uint8_t(reason));
    g_out.text(message);
    g_out.end();
    flush();
    std::fflush(stdout);
    std::exit(1);
}

struct Closer {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFree {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

void writeTable(MdbTableDef* table)
{
    g_out.begin(FrameType::Table);
    g_out.u32(table->num_cols);
    g_out.text(table->name);
    for (unsigned i = 0; i < table->num_cols; ++i)
        g_out.text(static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i))->name);
    g_out.u64(table->num_rows);
    g_out.end();
}

// The room libmdb needs to convert a value into UTF-8.
size_t bindSizeFor(MdbHandle* mdb, MdbColumn* column, const MdbField& field)
{
    switch (column->col_type) {
    case MDB_TEXT:
    case MDB_BINARY:
        return 3 * size_t(field.siz) + 16;
    case MDB_MEMO:
    case MDB_OLE:
        if (field.siz < 4)
            return kSmallBindSize;
        // A long value's header gives its stored length below two flag bits.
        return 3 * (size_t(mdb_get_int32(mdb->pg_buf, field.start)) & 0x3FFFFFFF) + 16;
    default:
        return kSmallBindSize;
    }
}

// One value as text, the way libmdb shows it; g_free the result.
char* valueText(MdbHandle* mdb, MdbColumn* column, const MdbField& field)
{
    switch (column->col_type) {
    case MDB_NUMERIC:
        return mdb_numeric_to_string(mdb, field.start, column->col_scale, column->col_prec);
    default:
        return mdb_col_to_string(mdb, mdb->pg_buf, field.start, column->col_type, field.siz);
    }
}

void writeRows(MdbHandle* mdb, MdbTableDef* table)
{
    std::vector<MdbField> fields(table->num_cols);
    std::vector<MdbColumn*> columns(table->num_cols);
    for (unsigned i = 0; i < table->num_cols; ++i)
        columns[i] = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
    // Which field holds which column: the row lists its fixed columns first.
    std::vector<int> fieldOf(table->num_cols);

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
        for (unsigned i = 0; i < table->num_cols; ++i)
            fieldOf[size_t(fields[i].colnum)] = int(i);

        g_out.begin(FrameType::Row);
        for (unsigned c = 0; c < table->num_cols; ++c) {
            const MdbField& field = fields[size_t(fieldOf[c])];
            MdbColumn* column = columns[c];
            if (column->col_type == MDB_BOOL) {
                // A yes/no value lives in the null bit itself.
                g_out.byte(1);
                g_out.text(field.is_null ? mdb->boolean_false_value : mdb->boolean_true_value);
                continue;
            }
            if (field.is_null) {
                g_out.byte(0);
                continue;
            }
            g_out.byte(1);
            if (field.siz <= 0) {
                g_out.text({});
                continue;
            }
            const size_t bindSize = bindSizeFor(mdb, column, field);
            if (bindSize > kMaxBindSize)
                fail(FailureReason::ValueTooLong,
                     std::string("a value of column ") + column->name + " in table " + table->name + " is too long");
            mdb_set_bind_size(mdb, bindSize);
            std::unique_ptr<char, decltype(&g_free)> text(valueText(mdb, column, field), &g_free);
            const size_t length = text ? std::strlen(text.get()) : 0;
            if (length + 1 >= bindSize)
                fail(FailureReason::ValueTooLong,
                     std::string("a value of column ") + column->name + " in table " + table->name + " is too long");
            g_out.text(std::string_view(text.get(), length));
        }
        g_out.end();
        maybeFlush();
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || (std::strcmp(argv[1], "list") != 0 && std::strcmp(argv[1], "dump") != 0))
        fail(FailureReason::Usage, "usage: ondiva-accessreader list FILE | dump FILE TABLE...");
    const bool dump = std::strcmp(argv[1], "dump") == 0;

    std::unique_ptr<MdbHandle, Closer> mdb(mdb_open(argv[2], MDB_NOFLAGS));
    if (!mdb)
        fail(FailureReason::CannotOpen, std::string("libmdb cannot open ") + argv[2]);
    mdb_set_boolean_fmt_numbers(mdb.get());
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
    return std::fflush(stdout) == 0 ? 0 : 3;
}
