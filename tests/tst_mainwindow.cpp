// The real window driven by its controls' names: start-up state, searching
// with Enter, the options shared by all panes, tab order, layout, notices.

#include "RunCommands.h"
#include "TestCatalogue.h"
#include "fakes/FakeCatalogueFiles.h"
#include "fakes/FakeControls.h"
#include "shell/MainWindow.h"
#include "shell/ResultListWidget.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace ondiva;
using ondiva::shell::MainWindow;
using ondiva::shell::ResultListWidget;
using ondiva::shell::ResultTableModel;
using ondiva::testing::TestCatalogue;

namespace {

std::optional<QString> v(const char* text) { return QString::fromUtf8(text); }

void fillCatalogue(TestCatalogue& catalogue)
{
    catalogue.insert("ARTICOLI", {u"ARTICOLO"_s, u"AUTORE"_s, u"ONDIVA"_s},
                     {{v("Il riverbero"), v("Marco Rossi"), v("1")},
                      {v("Rossini e il campionatore"), v("Anna Verdi"), v("12")},
                      {v("Caffè e MIDI"), v("Reverb Team"), v("21")}});
    catalogue.insert("SOFTWARE_WIN", {u"SOFTWARE"_s, u"TYPE"_s, u"ONDIVA"_s},
                     {{v("Tracker Pro"), v("Shareware"), v("3")},
                      {v("Shareware Tool"), v("Demo"), v("7")},
                      {v("Metronomo"), v("Freeware"), v("13")}});
    catalogue.insert("SOFTWARE_MAC", {u"SOFTWARE"_s, u"TYPE"_s, u"ONDIVA"_s},
                     {{v("Mac Tracker"), v("Shareware"), v("4")}, {v("Audio Mac"), v("Freeware"), v("5")}});
    catalogue.insert("GROOVES", {u"GROOVE"_s, u"ONDIVA"_s},
                     {{v("Bossa groove"), v("5")}, {v("Città notturna"), v("15")}});
}

// The control a focused widget belongs to (a list's focus sits in its inner view).
QString controlOf(QWidget* widget)
{
    for (; widget; widget = widget->parentWidget()) {
        if (!widget->objectName().isEmpty() && widget->objectName() != u"view"_s)
            return widget->objectName();
    }
    return QString();
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsAfterStartUp_data();
    void controlsAfterStartUp();
    void optionsAfterStartUp_data();
    void optionsAfterStartUp();
    void enterSearchesItsPane_data();
    void enterSearchesItsPane();
    void autoRepeatSearchesAgain();
    void typingWithoutEnterChangesNothing();
    void optionsAreOneSetAcrossPanes();
    void tabOrder();
    void geometry_data();
    void geometry();
    void listTitlesAndHeaders_data();
    void listTitlesAndHeaders();
    void fontsAreTheSystemsOwn_data();
    void fontsAreTheSystemsOwn();
    void groovesRowLeavesThirdColumnEmpty();
    void failingSearchShowsNotice();
    void menuAndExit();
    void servicesForUpdate();
    void updateFromTheMenu();

private:
    template <typename T>
    T* control(const QString& name)
    {
        return testing::control<T>(*m_window, name);
    }
    void showWindow();

    std::unique_ptr<TestCatalogue> m_catalogue;
    fakes::FakeMessageBox m_messages;
    fakes::FakeFileDialog m_fileDialog;
    fakes::FakeCatalogueFiles m_files;
    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindow::init()
{
    m_catalogue = std::make_unique<TestCatalogue>();
    fillCatalogue(*m_catalogue);
    m_messages.shown.clear();
    m_window = std::make_unique<MainWindow>(m_catalogue->path(), m_files, m_messages, &m_fileDialog);
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    m_catalogue.reset();
}

void TestMainWindow::showWindow()
{
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestMainWindow::controlsAfterStartUp_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("Label1") << u"Label1"_s << u"Cerca un articolo per..."_s;
    QTest::newRow("Label2") << u"Label2"_s << u"Cerca un software Win per..."_s;
    QTest::newRow("Label3") << u"Label3"_s << u"Cerca un software Mac per..."_s;
    QTest::newRow("Label11") << u"Label11"_s << u"Cerca un groove per..."_s;
    QTest::newRow("Label7") << u"Label7"_s << u"ricorrenze:"_s;
    QTest::newRow("Label12") << u"Label12"_s << u"ricorrenze:"_s;
    for (const char* count : {"Label4", "Label5", "Label6", "Label10"})
        QTest::newRow(count) << QString::fromLatin1(count) << QString();
}

void TestMainWindow::controlsAfterStartUp()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QCOMPARE(control<QLabel>(name)->text(), text);
    QCOMPARE(m_window->windowTitle(), u"Ondiva Magazine Database Search Engine 1.0"_s);
    QCOMPARE(m_window->focusWidget(), control<QWidget>(u"InputText"_s));
}

void TestMainWindow::optionsAfterStartUp_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("tabStop");
    QTest::newRow("Option1_0") << u"Option1_0"_s << u"&Titolo"_s << true << false;
    QTest::newRow("Option1_1") << u"Option1_1"_s << u"&Autore"_s << false << false;
    QTest::newRow("Option1_2") << u"Option1_2"_s << u"&Rivista"_s << false << false;
    QTest::newRow("Option2_0") << u"Option2_0"_s << u"&Nome"_s << false << false;
    QTest::newRow("Option2_1") << u"Option2_1"_s << u"T&ipo"_s << false << false;
    QTest::newRow("Option2_2") << u"Option2_2"_s << u"Ri&vista"_s << false << false;
    QTest::newRow("Option3_0") << u"Option3_0"_s << u"N&ome"_s << false << true;
    QTest::newRow("Option3_1") << u"Option3_1"_s << u"Ti&po"_s << false << true;
    QTest::newRow("Option3_2") << u"Option3_2"_s << u"Rivi&sta"_s << false << true;
    QTest::newRow("Option4_0") << u"Option4_0"_s << u"No&me"_s << false << true;
    QTest::newRow("Option4_1") << u"Option4_1"_s << u"Rivista"_s << false << true;
}

