#include "ResultTableModel.h"

#include <QMetaObject>
#include <QString>
#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>

namespace ondiva::shell {
namespace {

constexpr char kTab = '\t';

// The piece of a row shown in a column; the last column keeps the rest of the row.
QUtf8StringView piece(QUtf8StringView row, int column)
{
    const char* begin = row.data();
    const char* const end = begin + row.size();
    for (int i = 0; i < column; ++i) {
        const void* tab = begin ? std::memchr(begin, kTab, size_t(end - begin)) : nullptr;
        if (!tab)
            return {};
        begin = static_cast<const char*>(tab) + 1;
    }
    if (column == ResultTableModel::kColumns - 1)
        return QUtf8StringView(begin, end);
    const void* tab = begin ? std::memchr(begin, kTab, size_t(end - begin)) : nullptr;
    return QUtf8StringView(begin, tab ? static_cast<const char*>(tab) : end);
}

bool isNumber(QUtf8StringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Texts without regard to case. ASCII, the common case, is compared here
// byte by byte; from the first other character on Qt's comparison takes over.
int compareText(QUtf8StringView a, QUtf8StringView b)
{
    const auto lower = [](uchar c) { return c >= 'A' && c <= 'Z' ? uchar(c + ('a' - 'A')) : c; };
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const auto x = uchar(a[i]);
        const auto y = uchar(b[i]);
        if (x >= 0x80 || y >= 0x80)
            return QAnyStringView::compare(a.sliced(i), b.sliced(i), Qt::CaseInsensitive);
        if (lower(x) != lower(y))
            return lower(x) < lower(y) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// Empty cells come first, then numbers (issue numbers) by value, then texts
// without regard to case. Ranking the kinds keeps the order consistent.
int compareCells(QUtf8StringView a, QUtf8StringView b)
{
    const auto rank = [](QUtf8StringView text) { return text.isEmpty() ? 0 : isNumber(text) ? 1 : 2; };
    if (const int ranks = rank(a) - rank(b); ranks != 0)
        return ranks;
    if (isNumber(a)) {
        while (a.size() > 1 && a.front() == '0')
            a = a.sliced(1);
        while (b.size() > 1 && b.front() == '0')
            b = b.sliced(1);
        if (a.size() != b.size())
            return a.size() < b.size() ? -1 : 1;
        return std::memcmp(a.data(), b.data(), size_t(a.size()));
    }
    return compareText(a, b);
}

} // namespace

ResultTableModel::ResultTableModel(const std::array<QString, kColumns>& headers, QObject* parent)
    : QAbstractTableModel(parent)
    , m_headers(headers)
{}

int ResultTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_shownRows; }

int ResultTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant ResultTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return cellText(index.row(), index.column());
}

QVariant ResultTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < kColumns ? m_headers[size_t(section)] : QVariant();
    return section + 1;
}

QUtf8StringView ResultTableModel::storedRowText(qsizetype stored) const
{
    const quint32 begin = stored == 0 ? 0 : m_ends[size_t(stored - 1)];
    return QUtf8StringView(m_text.constData() + begin, m_ends[size_t(stored)] - begin);
}

QString ResultTableModel::cellText(int row, int column) const
{
    QString text = piece(storedRowText(storedIndex(row)), column).toString();
    if (column == kColumns - 1)
        text.replace(u'\t', u' ');
    return text;
}

QString ResultTableModel::rowsText(QList<int> rows) const
{
    std::sort(rows.begin(), rows.end());
    QString text;
    for (int row : rows) {
        if (!text.isEmpty())
            text += u'\n';
        for (int column = 0; column < kColumns; ++column) {
            if (column > 0)
                text += u'\t';
            text += cellText(row, column);
        }
    }
    return text;
}

