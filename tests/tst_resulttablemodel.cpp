// The result list's row model: splitting rows into columns, batched
// announcements, sorting with a permutation, and copying rows as text.

#include "shell/ResultTableModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using ondiva::shell::ResultTableModel;

namespace {

const std::array<QString, 3> kHeaders{u"Articolo"_s, u"Autore"_s, u"Rivista"_s};

void append(ResultTableModel& model, const QStringList& rows)
{
    for (const QString& row : rows)
        model.appendRow(QUtf8StringView(row.toUtf8()));
    model.flushPending();
}

QStringList column(const ResultTableModel& model, int column)
{
    QStringList cells;
    for (int row = 0; row < model.rowCount(); ++row)
        cells << model.index(row, column).data().toString();
    return cells;
}

const QStringList kRows{u"Il riverbero\tMarco Rossi\t10"_s, u"caffè e MIDI\tReverb Team\t9"_s,
                        u"Arte del suono\tanna Verdi\t10"_s, u"Zampogne\t\t009"_s, u"Basso\tAnna Bianchi\t"_s};

} // namespace

class TestResultTableModel : public QObject {
    Q_OBJECT

private slots:
    void splitsRowsIntoColumns_data();
    void splitsRowsIntoColumns();
    void announcesAppendsInOneBatch();
    void announcesAtNextEventLoopTurn();
    void sorts_data();
    void sorts();
    void sortsAccentedTextsIgnoringCase();
    void sortKeepsPersistentIndexesOnTheirRows();
    void clearShowsDatabaseOrderAgain();
    void rowsTextInViewOrder();
    void passesModelTester();
};

void TestResultTableModel::splitsRowsIntoColumns_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QStringList>("cells");
    QTest::newRow("three pieces") << u"Caffè e MIDI\tReverb Team\t21"_s
                                  << QStringList{u"Caffè e MIDI"_s, u"Reverb Team"_s, u"21"_s};
    QTest::newRow("grooves row, empty third")
        << u"Bossa groove\t5\t"_s << QStringList{u"Bossa groove"_s, u"5"_s, QString()};
    QTest::newRow("two pieces") << u"Bossa groove\t5"_s << QStringList{u"Bossa groove"_s, u"5"_s, QString()};
    QTest::newRow("one piece") << u"Solo titolo"_s << QStringList{u"Solo titolo"_s, QString(), QString()};
    QTest::newRow("empty row") << QString() << QStringList{QString(), QString(), QString()};
    QTest::newRow("empty middle") << u"Senza autore\t\t11"_s << QStringList{u"Senza autore"_s, QString(), u"11"_s};
    QTest::newRow("extra pieces join the third column")
        << u"a\tb\tc\td\t\te"_s << QStringList{u"a"_s, u"b"_s, u"c d  e"_s};
}

void TestResultTableModel::splitsRowsIntoColumns()
{
    QFETCH(QString, row);
    QFETCH(QStringList, cells);
    ResultTableModel model(kHeaders);
    append(model, {u"prima\triga\t1"_s, row, u"ultima\triga\t2"_s});
    QCOMPARE(model.rowCount(), 3);
    for (int c = 0; c < 3; ++c)
        QCOMPARE(model.index(1, c).data().toString(), cells[c]);
    // Neighbouring rows are untouched by a short or long row.
    QCOMPARE(model.index(2, 0).data().toString(), u"ultima"_s);
    QCOMPARE(model.index(0, 2).data().toString(), u"1"_s);
}

void TestResultTableModel::announcesAppendsInOneBatch()
{
    ResultTableModel model(kHeaders);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 1000; ++i)
        model.appendRow("riga\tautore\t1");
    // Nothing is announced, and so nothing is counted, before the batch ends.
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.storedRows(), 1000);
    model.flushPending();
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted[0][1].toInt(), 0);
    QCOMPARE(inserted[0][2].toInt(), 999);
    QCOMPARE(model.rowCount(), 1000);
    model.flushPending();
    QCOMPARE(inserted.size(), 1);
}

void TestResultTableModel::announcesAtNextEventLoopTurn()
{
    ResultTableModel model(kHeaders);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.appendRow("a\tb\tc");
    model.appendRow("d\te\tf");
    QTRY_COMPARE(model.rowCount(), 2);
    QCOMPARE(inserted.size(), 1);
}

