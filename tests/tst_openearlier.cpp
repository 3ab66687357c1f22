// File ▸ Open earlier catalogue… in the real window, with the real Access
// reader and progress: a text file is refused and changes nothing; an earlier
// version's Access catalogue, read-only in a folder with an accented name,
// replaces a catalogue with rows of the user's own, is converted, and the
// searches answer from it.

#include "TestCatalogue.h"
#include "catalogue/CatalogueBringIn.h"
#include "fakes/FakeCatalogueFiles.h"
#include "fakes/FakeControls.h"
#include "shell/MainWindow.h"
#include "shell/ResultListWidget.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace ondiva;
using ondiva::testing::TestCatalogue;

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestOpenEarlier : public QObject {
    Q_OBJECT

private slots:
    void refusesTextBringsAccessAndSearchesIt();
};

void TestOpenEarlier::refusesTextBringsAccessAndSearchesIt()
{
    // The catalogue in use, with rows of the user's own.
    TestCatalogue inUse;
    inUse.insert("GROOVES", {u"GROOVE"_s, u"ONDIVA"_s}, {{u"Il mio groove"_s, u"99"_s}});
    const QString catalogue = inUse.path();
    const QByteArray previous = contents(catalogue);

    // The earlier version's catalogue: Access 2000, read-only, in a folder with an accented name.
    TestCatalogue earlier;
    earlier.insert("ARTICOLI", {u"ARTICOLO"_s, u"AUTORE"_s, u"ONDIVA"_s},
                   {{u"Caffè e campionatori"_s, u"Niccolò Bianchi"_s, u"7"_s},
                    {u"Il caffè del sintetizzatore"_s, u"Anna Verdi"_s, u"8"_s}});
    earlier.insert("GROOVES", {u"GROOVE"_s, u"ONDIVA"_s}, {{u"Caffè latino"_s, u"7"_s}});
    earlier.insert("AGGIORNAMENTI", {u"AGGIORNATOAL"_s}, {{u"n.8"_s}});
    const QString folder = QDir(inUse.dir()).filePath(u"Documenti/vecchio Ondiva di Niccolò"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString source = folder + u"/qx.mdb"_s;
    QProcess make;
    make.start(QStringLiteral(ONDIVA_MAKEACCESS), {u"jet4"_s, earlier.path(), source});
    QVERIFY(make.waitForFinished(60000) && make.exitCode() == 0);
    QVERIFY(QFile::setPermissions(source, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    const QByteArray sourceBytes = contents(source);
    const QString letter = folder + u"/lettera.mdb"_s;
    QFile text(letter);
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("Caro Niccolò, ecco il catalogo.\n") > 0);
    text.close();

    fakes::FakeCatalogueFiles files;
    fakes::FakeMessageBox messages;
    fakes::FakeFileDialog dialog;
    shell::MainWindow window(catalogue, files, messages, &dialog);
    window.setEarlierCatalogue(catalogue::DemoCatalogue::of(QStringLiteral(ONDIVA_DEMO_CATALOGUE)),
                               {QStringLiteral(ONDIVA_ACCESS_READER)});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* command = window.findChild<QAction*>(u"OpenEarlier"_s);
    QVERIFY(command);

    dialog.chosen = letter;
    command->trigger();
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY2(messages.shown[0].text.contains(u"non è un catalogo"_s), qPrintable(messages.shown[0].text));
    QCOMPARE(contents(catalogue), previous);
    QCOMPARE(QDir(inUse.dir()).entryList(QDir::Files), QStringList(u"qx.mdb"_s));

    // Sì to bringing it in, Sì to converting it.
    messages.shown.clear();
    messages.answers = {MessageBox::AnswerYes, MessageBox::AnswerYes};
    dialog.chosen = source;
    command->trigger();
    QCOMPARE(messages.shown.size(), 3);
    QVERIFY2(messages.shown[0].text.contains(u"«qx-precedente.mdb»"_s), qPrintable(messages.shown[0].text));
    QVERIFY2(messages.shown[1].text.contains(u"Convertirlo ora nel nuovo formato?"_s),
             qPrintable(messages.shown[1].text));
    QVERIFY2(messages.shown[2].text.startsWith(u"Il catalogo è stato convertito"_s),
             qPrintable(messages.shown[2].text));

    QCOMPARE(contents(source), sourceBytes);
    QCOMPARE(contents(QDir(inUse.dir()).filePath(u"qx-precedente.mdb"_s)), previous);
    QCOMPARE(contents(QDir(inUse.dir()).filePath(u"qx-originale-access.mdb"_s)), sourceBytes);
    for (const char* table : {"ARTICOLI", "SOFTWARE_WIN", "SOFTWARE_MAC", "GROOVES", "AGGIORNAMENTI"}) {
        const QString name = QLatin1StringView(table);
        QCOMPARE(inUse.rowCount(name), earlier.rowCount(name));
    }

    // The searches answer from the brought catalogue.
    auto* grooves = window.findChild<QLineEdit*>(u"Text3"_s);
    grooves->setText(u"groove"_s);
    QTest::keyClick(grooves, Qt::Key_Return);
    QCOMPARE(window.findChild<QLabel*>(u"Label10"_s)->text(), u"0"_s);
    auto* articles = window.findChild<QLineEdit*>(u"InputText"_s);
    articles->setText(u"CAFFÈ"_s);
    QTest::keyClick(articles, Qt::Key_Return);
    QCOMPARE(window.findChild<shell::ResultListWidget*>(u"List1"_s)->count(), 2);
}

QTEST_MAIN(TestOpenEarlier)
#include "tst_openearlier.moc"
