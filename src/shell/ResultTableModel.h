#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>
#include <QString>
#include <QUtf8StringView>
#include <array>
#include <vector>

namespace ondiva::shell {

// The rows of one result list: three columns, each row given as one UTF-8 text
// whose columns are separated by TAB. The rows live in one byte buffer with a
// vector of end offsets, so a million rows cost little more than their text;
// a cell becomes a QString only when a view asks for it.
//
// Appended rows are announced to views in one batch: when flushPending() is
// called or, failing that, at the next turn of the event loop.
//
// Sorting keeps the stored order and reorders a permutation; clear() returns to
// the stored (database) order.
class ResultTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kColumns = 3;
    // Room a list may keep beyond what its rows need, between searches.
    static constexpr qsizetype kSlackBytes = 256 * 1024;

    explicit ResultTableModel(const std::array<QString, kColumns>& headers, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // column -1 restores the stored order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    void clear();
    void appendRow(QUtf8StringView row);
    void flushPending();
    // Every stored row, announced or still pending.
    qsizetype storedRows() const { return qsizetype(m_ends.size()); }

    // The text of a cell in view order. Pieces after the second TAB all belong
    // to the third column, their TABs shown as spaces.
    QString cellText(int row, int column) const;
    // The given view rows, in ascending view order, as lines of TAB-separated cells.
    QString rowsText(QList<int> rows) const;

private:
    void queueFlush();
    void releaseSlack();
    QUtf8StringView storedRowText(qsizetype stored) const;
    qsizetype storedIndex(int viewRow) const { return m_order.empty() ? viewRow : qsizetype(m_order[size_t(viewRow)]); }

    std::array<QString, kColumns> m_headers;
    QByteArray m_text;
    std::vector<quint32> m_ends;  // end offset of each stored row in m_text
    std::vector<quint32> m_order; // view row -> stored row; empty while in stored order
    int m_shownRows = 0;          // rows announced to views
    bool m_flushQueued = false;
};

} // namespace ondiva::shell
