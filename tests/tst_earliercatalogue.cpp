// File ▸ Open earlier catalogue…, driven as a user would through the dialog and
// the questions: what it refuses leaves every file as it was; what it brings
// ends up byte for byte under the catalogue's name, the catalogue in use kept
// beside it, the source untouched.

#include "TestCatalogue.h"
#include "catalogue/CatalogueBringIn.h"
#include "catalogue/EarlierCatalogueCommand.h"
#include "fakes/FakeCatalogueFiles.h"
#include "fakes/FakeControls.h"
#include "platform/reader/AccessChildReader.h"
#include "platform/controls/ConversionProgress.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace ondiva;
using namespace ondiva::catalogue;
using namespace Qt::Literals::StringLiterals;
using ondiva::fakes::FakeFileDialog;
using ondiva::fakes::FakeMessageBox;

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Every file of a folder with its bytes.
std::map<QString, QByteArray> folderState(const QString& dir)
{
    std::map<QString, QByteArray> state;
    for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::Hidden))
        state[name] = contents(QDir(dir).filePath(name));
    return state;
}

// Runs the work on the caller's thread; stops it once `stopAt` bytes are reported.
struct Progress : ConversionProgress {
    qint64 stopAt = -1;
    void runWhileShown(const std::function<void()>& work) override { work(); }
    void start(qint64) override {}
    bool advance(qint64 done) override { return stopAt < 0 || done < stopAt; }
};

const QString kAccess97 = QStringLiteral(ONDIVA_SOURCE_DIR "/tests/data/access/testIndexCodesV1997.mdb");
const QString kAccess2000 = QStringLiteral(ONDIVA_SOURCE_DIR "/tests/data/access/testUnicodeCompV2003.mdb");

} // namespace

class TestEarlierCatalogue : public QObject {
    Q_OBJECT

private slots:
    void init();
    void refused_data();
    void refused();
    void brought_data();
    void brought();
    void declinedOrCancelled_data();
    void declinedOrCancelled();

private:
    // The command as the window runs it, on the catalogue in m_program.
    void runCommand(const QString& chosen, QList<int> answers, qint64 stopAt = -1);
    QString sourceFolder() const { return m_dir.filePath(u"Documenti/vecchio Ondiva di Niccolò"_s); }

    QTemporaryDir m_dir;
    QString m_program;
    QString m_catalogue;
    FakeMessageBox m_messages;
    FakeFileDialog m_dialog;
};

void TestEarlierCatalogue::init()
{
    m_program = m_dir.filePath(u"programma"_s);
    QDir(m_program).removeRecursively();
    QDir(sourceFolder()).removeRecursively();
    QVERIFY(QDir().mkpath(m_program) && QDir().mkpath(sourceFolder()));
    m_catalogue = QDir(m_program).filePath(u"qx.mdb"_s);
    // A catalogue with rows of the user's own.
    testing::createCatalogue(m_catalogue);
    sqlite::Database db;
    QCOMPARE(db.open(m_catalogue, true), SQLITE_OK);
    QCOMPARE(db.exec("insert into ARTICOLI (ARTICOLO, AUTORE, ONDIVA) values ('Il mio articolo', 'Io', '99')"),
             SQLITE_OK);
    m_messages = {};
    m_dialog = {};
}

void TestEarlierCatalogue::runCommand(const QString& chosen, QList<int> answers, qint64 stopAt)
{
    fakes::FakeCatalogueFiles files;
    Progress progress;
    progress.stopAt = stopAt;
    AccessChildReader reader(QStringLiteral(ONDIVA_ACCESS_READER));
    m_dialog.chosen = chosen;
    m_messages.answers = std::move(answers);
    EarlierCatalogueCommand(m_catalogue, DemoCatalogue::of(QStringLiteral(ONDIVA_DEMO_CATALOGUE)), u"Ondiva"_s,
                            {m_dialog, m_messages, progress, files, reader})
        .run();
    QCOMPARE(m_dialog.filter, u"Catalogo (qx.mdb);;File di Access (*.mdb);;Tutti i file (*)"_s);
}

