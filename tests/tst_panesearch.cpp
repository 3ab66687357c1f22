// The pane search, driven through fake controls on a real temporary catalogue.

#include "TestCatalogue.h"
#include "fakes/FakeControls.h"
#include "search/PaneSearch.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace ondiva;
using namespace ondiva::search;
using namespace ondiva::fakes;
using ondiva::testing::Row;
using ondiva::testing::TestCatalogue;

namespace {

const QString kTitle = QStringLiteral("Ondiva Magazine Database Search Engine 1.0");

struct Pane {
    FakeTextBox box;
    std::array<FakeOption, 3> options;
    FakeResultList list;
    FakeLabel count;

    PaneView view() { return {box, {&options[0], &options[1], &options[2]}, list, count}; }
};

std::optional<QString> v(const char* text) { return QString::fromUtf8(text); }
constexpr std::nullopt_t null = std::nullopt;

void fillCatalogue(TestCatalogue& catalogue)
{
    const QStringList three3 = {QStringLiteral("ARTICOLO"), QStringLiteral("AUTORE"), QStringLiteral("ONDIVA")};
    catalogue.insert("ARTICOLI", three3,
                     {{v("L'arte del campionamento"), v("Giulia D'Angelo"), v("10")},
                      {v("Il riverbero"), v("Marco Rossi"), v("1")},
                      {v("Caffè e MIDI"), v("Reverb Team"), v("21")},
                      {v(""), v(""), v("")},
                      {null, null, null},
                      {null, null, v("2")},
                      {v("Senza autore"), null, v("11")}});
    const QStringList software = {QStringLiteral("SOFTWARE"), QStringLiteral("TYPE"), QStringLiteral("ONDIVA")};
    for (const char* table : {"SOFTWARE_WIN", "SOFTWARE_MAC"})
        catalogue.insert(table, software,
                         {{v("Tracker Pro"), v("Shareware"), v("3")},
                          {v("Metronomo"), v("Freeware"), v("13")},
                          {v("Shareware Tool"), v("Demo"), null}});
    catalogue.insert("GROOVES", {QStringLiteral("GROOVE"), QStringLiteral("ONDIVA")},
                     {{v("Bossa groove"), v("5")}, {v("Città notturna"), v("15")}, {v(""), v("")}, {null, v("33")}});
}

} // namespace

class TestPaneSearch : public QObject {
    Q_OBJECT

private slots:
    void init();
    void search_data();
    void search();
    void newSearchReplacesRows();
    void termTrimmedOfSpacesOnly();
    void failureLeavesListEmpty_data();
    void failureLeavesListEmpty();

private:
    std::unique_ptr<TestCatalogue> m_catalogue;
};

void TestPaneSearch::init()
{
    m_catalogue = std::make_unique<TestCatalogue>();
    fillCatalogue(*m_catalogue);
}

void TestPaneSearch::search_data()
{
    QTest::addColumn<int>("pane");
    QTest::addColumn<int>("selected"); // option of this pane selected, or -1 for none
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("articles by title") << 0 << 0 << QStringLiteral("RIVERBERO")
                                       << QStringList{QStringLiteral("Il riverbero\tMarco Rossi\t1")};
    QTest::newRow("articles by author") << 0 << 1 << QStringLiteral("reverb")
                                        << QStringList{QStringLiteral("Caffè e MIDI\tReverb Team\t21")};
    QTest::newRow("articles, apostrophe")
        << 0 << 1 << QStringLiteral("d'angelo")
        << QStringList{QStringLiteral("L'arte del campionamento\tGiulia D'Angelo\t10")};
    QTest::newRow("articles by issue, containment")
        << 0 << 2 << QStringLiteral("1")
        << QStringList{QStringLiteral("L'arte del campionamento\tGiulia D'Angelo\t10"),
                       QStringLiteral("Il riverbero\tMarco Rossi\t1"), QStringLiteral("Caffè e MIDI\tReverb Team\t21"),
                       QStringLiteral("Senza autore\t\t11")};
    QTest::newRow("no option selected searches titles")
        << 0 << -1 << QStringLiteral("CAFFÈ") << QStringList{QStringLiteral("Caffè e MIDI\tReverb Team\t21")};
    QTest::newRow("empty term lists non-empty rows")
        << 0 << 0 << QStringLiteral("   ")
        << QStringList{QStringLiteral("L'arte del campionamento\tGiulia D'Angelo\t10"),
                       QStringLiteral("Il riverbero\tMarco Rossi\t1"), QStringLiteral("Caffè e MIDI\tReverb Team\t21"),
                       QStringLiteral("Senza autore\t\t11")};
    QTest::newRow("empty term by issue keeps issue-only rows")
        << 0 << 2 << QString()
        << QStringList{QStringLiteral("L'arte del campionamento\tGiulia D'Angelo\t10"),
                       QStringLiteral("Il riverbero\tMarco Rossi\t1"), QStringLiteral("Caffè e MIDI\tReverb Team\t21"),
                       QStringLiteral("\t\t2"), QStringLiteral("Senza autore\t\t11")};
    QTest::newRow("pattern term") << 0 << 0 << QStringLiteral("il_riv%o")
                                  << QStringList{QStringLiteral("Il riverbero\tMarco Rossi\t1")};
    QTest::newRow("windows by type") << 1 << 1 << QStringLiteral("share")
                                     << QStringList{QStringLiteral("Tracker Pro\tShareware\t3")};
    QTest::newRow("windows by name") << 1 << 0 << QStringLiteral("share")
                                     << QStringList{QStringLiteral("Shareware Tool\tDemo\t")};
    QTest::newRow("mac by issue") << 2 << 2 << QStringLiteral("3")
                                  << QStringList{QStringLiteral("Tracker Pro\tShareware\t3"),
                                                 QStringLiteral("Metronomo\tFreeware\t13")};
    QTest::newRow("grooves end with a tab")
        << 3 << 0 << QStringLiteral("città") << QStringList{QStringLiteral("Città notturna\t15\t")};
    QTest::newRow("grooves by issue") << 3 << 1 << QStringLiteral("3") << QStringList{QStringLiteral("\t33\t")};
}