void TestMainWindow::optionsAfterStartUp()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, selected);
    QFETCH(bool, tabStop);
    auto* option = control<QAbstractButton>(name);
    QCOMPARE(option->text(), caption);
    QCOMPARE(option->isChecked(), selected);
    QCOMPARE(bool(option->focusPolicy() & Qt::TabFocus), tabStop);
    QVERIFY(option->focusPolicy() & Qt::ClickFocus);
    // Every option sits directly on the client area, beside the others.
    QCOMPARE(option->parentWidget(), m_window->centralWidget());
}

void TestMainWindow::enterSearchesItsPane_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("term");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QStringList>("firstColumn");

    const QStringList rossini{u"Rossini e il campionatore"_s};
    QTest::newRow("articles, Return") << u"InputText"_s << u"ross"_s << int(Qt::Key_Return) << Qt::KeyboardModifiers()
                                      << u"List1"_s << u"Label4"_s << rossini;
    QTest::newRow("articles, keypad Enter")
        << u"InputText"_s << u" ross "_s << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier)
        << u"List1"_s << u"Label4"_s << rossini;
    QTest::newRow("windows, Shift+Return")
        << u"Text1"_s << u"share"_s << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ShiftModifier) << u"List2"_s
        << u"Label5"_s << QStringList{u"Shareware Tool"_s};
    QTest::newRow("mac, Ctrl+Return") << u"Text2"_s << u"MAC"_s << int(Qt::Key_Return)
                                      << Qt::KeyboardModifiers(Qt::ControlModifier) << u"List3"_s << u"Label6"_s
                                      << QStringList{u"Mac Tracker"_s, u"Audio Mac"_s};
    QTest::newRow("grooves, Alt+Return") << u"Text3"_s << u"o"_s << int(Qt::Key_Return)
                                         << Qt::KeyboardModifiers(Qt::AltModifier) << u"List4"_s << u"Label10"_s
                                         << QStringList{u"Bossa groove"_s, u"Città notturna"_s};
    QTest::newRow("grooves, Shift+keypad Enter") << u"Text3"_s << u"NOTT"_s << int(Qt::Key_Enter)
                                                 << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::KeypadModifier)
                                                 << u"List4"_s << u"Label10"_s << QStringList{u"Città notturna"_s};
    QTest::newRow("nothing found") << u"Text1"_s << u"nessuno"_s << int(Qt::Key_Return) << Qt::KeyboardModifiers()
                                   << u"List2"_s << u"Label5"_s << QStringList();
}

