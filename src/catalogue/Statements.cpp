#include "Statements.h"

namespace ondiva::catalogue {
namespace {

constexpr std::array<std::array<QUtf8StringView, 3>, 4> kSearch{{
    {"select * from ARTICOLI where ARTICOLO like ?1", "select * from ARTICOLI where AUTORE like ?1",
     "select * from ARTICOLI where ONDIVA like ?1"},
    {"select * from SOFTWARE_WIN where SOFTWARE like ?1", "select * from SOFTWARE_WIN where TYPE like ?1",
     "select * from SOFTWARE_WIN where ONDIVA like ?1"},
    {"select * from SOFTWARE_MAC where SOFTWARE like ?1", "select * from SOFTWARE_MAC where TYPE like ?1",
     "select * from SOFTWARE_MAC where ONDIVA like ?1"},
    {"select * from GROOVES where GROOVE like ?1", "select * from GROOVES where ONDIVA like ?1", {}},
}};

constexpr std::array<QUtf8StringView, 4> kInsert{
    "insert into ARTICOLI (ARTICOLO, AUTORE, ONDIVA) values (?1, ?2, ?3)",
    "insert into SOFTWARE_WIN (SOFTWARE, TYPE, ONDIVA) values (?1, ?2, ?3)",
    "insert into SOFTWARE_MAC (SOFTWARE, TYPE, ONDIVA) values (?1, ?2, ?3)",
    "insert into GROOVES (GROOVE, ONDIVA) values (?1, ?2)",
};

} // namespace

const TableSchema& schemaOf(Table table)
{
    switch (table) {
    case Table::Articoli:
        return kArticoli;
    case Table::SoftwareWin:
        return kSoftwareWin;
    case Table::SoftwareMac:
        return kSoftwareMac;
    case Table::Grooves:
        break;
    }
    return kGrooves;
}

QUtf8StringView searchStatement(Table table, int column)
{
    Q_ASSERT(column >= 0 && column < schemaOf(table).columnCount);
    return kSearch[size_t(table)][size_t(column)];
}

QUtf8StringView insertStatement(Table table) { return kInsert[size_t(table)]; }

} // namespace ondiva::catalogue