void ResultTableModel::appendRow(QUtf8StringView row)
{
    // Offsets are 32-bit to keep the index small; a result beyond 4 GiB of text is cut there.
    if (quint64(m_text.size()) + quint64(row.size()) > std::numeric_limits<quint32>::max() ||
        m_ends.size() >= size_t(std::numeric_limits<int>::max())) {
        qWarning("result list full: row dropped");
        return;
    }
    m_text.append(row.data(), row.size());
    m_ends.push_back(quint32(m_text.size()));
    queueFlush();
}

void ResultTableModel::queueFlush()
{
    if (!m_flushQueued) {
        m_flushQueued = true;
        QMetaObject::invokeMethod(this, &ResultTableModel::flushPending, Qt::QueuedConnection);
    }
}

void ResultTableModel::releaseSlack()
{
    // Growth leaves up to twice the room needed, and a list that was cleared
    // still holds the room of its earlier rows. What the rows now stored do not
    // need, beyond a quarter more and kSlackBytes, goes back.
    const auto tooRoomy = [](qsizetype capacity, qsizetype used) {
        return capacity > used + std::max<qsizetype>(used / 4, kSlackBytes);
    };
    if (tooRoomy(m_text.capacity(), m_text.size()))
        m_text.squeeze();
    if (tooRoomy(qsizetype(m_ends.capacity() * sizeof(quint32)), qsizetype(m_ends.size() * sizeof(quint32))))
        m_ends.shrink_to_fit();
}

void ResultTableModel::flushPending()
{
    m_flushQueued = false;
    releaseSlack();
    const int stored = int(m_ends.size());
    if (stored == m_shownRows)
        return;

    beginInsertRows({}, m_shownRows, stored - 1);
    if (!m_order.empty()) {
        for (int i = m_shownRows; i < stored; ++i)
            m_order.push_back(quint32(i));
    }
    m_shownRows = stored;
    endInsertRows();
}

void ResultTableModel::clear()
{
    beginResetModel();
    // The room stays for the search that clears the list, which usually lists
    // as much again: fresh memory costs a page fault for every page written.
    // Once that search is done (its count read, or at the next turn of the event
    // loop, whichever comes first) the list keeps only what its rows need and a
    // bounded slack, so an empty or failed search gives back an earlier result's memory.
    m_text.resize(0);
    m_ends.clear();
    std::vector<quint32>().swap(m_order);
    m_shownRows = 0;
    endResetModel();
    queueFlush();
}

void ResultTableModel::sort(int column, Qt::SortOrder order)
{
    if (column >= kColumns)
        return;
    flushPending();
    if (column < 0 && m_order.empty())
        return;

    emit layoutAboutToBeChanged({}, VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<qsizetype> storedBefore;
    storedBefore.reserve(size_t(before.size()));
    for (const QModelIndex& index : before)
        storedBefore.push_back(storedIndex(index.row()));

    if (column < 0) {
        std::vector<quint32>().swap(m_order);
    } else {
        // Each cell is found once, not at every comparison.
        std::vector<QUtf8StringView> cells;
        cells.reserve(size_t(m_shownRows));
        for (qsizetype stored = 0; stored < m_shownRows; ++stored)
            cells.push_back(piece(storedRowText(stored), column));
        std::vector<quint32> sorted(static_cast<size_t>(m_shownRows));
        std::iota(sorted.begin(), sorted.end(), 0U);
        // Stable, so that equal cells keep the database order in either direction.
        std::stable_sort(sorted.begin(), sorted.end(), [&cells, order](quint32 a, quint32 b) {
            const int c = compareCells(cells[a], cells[b]);
            return order == Qt::AscendingOrder ? c < 0 : c > 0;
        });
        m_order = std::move(sorted);
    }

    if (!before.isEmpty()) {
        std::vector<int> viewRowOf(static_cast<size_t>(m_shownRows));
        for (int row = 0; row < m_shownRows; ++row)
            viewRowOf[size_t(storedIndex(row))] = row;
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype i = 0; i < before.size(); ++i)
            after << index(viewRowOf[size_t(storedBefore[size_t(i)])], before[i].column());
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, VerticalSortHint);
}

} // namespace ondiva::shell
