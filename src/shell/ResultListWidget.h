#pragma once

#include "ResultTableModel.h"
#include "platform/controls/ResultList.h"

#include <QColor>
#include <QLabel>
#include <QTableView>
#include <QWidget>
#include <array>

namespace ondiva::shell {

// A pane's result list: a title bar naming what was searched, and a
// three-column table the user can scroll, select, copy (Ctrl+C) and sort by
// clicking a header. A new search (clear) shows the rows in database order again.
class ResultListWidget : public QWidget, public ResultList {
    Q_OBJECT

public:
    ResultListWidget(const QString& subject, const std::array<QString, ResultTableModel::kColumns>& headers,
                     const QColor& background, QWidget* parent = nullptr);
    ~ResultListWidget() override;

    void clear() override;
    void addRow(QUtf8StringView row) override;
    qsizetype count() const override;

    QString title() const { return m_title.text(); }
    QTableView& view() { return m_view; }
    ResultTableModel& model() { return m_model; }

    // The selected rows as TAB-separated lines, in view order; put on the clipboard by copySelection().
    QString selectedText() const;
    void copySelection() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitColumns();
    void trimRowHeader();

    // count() is const for the logic but announces pending rows to the view first.
    mutable ResultTableModel m_model;
    QLabel m_title;
    QTableView m_view;
    int m_fittedWidth = -1;
    qsizetype m_headerRows = 0; // the most rows the row header has had room for
};

} // namespace ondiva::shell
