// Hostile update files, end to end through the real file reader: every value
// arrives byte for byte, or the file is refused with its notice and the
// catalogue is left exactly as it was.

#include "TestCatalogue.h"
#include "fakes/FakeCatalogueFiles.h"
#include "fakes/FakeControls.h"
#include "platform/controls/QtInputFile.h"
#include "update/UpdateImport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace ondiva;
using namespace Qt::Literals::StringLiterals;
using ondiva::testing::TestCatalogue;

namespace {

const QString kDone = u"Il database di Ondiva Magazine è stato aggiornato con successo!"_s;
const QString kUnchanged = u"Il database di Ondiva Magazine non è stato modificato."_s;
const QString kInvalid = u"Si è verificato un errore nel database di Ondiva Magazine!"_s;
const QStringList kTables{u"ARTICOLI"_s, u"SOFTWARE_WIN"_s, u"SOFTWARE_MAC"_s, u"GROOVES"_s, u"AGGIORNAMENTI"_s};

QByteArray sections(const QByteArray& articles, const QByteArray& grooves = {})
{
    return "n.99\r\nARTICOLI(BOF)\r\n" + articles +
           "ARTICOLI(EOF)\r\nW\r\nSOFTWARE_WIN(EOF)\r\nM\r\n"
           "SOFTWARE_MAC(EOF)\r\nG\r\n" +
           grooves + "GROOVES(EOF)\r\n";
}

// The catalogue's whole content, to prove a refused file changed nothing.
QByteArray fingerprint(TestCatalogue& catalogue)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& table : kTables)
        hash.addData(catalogue.dump(table, {u"*"_s}).join(u'\n').toUtf8());
    return hash.result();
}

struct Import {
    fakes::FakeMessageBox messages;
    QString notice;
    void run(const QString& catalogue, const QString& file)
    {
        fakes::FakeFileDialog dialog;
        dialog.chosen = file;
        messages.answers = {MessageBox::AnswerYes};
        QtInputFile input;
        fakes::FakeCatalogueFiles files;
        update::UpdateImport(catalogue, files, dialog, messages, input).run();
        notice = messages.shown.isEmpty() ? QString() : messages.shown.last().text;
    }
};

} // namespace

class TestHostileImport : public QObject {
    Q_OBJECT

private slots:
    void valuesArriveByteExact_data();
    void valuesArriveByteExact();
    void brokenFilesChangeNothing_data();
    void brokenFilesChangeNothing();
};

void TestHostileImport::valuesArriveByteExact_data()
{
    QTest::addColumn<QByteArray>("field"); // as written in the file
    QTest::addColumn<QString>("stored");   // as the catalogue must hold it
    QTest::newRow("apostrophes") << QByteArray("L'arte dell''eco'") << u"L'arte dell''eco'"_s;
    QTest::newRow("quotes and backslash") << QByteArray("\"a\" \\n \\\\") << u"\"a\" \\n \\\\"_s;
    QTest::newRow("statement pieces") << QByteArray("x'); drop table ARTICOLI; --")
                                      << u"x'); drop table ARTICOLI; --"_s;
    QTest::newRow("comment") << QByteArray("/* nulla */ -- niente") << u"/* nulla */ -- niente"_s;
    QTest::newRow("like wildcards") << QByteArray("100% _tutto_") << u"100% _tutto_"_s;
    QTest::newRow("spaces kept") << QByteArray("  margini  ") << u"  margini  "_s;
    QTest::newRow("utf-8 letters") << QByteArray("Città Σ Ж ☃") << u"Città Σ Ж ☃"_s;
    QTest::newRow("not utf-8: windows-1252")
        << QByteArray("Citt\xe0 \x93virgolette\x94 \x80") << u"Città “virgolette” €"_s;
    QTest::newRow("100,000 characters") << QByteArray(100000, 'x') << QString(100000, u'x');
}