void TestMainWindow::enterSearchesItsPane()
{
    QFETCH(QString, box);
    QFETCH(QString, term);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, list);
    QFETCH(QString, count);
    QFETCH(QStringList, firstColumn);
    showWindow();

    auto* searchBox = control<QLineEdit>(box);
    searchBox->setFocus();
    QTest::keyClicks(searchBox, term);
    QTest::keyClick(searchBox, Qt::Key(key), modifiers);

    auto* results = control<ResultListWidget>(list);
    QCOMPARE(results->model().rowCount(), firstColumn.size());
    QStringList shown;
    for (int row = 0; row < results->model().rowCount(); ++row)
        shown << results->model().index(row, 0).data().toString();
    QCOMPARE(shown, firstColumn);
    QCOMPARE(control<QLabel>(count)->text(), QString::number(firstColumn.size()));
    QCOMPARE(searchBox->text(), term);
    QCOMPARE(QApplication::focusWidget(), searchBox);
    QCOMPARE(m_messages.shown.size(), 0);
    // The other panes are left alone.
    for (const char* other : {"List1", "List2", "List3", "List4"}) {
        if (list != QLatin1StringView(other))
            QCOMPARE(control<ResultListWidget>(QString::fromLatin1(other))->count(), 0);
    }
}

void TestMainWindow::autoRepeatSearchesAgain()
{
    showWindow();
    auto* box = control<QLineEdit>(u"Text2"_s);
    box->setFocus();
    QFile::remove(m_catalogue->path()); // each search then shows one notice
    QTest::keyPress(box, Qt::Key_Return);
    QTest::simulateEvent(box, true, Qt::Key_Return, {}, QString(), true);
    QTest::simulateEvent(box, true, Qt::Key_Return, {}, QString(), true);
    QTest::keyRelease(box, Qt::Key_Return);
    QCOMPARE(m_messages.shown.size(), 3);
}

void TestMainWindow::typingWithoutEnterChangesNothing()
{
    showWindow();
    auto* box = control<QLineEdit>(u"InputText"_s);
    QTest::keyClicks(box, u"riverbero"_s);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Space);
    QCOMPARE(box->text(), u"riverber "_s);
    QCOMPARE(control<ResultListWidget>(u"List1"_s)->count(), 0);
    QCOMPARE(control<QLabel>(u"Label4"_s)->text(), QString());
}

