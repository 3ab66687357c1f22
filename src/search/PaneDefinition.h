#pragma once

#include "catalogue/Statements.h"

#include <array>

namespace ondiva::search {

// What makes one search pane what it is: its controls (by name) and its table.
// The pane has one option per used column of the table: option i searches
// column i, and the displayed columns are the used columns in order.
struct PaneDefinition {
    const char* searchBox;
    const char* optionGroup;
    catalogue::Table table;
    const char* resultList;
    const char* countLabel;

    constexpr const catalogue::TableSchema& schema() const { return catalogue::schemaOf(table); }
    constexpr int optionCount() const { return schema().columnCount; }
};

inline constexpr PaneDefinition kArticlesPane{"InputText", "Option1", catalogue::Table::Articoli, "List1", "Label4"};
inline constexpr PaneDefinition kWindowsPane{"Text1", "Option2", catalogue::Table::SoftwareWin, "List2", "Label5"};
inline constexpr PaneDefinition kMacintoshPane{"Text2", "Option3", catalogue::Table::SoftwareMac, "List3", "Label6"};
inline constexpr PaneDefinition kGroovesPane{"Text3", "Option4", catalogue::Table::Grooves, "List4", "Label10"};

inline constexpr std::array kPanes{kArticlesPane, kWindowsPane, kMacintoshPane, kGroovesPane};

} // namespace ondiva::search
