#pragma once

#include "catalogue/Statements.h"

#include <array>

namespace ondiva::search {

// What makes one search pane what it is: its controls (by name), its table,
// and how many options choose the where-column. Option i searches the table's
// used column i; the displayed columns are the used columns in order.
struct PaneDefinition {
    const char* searchBox;
    const char* optionGroup;
    catalogue::Table table;
    int optionCount;
    const char* resultList;
    const char* countLabel;

    const catalogue::TableSchema& schema() const { return catalogue::schemaOf(table); }
};

inline constexpr PaneDefinition kArticlesPane{"InputText", "Option1", catalogue::Table::Articoli, 3, "List1", "Label4"};
inline constexpr PaneDefinition kWindowsPane{"Text1", "Option2", catalogue::Table::SoftwareWin, 3, "List2", "Label5"};
inline constexpr PaneDefinition kMacintoshPane{"Text2", "Option3", catalogue::Table::SoftwareMac, 3, "List3", "Label6"};
inline constexpr PaneDefinition kGroovesPane{"Text3", "Option4", catalogue::Table::Grooves, 2, "List4", "Label10"};

inline constexpr std::array kPanes{kArticlesPane, kWindowsPane, kMacintoshPane, kGroovesPane};

} // namespace ondiva::search