void TestEarlierCatalogue::refused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // empty: a copy of the catalogue in use, spoilt below
    QTest::addColumn<QString>("said");

    QByteArray ace(0x20, '\0');
    ace.replace(0, 20, QByteArray("\x00\x01\x00\x00Standard ACE DB\x00", 20));
    ace[0x14] = 2;
    QTest::newRow("text named lettera.mdb")
        << u"lettera.mdb"_s << QByteArray("Caro Niccolò,\r\nti mando il catalogo.\r\n")
        << u"non è né un file di Microsoft Access né un catalogo di questo programma"_s;
    QTest::newRow("Access 2007") << u"qx.accdb"_s << ace << u"salvarlo nel formato di Access 2002-2003"_s;
    QTest::newRow("SQLite without the tables") << u"altro.mdb"_s << QByteArray("tables") << u"manca la tabella"_s;
    QTest::newRow("damaged catalogue") << u"qx.mdb"_s << QByteArray("damaged") << u"danneggiato"_s;
    QTest::newRow("unfinished update beside it") << u"qx.mdb"_s << QByteArray("journal") << u"si è interrotto"_s;
    QTest::newRow("the catalogue in use") << u"../../programma/qx.mdb"_s << QByteArray("current")
                                          << u"è il catalogo già in uso"_s;
    QTest::newRow("no such file") << u"sparito.mdb"_s << QByteArray("missing") << u"non esiste"_s;
}

void TestEarlierCatalogue::refused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, said);
    const QString source = QDir(sourceFolder()).filePath(name);
    if (bytes == "tables") {
        sqlite::Database db;
        write(source, {});
        QCOMPARE(db.open(source, true), SQLITE_OK);
        QCOMPARE(db.exec("create table APPUNTI (TESTO text)"), SQLITE_OK);
    } else if (bytes == "damaged" || bytes == "journal") {
        QByteArray copy = contents(m_catalogue);
        if (bytes == "damaged")
            copy.replace(100, 3000, QByteArray(3000, '\xff')); // the page that lists the tables
        else
            write(source + u"-journal"_s, QByteArray(512, '\x5a'));
        write(source, copy);
    } else if (bytes != "current" && bytes != "missing") {
        write(source, bytes);
    }
    const auto programBefore = folderState(m_program);
    const auto sourcesBefore = folderState(sourceFolder());

    runCommand(source, {});

    QCOMPARE(m_messages.shown.size(), 1);
    QVERIFY2(m_messages.shown[0].text.contains(said), qPrintable(m_messages.shown[0].text));
    QVERIFY(m_messages.shown[0].text.contains(u"Il catalogo in uso non è stato modificato."_s) || bytes == "current");
    QVERIFY(folderState(m_program) == programBefore);
    QVERIFY(folderState(sourceFolder()) == sourcesBefore);
}

void TestEarlierCatalogue::brought_data()
{
    QTest::addColumn<QString>("source"); // a fixture, or "catalogue": a catalogue of this program
    QTest::addColumn<QString>("current"); // own, own twice kept before, demo, none
    QTest::addColumn<QString>("kept");    // the name the catalogue in use is kept under, or empty
    QTest::addColumn<QString>("confirmation");

    QTest::newRow("Access 97 over the user's own")
        << kAccess97 << u"own"_s << u"qx-precedente.mdb"_s << u"conservato, senza modifiche"_s;
    QTest::newRow("Access 2000 over the demo") << kAccess2000 << u"demo"_s << QString() << u"catalogo dimostrativo"_s;
    QTest::newRow("a catalogue where there was none")
        << u"catalogue"_s << u"none"_s << QString() << u"sarà copiato nella cartella del programma"_s;
    QTest::newRow("a catalogue over the user's own, kept twice before")
        << u"catalogue"_s << u"kept twice"_s << u"qx-precedente-3.mdb"_s << u"«qx-precedente-3.mdb»"_s;
}

