#include "ResultListWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::shell {
namespace {

// Column widths in the proportion 6 : 5 : 3 of the list's width.
constexpr std::array<int, ResultTableModel::kColumns> kColumnShares{6, 5, 3};
constexpr int kShareTotal = 14;

// Fixed row heights and no content-based sizing keep a million rows smooth.
void setUpRowHeader(QHeaderView& rows, int rowHeight)
{
    rows.hide();
    rows.setSectionResizeMode(QHeaderView::Fixed);
    rows.setDefaultSectionSize(rowHeight);
}

} // namespace

ResultListWidget::ResultListWidget(const QString& subject,
                                   const std::array<QString, ResultTableModel::kColumns>& headers,
                                   const QColor& background, QWidget* parent)
    : QWidget(parent)
    , m_model(headers)
    , m_title(u"Risultati della ricerca \"%1\""_s.arg(subject))
    , m_view()
{
    m_title.setObjectName(u"title"_s);
    m_title.setAlignment(Qt::AlignCenter);
    m_title.setFrameShape(QFrame::Panel);
    m_title.setFrameShadow(QFrame::Raised);
    m_title.setMargin(1);

    m_view.setObjectName(u"view"_s);
    QPalette colours = m_view.palette();
    colours.setColor(QPalette::Base, background);
    colours.setColor(QPalette::Text, colours.color(QPalette::WindowText));
    m_view.setPalette(colours);
    m_view.setModel(&m_model);
    m_view.setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view.setTabKeyNavigation(false);
    m_view.setShowGrid(false);
    m_view.setWordWrap(false);
    m_view.setCornerButtonEnabled(false);
    m_view.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    setUpRowHeader(*m_view.verticalHeader(), m_view.fontMetrics().height() + 2);
    QHeaderView* columns = m_view.horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(false);
    columns->setHighlightSections(false);
    columns->setSortIndicatorClearable(true);
    columns->setSortIndicator(-1, Qt::AscendingOrder);
    m_view.setSortingEnabled(true);

    m_view.installEventFilter(this);
    m_view.viewport()->installEventFilter(this);
    setFocusProxy(&m_view);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(&m_title);
    layout->addWidget(&m_view, 1);
}

ResultListWidget::~ResultListWidget()
{
    // The view sends events while it is being destroyed; by then this filter must be gone.
    m_view.viewport()->removeEventFilter(this);
    m_view.removeEventFilter(this);
}

void ResultListWidget::clear()
{
    m_model.clear();
    // A search that fails reads no count: the header is trimmed at the next turn of the event loop.
    QMetaObject::invokeMethod(this, &ResultListWidget::trimRowHeader, Qt::QueuedConnection);
    m_view.horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
}

void ResultListWidget::addRow(QUtf8StringView row) { m_model.appendRow(row); }

qsizetype ResultListWidget::count() const
{
    // Whoever asks for the count is about to show it: the rows appear together with it.
    const_cast<ResultListWidget*>(this)->trimRowHeader();
    m_model.flushPending();
    return m_model.storedRows();
}

void ResultListWidget::trimRowHeader()
{
    // The row header keeps a few bytes for every row it has had, even once
    // they are gone. When a search lists far fewer rows than the header has
    // room for, a new header takes its place before the rows are shown, so
    // the list keeps no more than about ResultTableModel::kSlackBytes beyond
    // what its rows need; a search listing as much again keeps the room.
    const qsizetype rows = m_model.storedRows();
    m_headerRows = std::max(m_headerRows, rows);
    constexpr qsizetype kBytesPerRow = 8;
    if (m_headerRows * kBytesPerRow <= ResultTableModel::kSlackBytes || rows * 2 >= m_headerRows)
        return;
    const int rowHeight = m_view.verticalHeader()->defaultSectionSize();
    auto* header = new QHeaderView(Qt::Vertical, &m_view);
    setUpRowHeader(*header, rowHeight);
    m_view.setVerticalHeader(header); // the view deletes the old one
    m_headerRows = rows;
}

QString ResultListWidget::selectedText() const
{
    QList<int> rows;
    const QItemSelection selection = m_view.selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows << row;
    }
    // Ranges can overlap when the user adds to a selection.
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return m_model.rowsText(rows);
}

void ResultListWidget::copySelection() const
{
    if (m_view.selectionModel()->hasSelection())
        QApplication::clipboard()->setText(selectedText());
}

bool ResultListWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_view && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        copySelection();
        return true;
    }
    if (watched == m_view.viewport() && event->type() == QEvent::Resize)
        fitColumns();
    return QWidget::eventFilter(watched, event);
}

void ResultListWidget::fitColumns()
{
    const int width = m_view.viewport()->width();
    if (width == m_fittedWidth)
        return;
    m_fittedWidth = width;
    // Each edge rounded from its exact place, so no column is off by more than a pixel.
    QHeaderView* header = m_view.horizontalHeader();
    int shares = 0;
    int left = 0;
    for (int column = 0; column < ResultTableModel::kColumns; ++column) {
        shares += kColumnShares[size_t(column)];
        const int right = (width * shares + kShareTotal / 2) / kShareTotal;
        header->resizeSection(column, right - left);
        left = right;
    }
}

} // namespace ondiva::shell
