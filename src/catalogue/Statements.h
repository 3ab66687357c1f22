#pragma once

// Every statement the program sends to the catalogue, in one place, built from
// one description of the tables. Values are never part of a statement's text:
// each travels as a bound parameter (?1, ?2 ...).

#include <QByteArray>
#include <QStringList>
#include <QUtf8StringView>

#include <array>
#include <span>

namespace ondiva::catalogue {

enum class Table { Articoli, SoftwareWin, SoftwareMac, Grooves };
// The four item tables, in the order in which panes show them and update files list them.
inline constexpr std::array kAllTables{Table::Articoli, Table::SoftwareWin, Table::SoftwareMac, Table::Grooves};

// The most columns any table has that the program reads or writes.
inline constexpr int kMaxColumns = 3;

// A catalogue table with the columns the program reads and writes, in the
// order in which they are shown and inserted.
struct TableSchema {
    const char* name;
    std::array<const char*, kMaxColumns> columns;
    int columnCount;

    constexpr std::span<const char* const> usedColumns() const { return {columns.data(), size_t(columnCount)}; }
};

inline constexpr TableSchema kArticoli{"ARTICOLI", {"ARTICOLO", "AUTORE", "ONDIVA"}, 3};
inline constexpr TableSchema kSoftwareWin{"SOFTWARE_WIN", {"SOFTWARE", "TYPE", "ONDIVA"}, 3};
inline constexpr TableSchema kSoftwareMac{"SOFTWARE_MAC", {"SOFTWARE", "TYPE", "ONDIVA"}, 3};
inline constexpr TableSchema kGrooves{"GROOVES", {"GROOVE", "ONDIVA", nullptr}, 2};
inline constexpr TableSchema kAggiornamenti{"AGGIORNAMENTI", {"AGGIORNATOAL", nullptr, nullptr}, 1};

// The item tables' schemas, indexed by Table.
inline constexpr std::array kItemTables{kArticoli, kSoftwareWin, kSoftwareMac, kGrooves};
// The five tables the program relies on, for checking a file before use.
inline constexpr std::array kRequiredTables{kArticoli, kSoftwareWin, kSoftwareMac, kGrooves, kAggiornamenti};

constexpr const TableSchema& schemaOf(Table table) { return kItemTables[size_t(table)]; }

// "select * from T where C like ?1"; column indexes the table's used columns.
QUtf8StringView searchStatement(Table table, int column);
// "insert into T (C1, C2, C3) values (?1, ?2, ?3)".
QUtf8StringView insertStatement(Table table);
// "select * from AGGIORNAMENTI where AGGIORNATOAL like ?1".
QUtf8StringView appliedCheckStatement();
// "insert into AGGIORNAMENTI (AGGIORNATOAL) values (?1)".
QUtf8StringView recordAppliedStatement();

// A column name as a quoted identifier: "name", with a " inside doubled. Names
// that come from another file travel this way, so that any name is kept exactly.
QByteArray quotedIdentifier(const QString& name);
// The statements that fill a new catalogue from another file, with the
// columns it has there (every one text):
// "create table T ("c1" text, "c2" text)" and "insert into T ("c1", "c2") values (?1, ?2)".
QByteArray createTableStatement(const TableSchema& table, const QStringList& columns);
QByteArray insertRowStatement(const TableSchema& table, const QStringList& columns);

// The column that holds the identifiers of the updates applied.
inline constexpr const char* kAppliedColumn = kAggiornamenti.columns[0];

// The columns of one table: "select name from pragma_table_info(?1)".
inline constexpr QUtf8StringView kTableColumns = "select name from pragma_table_info(?1)";

} // namespace ondiva::catalogue
