#include "PaneSearch.h"

#include "catalogue/CatalogueConnection.h"
#include "platform/controls/Label.h"
#include "platform/controls/MessageBox.h"
#include "platform/controls/OptionButton.h"
#include "platform/controls/ResultList.h"
#include "platform/controls/TextBox.h"

#include <QByteArray>

#include <string>

namespace ondiva::search {

using catalogue::Connection;

PaneSearch::PaneSearch(QString cataloguePath, MessageBox& messages, QString noticeTitle)
    : m_cataloguePath(std::move(cataloguePath))
    , m_messages(messages)
    , m_noticeTitle(std::move(noticeTitle))
{}

QString PaneSearch::termOf(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

int PaneSearch::searchMode(const PaneDefinition& pane, const PaneView& view)
{
    int mode = 0;
    for (int i = 0; i < pane.optionCount(); ++i) {
        if (view.options[size_t(i)] && view.options[size_t(i)]->isSelected())
            mode = i;
    }
    return mode;
}

void PaneSearch::run(const PaneDefinition& pane, const PaneView& view, char separator)
{
    view.results.clear();
    // The connection is closed before any notice goes up, so a message left on
    // screen never keeps the catalogue locked.
    if (Status done = fill(pane, view, separator); !done) {
        view.results.clear();
        view.count.setCaption(QString());
        m_messages.show(done.error().message, MessageBox::Ok | MessageBox::IconCritical, m_noticeTitle,
                        done.error().detail);
        return;
    }
    view.count.setCaption(QString::number(view.results.count()));
}

Status PaneSearch::fill(const PaneDefinition& pane, const PaneView& view, char separator)
{
    const QByteArray pattern = '%' + termOf(view.searchBox.text()).toUtf8() + '%';
    const int mode = searchMode(pane, view);

    Result<Connection> connection = Connection::open(m_cataloguePath, Connection::Access::Read);
    if (!connection)
        return connection.error();
    Result<catalogue::Cursor> cursor =
        connection->execute(catalogue::searchStatement(pane.table, mode), {QUtf8StringView(pattern)});
    if (!cursor)
        return cursor.error();

    const auto columns = pane.schema().usedColumns();
    std::array<int, catalogue::kMaxColumns> index{};
    for (size_t i = 0; i < columns.size(); ++i)
        index[i] = cursor->columnIndex(QUtf8StringView(columns[i]));
    // Grooves rows end with the separator, so that the list's third column stays empty.
    const bool trailingSeparator = columns.size() < catalogue::kMaxColumns;

    std::string row; // reused: clear() keeps its room for the next row
    while (!cursor->atEnd()) {
        row.clear();
        bool anyValue = false;
        for (size_t i = 0; i < columns.size(); ++i) {
            const QUtf8StringView value = cursor->field(index[i]);
            anyValue = anyValue || !value.isEmpty();
            if (i > 0)
                row.push_back(separator);
            row.append(value.data(), size_t(value.size()));
        }
        // A row whose shown values are all empty is skipped and not counted.
        if (anyValue) {
            if (trailingSeparator)
                row.push_back(separator);
            view.results.addRow(QUtf8StringView(row.data(), qsizetype(row.size())));
        }
        if (Status moved = cursor->next(); !moved)
            return moved.error();
    }
    return Done{};
}

} // namespace ondiva::search