void TestMainWindow::optionsAreOneSetAcrossPanes()
{
    showWindow();
    // Alt+I is the access letter of "T&ipo": it selects the option and focuses it.
    QTest::keyClick(control<QLineEdit>(u"InputText"_s), Qt::Key_I, Qt::AltModifier);
    auto* type = control<QAbstractButton>(u"Option2_1"_s);
    QTRY_VERIFY(type->isChecked());
    QCOMPARE(QApplication::focusWidget(), type);
    QVERIFY(!control<QAbstractButton>(u"Option1_0"_s)->isChecked());
    // Enter on an option does nothing.
    QTest::keyClick(type, Qt::Key_Return);
    QCOMPARE(control<ResultListWidget>(u"List2"_s)->count(), 0);
    // Focus on an option leaves the tab stops as they were.
    QVERIFY(!(type->focusPolicy() & Qt::TabFocus));
    QVERIFY(control<QAbstractButton>(u"Option3_0"_s)->focusPolicy() & Qt::TabFocus);

    // No articles option is selected: titles are searched, not authors.
    auto* articles = control<QLineEdit>(u"InputText"_s);
    QTest::keyClicks(articles, u"ross"_s);
    QTest::keyClick(articles, Qt::Key_Return);
    QCOMPARE(control<ResultListWidget>(u"List1"_s)->model().index(0, 0).data().toString(),
             u"Rossini e il campionatore"_s);
    QCOMPARE(control<QLabel>(u"Label4"_s)->text(), u"1"_s);
    // The Windows pane searches its types.
    auto* windows = control<QLineEdit>(u"Text1"_s);
    QTest::keyClicks(windows, u"share"_s);
    QTest::keyClick(windows, Qt::Key_Return);
    QCOMPARE(control<ResultListWidget>(u"List2"_s)->model().index(0, 0).data().toString(), u"Tracker Pro"_s);
    QCOMPARE(control<QLabel>(u"Label5"_s)->text(), u"1"_s);

    // Clicking an option of another pane moves the selection there.
    QTest::mouseClick(control<QAbstractButton>(u"Option4_1"_s), Qt::LeftButton, {}, QPoint(6, 10));
    QVERIFY(control<QAbstractButton>(u"Option4_1"_s)->isChecked());
    QVERIFY(!type->isChecked());
}

void TestMainWindow::tabOrder()
{
    showWindow();
    QCOMPARE(controlOf(QApplication::focusWidget()), u"InputText"_s);
    const QStringList expected{u"Text1"_s,     u"Text2"_s,     u"Option3_0"_s, u"Option3_1"_s, u"Option3_2"_s,
                               u"Option4_1"_s, u"Option4_0"_s, u"Text3"_s,     u"List1"_s,     u"List2"_s,
                               u"List3"_s,     u"List4"_s,     u"InputText"_s};
    QStringList visited;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << controlOf(QApplication::focusWidget());
    }
    QCOMPARE(visited, expected);
}

void TestMainWindow::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("Label1") << u"Label1"_s << QRect(120, 120, 1815, 315);
    QTest::newRow("Option1_1") << u"Option1_1"_s << QRect(3000, 120, 975, 315);
    QTest::newRow("InputText") << u"InputText"_s << QRect(5100, 120, 3000, 315);
    QTest::newRow("Label4") << u"Label4"_s << QRect(9540, 120, 615, 315);
    QTest::newRow("List1") << u"List1"_s << QRect(120, 480, 10035, 1455);
    QTest::newRow("Option2_1") << u"Option2_1"_s << QRect(3180, 2220, 1095, 255);
    QTest::newRow("Label8") << u"Label8"_s << QRect(8640, 2160, 855, 315);
    QTest::newRow("Text2") << u"Text2"_s << QRect(5160, 4200, 3000, 315);
    QTest::newRow("Option3_2") << u"Option3_2"_s << QRect(4020, 4260, 1095, 315);
    QTest::newRow("List3") << u"List3"_s << QRect(120, 4620, 10035, 1455);
    QTest::newRow("Option4_1") << u"Option4_1"_s << QRect(3600, 6360, 1095, 315);
    QTest::newRow("Text3") << u"Text3"_s << QRect(5160, 6300, 3000, 315);
    QTest::newRow("Label10") << u"Label10"_s << QRect(9540, 6300, 615, 315);
    QTest::newRow("List4") << u"List4"_s << QRect(120, 6720, 10035, 1455);
    QTest::newRow("Line4") << u"Line4"_s << QRect(120, 0, 10020, 45);
    QTest::newRow("Line3") << u"Line3"_s << QRect(120, 6180, 10020, 45);
}

