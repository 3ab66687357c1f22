// The result list as the user handles it: header clicks sort, Ctrl+C copies
// the selected rows, a new search shows database order again.

#include "shell/ResultListWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using ondiva::shell::ResultListWidget;

namespace {

const std::array<QString, 3> kHeaders{u"Nome del software"_s, u"Tipo"_s, u"Rivista"_s};

QStringList firstColumn(ResultListWidget& list)
{
    QStringList cells;
    for (int row = 0; row < list.model().rowCount(); ++row)
        cells << list.model().index(row, 0).data().toString();
    return cells;
}

void clickHeader(ResultListWidget& list, int section)
{
    QHeaderView* header = list.view().horizontalHeader();
    const QPoint centre(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
}

} // namespace

class TestResultListWidget : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void countShowsTheRowsAtOnce();
    void headerClickSortsAndClearResets();
    void ctrlCCopiesSelectedRowsInViewOrder();
    void columnsShareTheWidthSixFiveThree();

private:
    std::unique_ptr<ResultListWidget> m_list;
};

void TestResultListWidget::init()
{
    m_list = std::make_unique<ResultListWidget>(u"Software Win"_s, kHeaders, QColor(255, 255, 192));
    m_list->setGeometry(8, 168, 669, 97);
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    for (const char* row : {"Tracker Pro\tShareware\t3", "metronomo\tFreeware\t13", "Audio Mac\tDemo\t7"})
        m_list->addRow(row);
}

void TestResultListWidget::cleanup() { m_list.reset(); }

void TestResultListWidget::countShowsTheRowsAtOnce()
{
    QCOMPARE(m_list->count(), 3);
    QCOMPARE(m_list->model().rowCount(), 3);
    QCOMPARE(m_list->title(), u"Risultati della ricerca \"Software Win\""_s);
}

void TestResultListWidget::headerClickSortsAndClearResets()
{
    QCOMPARE(m_list->count(), 3);
    clickHeader(*m_list, 0);
    QCOMPARE(firstColumn(*m_list), (QStringList{u"Audio Mac"_s, u"metronomo"_s, u"Tracker Pro"_s}));
    clickHeader(*m_list, 0);
    QCOMPARE(firstColumn(*m_list), (QStringList{u"Tracker Pro"_s, u"metronomo"_s, u"Audio Mac"_s}));
    QCOMPARE(m_list->view().horizontalHeader()->sortIndicatorSection(), 0);

    m_list->clear();
    QCOMPARE(m_list->count(), 0);
    QCOMPARE(m_list->view().horizontalHeader()->sortIndicatorSection(), -1);
    m_list->addRow("z\t\t");
    m_list->addRow("a\t\t");
    QCOMPARE(m_list->count(), 2);
    QCOMPARE(firstColumn(*m_list), (QStringList{u"z"_s, u"a"_s}));
}

void TestResultListWidget::ctrlCCopiesSelectedRowsInViewOrder()
{
    QCOMPARE(m_list->count(), 3);
    clickHeader(*m_list, 2); // by issue: 3, 7, 13
    QTableView& view = m_list->view();
    view.setFocus();
    view.selectionModel()->select(view.model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view.selectionModel()->select(view.model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QApplication::clipboard()->clear();
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), u"Tracker Pro\tShareware\t3\nmetronomo\tFreeware\t13"_s);
}

void TestResultListWidget::columnsShareTheWidthSixFiveThree()
{
    for (int rows = 0; rows < 20; ++rows) // enough for a scroll bar, which narrows the viewport
        m_list->addRow("riga\ttipo\t1");
    QCOMPARE(m_list->count(), 23);
    QTRY_VERIFY(m_list->view().verticalScrollBar()->isVisible());
    QHeaderView* header = m_list->view().horizontalHeader();
    const int width = m_list->view().viewport()->width();
    QTRY_COMPARE(header->length(), width);
    for (const auto& [section, share] : {std::pair{0, 6}, {1, 5}, {2, 3}}) {
        const double exact = width * share / 14.0;
        QVERIFY2(qAbs(header->sectionSize(section) - exact) <= 1.0,
                 qPrintable(u"column %1: %2 for %3"_s.arg(section).arg(header->sectionSize(section)).arg(exact)));
    }
}

QTEST_MAIN(TestResultListWidget)
#include "tst_resultlistwidget.moc"
