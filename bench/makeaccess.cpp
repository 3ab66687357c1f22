// Copies every table of an SQLite file into a Microsoft Access file:
//   makeaccess jet3|jet4 FROM.sqlite TO.mdb
// Same table and column names; every column is Text, or Memo where some value
// is longer than a Text holds; rows in rowid order; NULL stays NULL. The file is
// written under a temporary name beside TO, then renamed to TO.

#include "AccessWriter.h"

#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

using namespace ondiva::accesswriter;

namespace {

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

std::string quoted(const std::string& name)
{
    std::string out = "\"";
    for (const char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

Statement prepare(sqlite3* db, const std::string& sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return Statement(statement);
}

// Steps to the next row: true on a row, false at the end; throws on an error.
bool step(sqlite3* db, sqlite3_stmt* statement)
{
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw std::runtime_error(sqlite3_errmsg(db));
}

std::string_view text(sqlite3_stmt* statement, int column)
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return {bytes ? bytes : "", std::size_t(sqlite3_column_bytes(statement, column))};
}

// The names of the SQLite file's own tables, in the order they were made.
bool listTables(sqlite3* db, const std::string& from, std::vector<std::string>& names)
{
    Statement list = prepare(db, "select name from sqlite_schema where type = 'table' and name not like "
                                 "'sqlite\\_%' escape '\\' order by rowid");
    if (!list) {
        std::fprintf(stderr, "makeaccess: %s is not an SQLite file: %s\n", from.c_str(), sqlite3_errmsg(db));
        return false;
    }
    try {
        while (step(db, list.get()))
            names.emplace_back(text(list.get(), 0));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "makeaccess: cannot list the tables of %s: %s\n", from.c_str(), e.what());
        return false;
    }
    return true;
}

// One table to write, its rows streamed from select. A first pass over the
// rows finds the columns that need a Memo; the second, while the file is
// written, streams them.
bool planTable(sqlite3* db, const std::string& name, Statement& select, AccessTable& table)
{
    select = prepare(db, "select * from " + quoted(name) + " order by rowid");
    if (!select) // a table without rowid keeps its primary key's order
        select = prepare(db, "select * from " + quoted(name));
    if (!select) {
        std::fprintf(stderr, "makeaccess: cannot read table %s: %s\n", name.c_str(), sqlite3_errmsg(db));
        return false;
    }
    sqlite3_stmt* statement = select.get();
    const int count = sqlite3_column_count(statement);
    table = AccessTable{name, {}, {}};
    for (int i = 0; i < count; ++i)
        table.columns.push_back({sqlite3_column_name(statement, i), AccessColumn::Type::Text});
    try {
        while (step(db, statement))
            for (int i = 0; i < count; ++i)
                if (table.columns[i].type == AccessColumn::Type::Text &&
                    accessTextLength(text(statement, i)) > kAccessTextMaxLength)
                    table.columns[i].type = AccessColumn::Type::Memo;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "makeaccess: cannot read table %s: %s\n", name.c_str(), e.what());
        return false;
    }
    sqlite3_reset(statement);
    table.nextRow = [db, statement, count](AccessRow& row) {
        if (!step(db, statement))
            return false;
        for (int i = 0; i < count; ++i)
            if (sqlite3_column_type(statement, i) != SQLITE_NULL)
                row[std::size_t(i)] = std::string(text(statement, i));
        return true;
    };
    return true;
}

// The Access file written under a temporary name, then given its own.
bool writeFile(const std::string& to, JetVersion version, std::vector<AccessTable> tables)
{
    const std::string temporary = to + ".tmp-" + std::to_string(::getpid());
    if (const std::string error = writeAccessFile(temporary, version, std::move(tables)); !error.empty()) {
        std::fprintf(stderr, "makeaccess: %s\n", error.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), to.c_str()) != 0) {
        std::perror(("makeaccess: cannot rename " + temporary + " to " + to).c_str());
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || (std::string(argv[1]) != "jet3" && std::string(argv[1]) != "jet4")) {
        std::fprintf(stderr, "usage: %s jet3|jet4 FROM.sqlite TO.mdb\n", argv[0]);
        return 2;
    }
    const JetVersion version = std::string(argv[1]) == "jet3" ? JetVersion::Jet3 : JetVersion::Jet4;
    const std::string from = argv[2];

    sqlite3* db = nullptr;
    if (sqlite3_open_v2(from.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "makeaccess: cannot open %s: %s\n", from.c_str(), db ? sqlite3_errmsg(db) : "no memory");
        sqlite3_close(db);
        return 1;
    }
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(db, sqlite3_close);
    std::vector<std::string> names;
    if (!listTables(db, from, names))
        return 1;
    std::vector<Statement> statements(names.size());
    std::vector<AccessTable> tables(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!planTable(db, names[i], statements[i], tables[i]))
            return 1;
    }
    return writeFile(argv[3], version, std::move(tables)) ? 0 : 1;
}