void TestMainWindow::geometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    showWindow();
    const QRect expected(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    auto* widget = control<QWidget>(name);
    QCOMPARE(widget->parentWidget(), m_window->centralWidget());
    QCOMPARE(widget->geometry(), expected);
    QCOMPARE(m_window->centralWidget()->size(), QSize(683, 553));
    // A larger window leaves everything where it was.
    m_window->resize(m_window->size() + QSize(200, 100));
    QTRY_COMPARE(m_window->centralWidget()->size(), QSize(883, 653));
    QCOMPARE(widget->geometry(), expected);
}

void TestMainWindow::listTitlesAndHeaders_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("headers");
    QTest::newRow("List1") << u"List1"_s << u"Risultati della ricerca \"Articoli\""_s
                           << QStringList{u"Articolo"_s, u"Autore"_s, u"Rivista"_s};
    QTest::newRow("List2") << u"List2"_s << u"Risultati della ricerca \"Software Win\""_s
                           << QStringList{u"Nome del software"_s, u"Tipo"_s, u"Rivista"_s};
    QTest::newRow("List3") << u"List3"_s << u"Risultati della ricerca \"Software Mac\""_s
                           << QStringList{u"Nome del software"_s, u"Tipo"_s, u"Rivista"_s};
    QTest::newRow("List4") << u"List4"_s << u"Risultati della ricerca \"Grooves\""_s
                           << QStringList{u"Titolo"_s, u"Rivista"_s, u"Rivista"_s};
}

void TestMainWindow::listTitlesAndHeaders()
{
    QFETCH(QString, list);
    QFETCH(QString, title);
    QFETCH(QStringList, headers);
    auto* results = control<ResultListWidget>(list);
    QCOMPARE(results->title(), title);
    QStringList shown;
    for (int section = 0; section < results->model().columnCount(); ++section)
        shown << results->model().headerData(section, Qt::Horizontal).toString();
    QCOMPARE(shown, headers);
}

void TestMainWindow::fontsAreTheSystemsOwn_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("weight");
    QTest::newRow("InputText") << u"InputText"_s << int(QFont::Bold);
    QTest::newRow("Text3") << u"Text3"_s << int(QFont::Bold);
    QTest::newRow("List2") << u"List2"_s << int(QFont::Normal);
    QTest::newRow("Label1") << u"Label1"_s << int(QFont::Normal);
}

// The face asked for is one the system has, never a name it silently replaces:
// MS Sans Serif where there is one (Windows, Wine), DejaVu Sans elsewhere.
void TestMainWindow::fontsAreTheSystemsOwn()
{
    QFETCH(QString, name);
    QFETCH(int, weight);
    const QFont font = control<QWidget>(name)->font();
    QVERIFY2(QStringList({u"Microsoft Sans Serif"_s, u"MS Sans Serif"_s, u"DejaVu Sans"_s}).contains(font.family()),
             qPrintable(font.family()));
    QCOMPARE(QFontInfo(font).family(), font.family());
    QCOMPARE(font.pointSizeF(), 8.25);
    QCOMPARE(int(font.weight()), weight);
}

void TestMainWindow::groovesRowLeavesThirdColumnEmpty()
{
    showWindow();
    auto* box = control<QLineEdit>(u"Text3"_s);
    QTest::keyClicks(box, u"bossa"_s);
    QTest::keyClick(box, Qt::Key_Return);
    ResultTableModel& model = control<ResultListWidget>(u"List4"_s)->model();
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 0).data().toString(), u"Bossa groove"_s);
    QCOMPARE(model.index(0, 1).data().toString(), u"5"_s);
    QCOMPARE(model.index(0, 2).data().toString(), QString());
}