void TestEarlierCatalogue::brought()
{
    QFETCH(QString, source);
    QFETCH(QString, current);
    QFETCH(QString, kept);
    QFETCH(QString, confirmation);

    // The source lies read-only in a folder with an accented name.
    const QString chosen = QDir(sourceFolder()).filePath(u"qx.mdb"_s);
    if (source == u"catalogue"_s) {
        testing::createCatalogue(chosen);
        sqlite::Database db;
        QCOMPARE(db.open(chosen, true), SQLITE_OK);
        QCOMPARE(db.exec("insert into GROOVES (GROOVE, ONDIVA) values ('Caffè latino', '12')"), SQLITE_OK);
    } else {
        QVERIFY(QFile::copy(source, chosen));
    }
    QVERIFY(QFile::setPermissions(chosen, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    const QByteArray sourceBytes = contents(chosen);
    if (current == u"demo"_s) {
        QFile::remove(m_catalogue);
        QVERIFY(QFile::copy(QStringLiteral(ONDIVA_DEMO_CATALOGUE), m_catalogue));
    } else if (current == u"none"_s) {
        QVERIFY(QFile::remove(m_catalogue));
    } else if (current == u"kept twice"_s) {
        write(QDir(m_program).filePath(u"qx-precedente.mdb"_s), "first");
        write(QDir(m_program).filePath(u"qx-precedente-2.mdb"_s), "second");
    }
    const auto before = folderState(m_program);

    // Sì to the confirmation; to the question about converting an Access file, No.
    runCommand(chosen, {MessageBox::AnswerYes, MessageBox::AnswerNo});

    QVERIFY(!m_messages.shown.isEmpty());
    QVERIFY2(m_messages.shown[0].text.contains(confirmation), qPrintable(m_messages.shown[0].text));
    QCOMPARE(m_messages.shown[0].style, MessageBox::YesNo | MessageBox::IconQuestion | MessageBox::DefaultButton2);
    QCOMPARE(m_messages.shown.size(), 2);
    if (source == u"catalogue"_s)
        QVERIFY2(m_messages.shown[1].text.contains(u"è ora il catalogo in uso"_s), qPrintable(m_messages.shown[1].text));
    else // an Access file goes straight on to the question asked at start-up
        QVERIFY2(m_messages.shown[1].text.contains(u"Convertirlo ora nel nuovo formato?"_s),
                 qPrintable(m_messages.shown[1].text));

    QCOMPARE(contents(m_catalogue), sourceBytes);
    QCOMPARE(contents(chosen), sourceBytes);
    auto expected = before;
    expected[u"qx.mdb"_s] = sourceBytes;
    if (!kept.isEmpty())
        expected[kept] = before.at(u"qx.mdb"_s);
    QVERIFY(folderState(m_program) == expected);
}

void TestEarlierCatalogue::declinedOrCancelled_data()
{
    QTest::addColumn<bool>("accessLockBeside");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<qint64>("stopAt");
    QTest::addColumn<QString>("lastSaid");

    QTest::newRow("No to the confirmation") << false << QList<int>{MessageBox::AnswerNo} << qint64(-1)
                                            << u"Continuare?"_s;
    QTest::newRow("No: the earlier program may have it open")
        << true << QList<int>{MessageBox::AnswerNo} << qint64(-1) << u"potrebbe averlo ancora aperto"_s;
    QTest::newRow("Annulla during the copy") << false << QList<int>{MessageBox::AnswerYes} << qint64(1)
                                             << u"Copia annullata."_s;
    QTest::newRow("cancelled file dialog") << false << QList<int>{} << qint64(-1) << QString();
}

void TestEarlierCatalogue::declinedOrCancelled()
{
    QFETCH(bool, accessLockBeside);
    QFETCH(QList<int>, answers);
    QFETCH(qint64, stopAt);
    QFETCH(QString, lastSaid);
    const QString chosen = QDir(sourceFolder()).filePath(u"qx.mdb"_s);
    QVERIFY(QFile::copy(kAccess2000, chosen));
    if (accessLockBeside)
        write(QDir(sourceFolder()).filePath(u"qx.ldb"_s), "aperto");
    const auto before = folderState(m_program);

    runCommand(lastSaid.isEmpty() ? QString() : chosen, answers, stopAt);

    if (lastSaid.isEmpty()) {
        QCOMPARE(m_messages.shown.size(), 0);
    } else {
        QVERIFY(!m_messages.shown.isEmpty());
        QVERIFY2(m_messages.shown.last().text.contains(lastSaid), qPrintable(m_messages.shown.last().text));
    }
    QVERIFY(folderState(m_program) == before);
    QCOMPARE(contents(chosen), contents(kAccess2000));
}

QTEST_GUILESS_MAIN(TestEarlierCatalogue)
#include "tst_earliercatalogue.moc"