void TestHostileImport::valuesArriveByteExact()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, stored);
    TestCatalogue catalogue;
    const QString file = QDir(catalogue.dir()).filePath(u"aggiornamento.txt"_s);
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(sections(field + "\tautore\t1\r\n", field + "\t2\r\n"));
    out.close();

    Import import;
    import.run(catalogue.path(), file);
    QCOMPARE(import.notice, kDone);
    QCOMPARE(catalogue.dump(u"ARTICOLI"_s, {u"ARTICOLO"_s, u"AUTORE"_s, u"ONDIVA"_s}),
             QStringList(stored + u"|autore|1"_s));
    QCOMPARE(catalogue.dump(u"GROOVES"_s, {u"GROOVE"_s, u"ONDIVA"_s}), QStringList(stored + u"|2"_s));
    QCOMPARE(catalogue.dump(u"AGGIORNAMENTI"_s, {u"AGGIORNATOAL"_s}), QStringList(u"n.99"_s));
    QCOMPARE(QDir(catalogue.dir()).entryList(QDir::Files), QStringList({u"aggiornamento.txt"_s, u"qx.mdb"_s}));
}

void TestHostileImport::brokenFilesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("notice"); // a part of the notice
    QTest::newRow("empty file") << QByteArray() << kInvalid;
    QTest::newRow("binary, header fails first") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << kInvalid;
    QTest::newRow("binary after the header")
        << QByteArray("n.9\nARTICOLI(BOF)\n\x89PNG\0\0\x1a", 23) << u"carattere nullo"_s;
    QTest::newRow("NUL in a value") << sections(QByteArray("a\0b\tc\td\r\n", 9)) << u"carattere nullo"_s;
    QTest::newRow("50 MB single line") << QByteArray(50 << 20, 'A') << u"troppo lunga"_s;
    QTest::newRow("millions of empty lines") << QByteArray(3'000'000, '\n') << kInvalid;
    QTest::newRow("empty lines as records")
        << "n.99\r\nARTICOLI(BOF)\r\n" + QByteArray(2'000'000, '\n') << u"la riga 3 è vuota"_s;
    QTest::newRow("missing articles end")
        << QByteArray("n.99\r\nARTICOLI(BOF)\r\na\tb\tc\r\n") << u"prima della riga «ARTICOLI(EOF)»"_s;
    QTest::newRow("missing grooves end") << sections("a\tb\tc\r\n").replace("GROOVES(EOF)\r\n", "")
                                         << u"prima della riga «GROOVES(EOF)»"_s;
    QTest::newRow("header in lower case")
        << sections("a\tb\tc\r\n").replace("ARTICOLI(BOF)", "articoli(bof)") << kInvalid;
    QTest::newRow("end marker in lower case")
        << sections("a\tb\tc\r\n").replace("ARTICOLI(EOF)", "articoli(eof)") << u"c'è un solo campo"_s;
    QTest::newRow("end marker with a space")
        << sections("a\tb\tc\r\n").replace("GROOVES(EOF)", "GROOVES(EOF) ") << u"c'è un solo campo"_s;
}

void TestHostileImport::brokenFilesChangeNothing()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, notice);
    TestCatalogue catalogue;
    catalogue.insert("ARTICOLI", {u"ARTICOLO"_s}, {{u"Già qui"_s}});
    catalogue.insert("AGGIORNAMENTI", {u"AGGIORNATOAL"_s}, {{u"n.1"_s}});
    const QByteArray before = fingerprint(catalogue);
    const QString file = QDir(catalogue.dir()).filePath(u"aggiornamento.txt"_s);
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(contents);
    out.close();

    Import import;
    import.run(catalogue.path(), file);
    QVERIFY2(import.notice.contains(notice), qPrintable(import.notice));
    if (notice != kInvalid)
        QVERIFY2(import.notice.endsWith(kUnchanged), qPrintable(import.notice));
    QCOMPARE(fingerprint(catalogue), before);
    QCOMPARE(QDir(catalogue.dir()).entryList(QDir::Files), QStringList({u"aggiornamento.txt"_s, u"qx.mdb"_s}));
}

QTEST_GUILESS_MAIN(TestHostileImport)
#include "tst_hostileimport.moc"
