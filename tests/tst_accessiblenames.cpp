// What a screen reader hears, read through Qt's accessibility interfaces:
// every control the user reaches has a name of its own, and the names follow
// the chosen option and the rows found.

#include "RunCommands.h"
#include "TestCatalogue.h"
#include "fakes/FakeCatalogueFiles.h"
#include "fakes/FakeControls.h"
#include "shell/MainWindow.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace ondiva;
using ondiva::shell::MainWindow;
using ondiva::testing::TestCatalogue;

namespace {

std::optional<QString> v(const char* text) { return QString::fromUtf8(text); }

QString spokenName(QObject* object)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

} // namespace

class TestAccessibleNames : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyControlHasItsOwnName();
    void searchBoxSaysTheChosenField_data();
    void searchBoxSaysTheChosenField();
    void countSaysTheRowsFound_data();
    void countSaysTheRowsFound();

private:
    template <typename T>
    T* control(const QString& name)
    {
        return testing::control<T>(*m_window, name);
    }

    std::unique_ptr<TestCatalogue> m_catalogue;
    fakes::FakeMessageBox m_messages;
    fakes::FakeFileDialog m_fileDialog;
    fakes::FakeCatalogueFiles m_files;
    std::unique_ptr<MainWindow> m_window;
};

void TestAccessibleNames::init()
{
    m_catalogue = std::make_unique<TestCatalogue>();
    m_catalogue->insert("ARTICOLI", {u"ARTICOLO"_s, u"AUTORE"_s, u"ONDIVA"_s},
                        {{v("Il riverbero"), v("Marco Rossi"), v("1")}, {v("Rossini"), v("Anna Verdi"), v("12")}});
    m_catalogue->insert("GROOVES", {u"GROOVE"_s, u"ONDIVA"_s}, {{v("Bossa groove"), v("5")}});
    m_window = std::make_unique<MainWindow>(m_catalogue->path(), m_files, m_messages, &m_fileDialog);
}

void TestAccessibleNames::cleanup()
{
    m_window.reset();
    m_catalogue.reset();
}

void TestAccessibleNames::everyControlHasItsOwnName()
{
    // Everything that takes focus, and the counts, which the user reads.
    QList<QWidget*> controls;
    for (QWidget* widget : m_window->findChildren<QWidget*>()) {
        if (widget->focusPolicy() != Qt::NoFocus && widget->isVisibleTo(m_window.get()))
            controls << widget;
    }
    for (const char* count : {"Label4", "Label5", "Label6", "Label10"})
        controls << control<QLabel>(QString::fromLatin1(count));
    QCOMPARE(controls.size(), 11 + 4 + 4 + 4); // options, search boxes, lists, counts

    QHash<QString, QString> owner; // spoken name -> control
    for (QWidget* widget : std::as_const(controls)) {
        const QString id = widget->objectName() + u'/' + widget->parentWidget()->objectName();
        const QString name = spokenName(widget);
        QVERIFY2(!name.isEmpty(), qPrintable(id));
        QVERIFY2(!owner.contains(name), qPrintable(u"%1 and %2 are both \"%3\""_s.arg(owner[name], id, name)));
        owner.insert(name, id);
    }
}

void TestAccessibleNames::searchBoxSaysTheChosenField_data()
{
    QTest::addColumn<QString>("option"); // the option chosen, none for start-up
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("name");
    QTest::newRow("start-up") << QString() << u"InputText"_s << u"Cerca un articolo per titolo"_s;
    QTest::newRow("none chosen in the pane") << QString() << u"Text1"_s << u"Cerca un software Win per nome"_s;
    QTest::newRow("author") << u"Option1_1"_s << u"InputText"_s << u"Cerca un articolo per autore"_s;
    QTest::newRow("chosen in another pane") << u"Option2_1"_s << u"InputText"_s << u"Cerca un articolo per titolo"_s;
    QTest::newRow("type") << u"Option2_1"_s << u"Text1"_s << u"Cerca un software Win per tipo"_s;
    QTest::newRow("mac issue") << u"Option3_2"_s << u"Text2"_s << u"Cerca un software Mac per rivista"_s;
    QTest::newRow("grooves issue") << u"Option4_1"_s << u"Text3"_s << u"Cerca un groove per rivista"_s;
}

void TestAccessibleNames::searchBoxSaysTheChosenField()
{
    QFETCH(QString, option);
    QFETCH(QString, box);
    QFETCH(QString, name);
    if (!option.isEmpty())
        control<QAbstractButton>(option)->click();
    QCOMPARE(spokenName(control<QLineEdit>(box)), name);
}

void TestAccessibleNames::countSaysTheRowsFound_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("term"); // none: no search
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("name");
    QTest::newRow("before a search") << u"InputText"_s << QString() << u"Label4"_s << u"Articoli: ricorrenze"_s;
    QTest::newRow("articles") << u"InputText"_s << u"r"_s << u"Label4"_s << u"Articoli: 2 ricorrenze"_s;
    QTest::newRow("nothing found") << u"Text1"_s << u"x"_s << u"Label5"_s << u"Software Win: 0 ricorrenze"_s;
    QTest::newRow("grooves") << u"Text3"_s << u"bossa"_s << u"Label10"_s << u"Grooves: 1 ricorrenze"_s;
}

void TestAccessibleNames::countSaysTheRowsFound()
{
    QFETCH(QString, box);
    QFETCH(QString, term);
    QFETCH(QString, count);
    QFETCH(QString, name);
    auto* label = control<QLabel>(count);
    QCOMPARE(spokenName(label), name.section(u':', 0, 0) + u": ricorrenze"_s);
    if (!term.isEmpty()) {
        auto* searchBox = control<QLineEdit>(box);
        QTest::keyClicks(searchBox, term);
        QTest::keyClick(searchBox, Qt::Key_Return);
    }
    QCOMPARE(spokenName(label), name);
}

QTEST_MAIN(TestAccessibleNames)
#include "tst_accessiblenames.moc"