void TestMainWindow::failingSearchShowsNotice()
{
    showWindow();
    auto* box = control<QLineEdit>(u"InputText"_s);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(control<QLabel>(u"Label4"_s)->text(), u"3"_s);

    QVERIFY(QFile::remove(m_catalogue->path()));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(m_messages.shown.size(), 1);
    QCOMPARE(m_messages.shown[0].title, u"Ondiva Magazine Database Search Engine 1.0"_s);
    QCOMPARE(m_messages.shown[0].style, MessageBox::Ok | MessageBox::IconCritical);
    QCOMPARE(control<ResultListWidget>(u"List1"_s)->model().rowCount(), 0);
    QCOMPARE(control<QLabel>(u"Label4"_s)->text(), QString());
}

void TestMainWindow::menuAndExit()
{
    showWindow();
    auto* file = control<QMenu>(u"MenuFile"_s);
    QCOMPARE(file->title(), u"&File"_s);
    const QList<QAction*> items = file->actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0]->objectName(), u"Update"_s);
    QCOMPARE(items[0]->text(), u"&Update database"_s);
    QCOMPARE(items[1]->objectName(), u"OpenEarlier"_s);
    QCOMPARE(items[1]->text(), u"&Open earlier catalogue…"_s);
    QCOMPARE(items[2]->objectName(), u"exit"_s);
    QCOMPARE(items[2]->text(), u"&Exit"_s);
    for (const QAction* item : items)
        QVERIFY(item->shortcut().isEmpty());

    items[0]->trigger();
    items[1]->trigger();
    QVERIFY(m_window->isVisible());
    items[2]->trigger();
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_messages.shown.size(), 0);
}

void TestMainWindow::servicesForUpdate()
{
    // The update asks the dialog the window was given; cancelled, it stops there.
    const int shownBefore = m_fileDialog.timesShown;
    m_window->findChild<QAction*>(u"Update"_s)->trigger();
    QCOMPARE(m_fileDialog.timesShown, shownBefore + 1);
    QCOMPARE(m_messages.shown.size(), 0);
}

void TestMainWindow::updateFromTheMenu()
{
    // A search shown before the update stays as it was: the import leaves the panes alone.
    showWindow();
    auto* articles = control<QLineEdit>(u"InputText"_s);
    QTest::keyClicks(articles, u"riverbero"_s);
    QTest::keyClick(articles, Qt::Key_Return);
    const QString countBefore = control<QLabel>(u"Label4"_s)->text();

    m_fileDialog.chosen = QStringLiteral(ONDIVA_SOURCE_DIR "/examples/aggiornamento-n62.txt");
    m_messages.answers = {MessageBox::AnswerYes};
    control<QAction>(u"Update"_s)->trigger();

    QCOMPARE(m_fileDialog.filter, u"*.txt"_s);
    QCOMPARE(m_messages.shown.size(), 2);
    QCOMPARE(m_messages.shown[0].text, u"Sei sicuro di voler aggiornare il database di Ondiva Magazine?"_s);
    QCOMPARE(m_messages.shown[1].text, u"Il database di Ondiva Magazine è stato aggiornato con successo!"_s);
    QCOMPARE(m_messages.shown[1].title, u"Ondiva Magazine Database Update"_s);
    QCOMPARE(control<QLabel>(u"Label4"_s)->text(), countBefore);

    // The new rows, written in Windows-1252, are found with their accents and apostrophes.
    articles->setText(u"L’ETÀ D’ORO"_s); // key clicks type ASCII only
    QTest::keyClick(articles, Qt::Key_Return);
    auto* list = control<ResultListWidget>(u"List1"_s);
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->model().index(0, 0).data().toString(), u"L’età d’oro dei sintetizzatori"_s);
    QCOMPARE(list->model().index(0, 1).data().toString(), u"Chiara Ricci"_s);
    QCOMPARE(m_messages.shown.size(), 2);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
