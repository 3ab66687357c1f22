#pragma once

// Every statement the program sends to the catalogue, in one place. Values are
// never part of a statement's text: each travels as a bound parameter (?1, ?2 ...).

#include <QUtf8StringView>

#include <array>
#include <span>

namespace ondiva::catalogue {

enum class Table { Articoli, SoftwareWin, SoftwareMac, Grooves };
inline constexpr std::array kAllTables{Table::Articoli, Table::SoftwareWin, Table::SoftwareMac, Table::Grooves};

// A catalogue table with the columns the program reads and writes, in the
// order in which they are shown and inserted.
struct TableSchema {
    const char* name;
    std::array<const char*, 3> columns;
    int columnCount;

    std::span<const char* const> usedColumns() const { return {columns.data(), size_t(columnCount)}; }
};

inline constexpr TableSchema kArticoli{"ARTICOLI", {"ARTICOLO", "AUTORE", "ONDIVA"}, 3};
inline constexpr TableSchema kSoftwareWin{"SOFTWARE_WIN", {"SOFTWARE", "TYPE", "ONDIVA"}, 3};
inline constexpr TableSchema kSoftwareMac{"SOFTWARE_MAC", {"SOFTWARE", "TYPE", "ONDIVA"}, 3};
inline constexpr TableSchema kGrooves{"GROOVES", {"GROOVE", "ONDIVA", nullptr}, 2};
inline constexpr TableSchema kAggiornamenti{"AGGIORNAMENTI", {"AGGIORNATOAL", nullptr, nullptr}, 1};

// The five tables the program relies on, for checking a file before use.
inline constexpr std::array kRequiredTables{kArticoli, kSoftwareWin, kSoftwareMac, kGrooves, kAggiornamenti};

const TableSchema& schemaOf(Table table);

// "select * from T where C like ?1"; column indexes the table's used columns.
QUtf8StringView searchStatement(Table table, int column);
// "insert into T (C1, C2, C3) values (?1, ?2, ?3)".
QUtf8StringView insertStatement(Table table);

inline constexpr QUtf8StringView kAppliedCheck = "select * from AGGIORNAMENTI where AGGIORNATOAL like ?1";
inline constexpr QUtf8StringView kRecordApplied = "insert into AGGIORNAMENTI (AGGIORNATOAL) values (?1)";
inline constexpr const char* kAppliedColumn = "AGGIORNATOAL";

// The columns of one table: "select name from pragma_table_info(?1)".
inline constexpr QUtf8StringView kTableColumns = "select name from pragma_table_info(?1)";

} // namespace ondiva::catalogue
