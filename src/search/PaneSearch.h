#pragma once

#include "PaneDefinition.h"
#include "catalogue/CatalogueError.h"

#include <QString>

#include <array>

namespace ondiva {
class Label;
class MessageBox;
class OptionButton;
class ResultList;
class TextBox;
} // namespace ondiva

namespace ondiva::search {

// The controls of one pane, as the search reaches them.
struct PaneView {
    TextBox& searchBox;
    std::array<OptionButton*, catalogue::kMaxColumns> options; // the first optionCount() are set
    ResultList& results;
    Label& count;
};

// Refills a pane's result list with the rows whose chosen column contains the
// term, and shows how many there are. Failures reach the user as a notice; the
// list then stays empty and the count label blank.
class PaneSearch {
public:
    PaneSearch(QString cataloguePath, MessageBox& messages, QString noticeTitle);

    void run(const PaneDefinition& pane, const PaneView& view, char separator = '\t');

    // The term of a search box's text: leading and trailing spaces (code 32 only) removed.
    static QString termOf(const QString& text);
    // The index of the selected option of the pane, or 0 when none is selected.
    static int searchMode(const PaneDefinition& pane, const PaneView& view);

private:
    Status fill(const PaneDefinition& pane, const PaneView& view, char separator);

    QString m_cataloguePath;
    MessageBox& m_messages;
    QString m_noticeTitle;
};

} // namespace ondiva::search