void TestPaneSearch::search()
{
    QFETCH(int, pane);
    QFETCH(int, selected);
    QFETCH(QString, text);
    QFETCH(QStringList, rows);

    FakeMessageBox messages;
    PaneSearch search(m_catalogue->path(), messages, kTitle);
    Pane controls;
    controls.box.value = text;
    if (selected >= 0)
        controls.options[size_t(selected)].selected = true;
    search.run(kPanes[size_t(pane)], controls.view());

    QCOMPARE(controls.list.rows, rows);
    QCOMPARE(controls.count.caption, QString::number(rows.size()));
    QCOMPARE(messages.shown.size(), 0);
    // The search closed its connection and left nothing beside the catalogue.
    QCOMPARE(testing::openCatalogueFiles(), 0);
    QCOMPARE(QDir(m_catalogue->dir()).entryList(QDir::Files), QStringList(QStringLiteral("qx.mdb")));
}

void TestPaneSearch::newSearchReplacesRows()
{
    FakeMessageBox messages;
    PaneSearch search(m_catalogue->path(), messages, kTitle);
    Pane controls;
    controls.box.value = QStringLiteral("r");
    search.run(kArticlesPane, controls.view());
    const QStringList first = controls.list.rows;
    search.run(kArticlesPane, controls.view());
    QCOMPARE(controls.list.rows, first);
    controls.box.value = QStringLiteral("nessuno");
    search.run(kArticlesPane, controls.view());
    QCOMPARE(controls.list.rows, QStringList());
    QCOMPARE(controls.count.caption, QStringLiteral("0"));
}

void TestPaneSearch::termTrimmedOfSpacesOnly()
{
    QCOMPARE(PaneSearch::termOf(QStringLiteral("  n.12  ")), QStringLiteral("n.12"));
    QCOMPARE(PaneSearch::termOf(QStringLiteral("\tcaffè \t")), QStringLiteral("\tcaffè \t"));
    QCOMPARE(PaneSearch::termOf(QStringLiteral(" del  suono ")), QStringLiteral("del  suono"));
    QCOMPARE(PaneSearch::termOf(QStringLiteral("    ")), QString());
}

void TestPaneSearch::failureLeavesListEmpty_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray() << QStringLiteral("il file non esiste");
    QTest::newRow("not a catalogue") << QByteArray("testo qualsiasi") << QStringLiteral("non è un catalogo valido");
}

void TestPaneSearch::failureLeavesListEmpty()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    if (contents.isEmpty()) {
        QVERIFY(QFile::remove(m_catalogue->path()));
    } else {
        QFile file(m_catalogue->path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }
    FakeMessageBox messages;
    PaneSearch search(m_catalogue->path(), messages, kTitle);
    Pane controls;
    controls.list.rows = {QStringLiteral("da una ricerca precedente")};
    controls.count.caption = QStringLiteral("1");
    search.run(kGroovesPane, controls.view());

    QCOMPARE(controls.list.rows, QStringList());
    QCOMPARE(controls.count.caption, QString());
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].title, kTitle);
    QVERIFY2(messages.shown[0].text.contains(message), qPrintable(messages.shown[0].text));
    QCOMPARE(messages.shown[0].style, MessageBox::Ok | MessageBox::IconCritical);
    QCOMPARE(messages.shown[0].databasesOpen, 0);
    QCOMPARE(testing::openCatalogueFiles(), 0);
}

QTEST_GUILESS_MAIN(TestPaneSearch)
#include "tst_panesearch.moc"