void TestResultTableModel::sorts_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("title, ignoring case")
        << 0 << Qt::AscendingOrder
        << QStringList{u"Arte del suono"_s, u"Basso"_s, u"caffè e MIDI"_s, u"Il riverbero"_s, u"Zampogne"_s};
    QTest::newRow("title, descending") << 0 << Qt::DescendingOrder
                                       << QStringList{u"Zampogne"_s, u"Il riverbero"_s, u"caffè e MIDI"_s, u"Basso"_s,
                                                      u"Arte del suono"_s};
    QTest::newRow("author, empty first, ignoring case")
        << 1 << Qt::AscendingOrder
        << QStringList{u"Zampogne"_s, u"Basso"_s, u"Arte del suono"_s, u"Il riverbero"_s, u"caffè e MIDI"_s};
    QTest::newRow("issue by number, ties in database order")
        << 2 << Qt::AscendingOrder
        << QStringList{u"Basso"_s, u"caffè e MIDI"_s, u"Zampogne"_s, u"Il riverbero"_s, u"Arte del suono"_s};
    QTest::newRow("issue descending, ties still in database order")
        << 2 << Qt::DescendingOrder
        << QStringList{u"Il riverbero"_s, u"Arte del suono"_s, u"caffè e MIDI"_s, u"Zampogne"_s, u"Basso"_s};
    QTest::newRow("no column: database order")
        << -1 << Qt::AscendingOrder
        << QStringList{u"Il riverbero"_s, u"caffè e MIDI"_s, u"Arte del suono"_s, u"Zampogne"_s, u"Basso"_s};
}

void TestResultTableModel::sorts()
{
    QFETCH(int, column);
    QFETCH(Qt::SortOrder, order);
    QFETCH(QStringList, titles);
    ResultTableModel model(kHeaders);
    append(model, kRows);
    model.sort(column, order);
    QCOMPARE(ResultTableModel::kColumns, model.columnCount());
    QCOMPARE(::column(model, 0), titles);
    // Every cell moves with its row.
    for (int row = 0; row < model.rowCount(); ++row)
        QVERIFY(kRows.contains(model.rowsText({row})));
}

void TestResultTableModel::sortsAccentedTextsIgnoringCase()
{
    ResultTableModel model(kHeaders);
    append(model, {u"percorso\t\t"_s, u"PERCHÉ B\t\t"_s, u"perché\t\t"_s, u"Perche\t\t"_s, u"Èra\t\t"_s, u"era\t\t"_s});
    model.sort(0, Qt::AscendingOrder);
    QCOMPARE(::column(model, 0),
             (QStringList{u"era"_s, u"Perche"_s, u"perché"_s, u"PERCHÉ B"_s, u"percorso"_s, u"Èra"_s}));
}

void TestResultTableModel::sortKeepsPersistentIndexesOnTheirRows()
{
    ResultTableModel model(kHeaders);
    append(model, kRows);
    const QPersistentModelIndex basso = model.index(4, 1);
    model.sort(0, Qt::AscendingOrder);
    QCOMPARE(basso.row(), 1);
    QCOMPARE(basso.data().toString(), u"Anna Bianchi"_s);
    model.sort(-1, Qt::AscendingOrder);
    QCOMPARE(basso.row(), 4);
}

void TestResultTableModel::clearShowsDatabaseOrderAgain()
{
    ResultTableModel model(kHeaders);
    append(model, kRows);
    model.sort(0, Qt::DescendingOrder);
    model.clear();
    QCOMPARE(model.rowCount(), 0);
    append(model, {u"b\t\t"_s, u"a\t\t"_s});
    QCOMPARE(::column(model, 0), (QStringList{u"b"_s, u"a"_s}));
}

void TestResultTableModel::rowsTextInViewOrder()
{
    ResultTableModel model(kHeaders);
    append(model, kRows);
    append(model, {u"a\tb\tc\td"_s});
    model.sort(0, Qt::AscendingOrder);
    // Given in any order, the rows come out as the view shows them; extra pieces as spaces.
    QCOMPARE(model.rowsText({2, 0, 1}), u"a\tb\tc d\n"
                                        "Arte del suono\tanna Verdi\t10\n"
                                        "Basso\tAnna Bianchi\t"_s);
    QCOMPARE(model.rowsText({}), QString());
}

void TestResultTableModel::passesModelTester()
{
    ResultTableModel model(kHeaders);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    append(model, kRows);
    model.sort(1, Qt::AscendingOrder);
    append(model, {u"dopo l'ordinamento\tx\t1"_s});
    QCOMPARE(model.rowCount(), kRows.size() + 1);
    model.sort(2, Qt::DescendingOrder);
    model.clear();
    model.appendRow("x\ty\tz");
    QTRY_COMPARE(model.rowCount(), 1);
    model.sort(-1, Qt::AscendingOrder);
}

QTEST_MAIN(TestResultTableModel)
#include "tst_resulttablemodel.moc"
