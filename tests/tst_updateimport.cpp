// The "Update database" command on real temporary catalogues, with the dialog,
// the message box and the update file faked: what the user is told, and that a
// refused or failed update leaves no trace in the catalogue.

#include "TestCatalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/Statements.h"
#include "fakes/FakeCatalogueFiles.h"
#include "fakes/FakeControls.h"
#include "fakes/FakeInputFile.h"
#include "platform/controls/QtInputFile.h"
#include "update/UpdateImport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace ondiva;
using catalogue::Connection;
using catalogue::Table;
using update::UpdateImport;

namespace {

const QString kTitle = u"Ondiva Magazine Database Update"_s;
const QString kQuestion = u"Sei sicuro di voler aggiornare il database di Ondiva Magazine?"_s;
const QString kDone = u"Il database di Ondiva Magazine è stato aggiornato con successo!"_s;
const QString kInvalid = u"Si è verificato un errore nel database di Ondiva Magazine!"_s;
const QString kApplied = u"Il database di Ondiva Magazine è già stato aggiornato al numero: "_s;
const QString kUnchanged = u" Il database di Ondiva Magazine non è stato modificato."_s;
const QString kBadFile = u"Il file di aggiornamento non è valido: "_s;
const QString kChosen = u"/aggiornamenti/aggiornamento.txt"_s;
constexpr int kNoticeStyle = 6;
constexpr int kQuestionStyle = 276;

// Would the catalogue make a writer wait right now?
bool isLocked(const QString& path)
{
    sqlite::Database db;
    if (db.open(path, true) != SQLITE_OK)
        return false;
    const int rc = db.exec("begin immediate");
    db.exec("rollback");
    return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
}

// Notes anything the command still holds open while a notice is on screen.
class WatchingMessageBox : public fakes::FakeMessageBox {
public:
    const fakes::FakeInputFile* file = nullptr;
    QString cataloguePath;
    bool watchLock = true;
    QStringList heldOpen;

    int show(const QString& text, int style, const QString& title, const QString& details = {}) override
    {
        if (style == kNoticeStyle) {
            if (file && file->isOpen)
                heldOpen << u"update file"_s;
            if (watchLock && isLocked(cataloguePath))
                heldOpen << u"catalogue"_s;
        }
        return FakeMessageBox::show(text, style, title, details);
    }
};

// One run of the command: a catalogue, the fakes, and the user's answers.
struct Session {
    testing::TestCatalogue catalogue;
    fakes::FakeCatalogueFiles files;
    fakes::FakeFileDialog dialog;
    WatchingMessageBox messages;
    fakes::FakeInputFile file;

    Session()
    {
        dialog.chosen = kChosen;
        messages.file = &file;
        messages.cataloguePath = catalogue.path();
    }

    // Runs the command, answering Yes to the question.
    void run(InputFile* input = nullptr)
    {
        messages.answers = {MessageBox::AnswerYes};
        UpdateImport(catalogue.path(), files, dialog, messages, input ? *input : file).run();
    }

    // The notice after the question, checking how it was shown.
    QString notice() const
    {
        if (messages.shown.size() != 2)
            return u"<%1 messages>"_s.arg(messages.shown.size());
        const fakes::ShownMessage& shown = messages.shown.at(1);
        if (shown.style != kNoticeStyle || shown.title != kTitle)
            return u"<style %1, title %2>"_s.arg(shown.style).arg(shown.title);
        return shown.text;
    }

    void recordApplied(const QStringList& identifiers)
    {
        std::vector<testing::Row> rows;
        for (const QString& id : identifiers)
            rows.push_back({id});
        catalogue.insert("AGGIORNAMENTI", {u"AGGIORNATOAL"_s}, rows);
    }
    QStringList applied() { return catalogue.dump(u"AGGIORNAMENTI"_s, {u"AGGIORNATOAL"_s}); }

    // Every catalogued row, as "TABLE|value|value...".
    QStringList rows()
    {
        QStringList all;
        for (Table table : catalogue::kAllTables) {
            const auto& schema = catalogue::schemaOf(table);
            QStringList columns;
            for (const char* column : schema.usedColumns())
                columns << QString::fromLatin1(column);
            const QString name = QString::fromLatin1(schema.name);
            for (const QString& row : catalogue.dump(name, columns))
                all << name + u'|' + row;
        }
        return all;
    }
};

// An update file in UTF-8 with LF line ends.
QByteArray updateFile(const QString& identifier, const QStringList& articles = {}, const QStringList& windows = {},
                      const QStringList& mac = {}, const QStringList& grooves = {})
{
    const QStringList lines = QStringList{identifier, u"ARTICOLI(BOF)"_s} + articles +
                              QStringList{u"ARTICOLI(EOF)"_s, u"Software per Windows"_s} + windows +
                              QStringList{u"SOFTWARE_WIN(EOF)"_s, u"Software per Mac"_s} + mac +
                              QStringList{u"SOFTWARE_MAC(EOF)"_s, u"Grooves"_s} + grooves +
                              QStringList{u"GROOVES(EOF)"_s};
    return lines.join(u'\n').toUtf8() + '\n';
}

QByteArray fullUpdate(const QString& identifier)
{
    return updateFile(identifier, {u"L'arte dell'eco\tGiulia D'Angelo\t61"_s}, {u"Prog\tFreeware\t61"_s},
                      {u"MacProg\tDemo\t61"_s}, {u"Funk dell'alba\t61"_s});
}
const QStringList kFullRows{u"ARTICOLI|L'arte dell'eco|Giulia D'Angelo|61"_s, u"SOFTWARE_WIN|Prog|Freeware|61"_s,
                            u"SOFTWARE_MAC|MacProg|Demo|61"_s, u"GROOVES|Funk dell'alba|61"_s};

} // namespace

class TestUpdateImport : public QObject {
    Q_OBJECT

private slots:
    void cancelledOrRefused_data();
    void cancelledOrRefused();
    void outcomes_data();
    void outcomes();
    void failedInsertRollsBack();
    void unusableCatalogue_data();
    void unusableCatalogue();
    void fileProblems_data();
    void fileProblems();
    void exampleFiles();
};

void TestUpdateImport::cancelledOrRefused_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("asked");

    QTest::newRow("dialog cancelled") << QString() << int(MessageBox::AnswerYes) << false;
    QTest::newRow("name of five characters") << u"a.txt"_s << int(MessageBox::AnswerYes) << false;
    QTest::newRow("answered no") << u"ab.txt"_s << int(MessageBox::AnswerNo) << true;
    QTest::newRow("any answer but yes") << kChosen << int(MessageBox::AnswerOk) << true;
}

void TestUpdateImport::cancelledOrRefused()
{
    QFETCH(QString, chosen);
    QFETCH(int, answer);
    QFETCH(bool, asked);

    Session session;
    session.recordApplied({u"n.60"_s});
    session.file.contents = fullUpdate(u"n.61"_s);
    session.dialog.chosen = chosen;
    session.messages.answers = {answer};
    UpdateImport(session.catalogue.path(), session.files, session.dialog, session.messages, session.file).run();

    QCOMPARE(session.dialog.filter, u"*.txt"_s);
    QCOMPARE(session.dialog.timesShown, 1);
    QCOMPARE(session.messages.shown.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(session.messages.shown[0].text, kQuestion);
        QCOMPARE(session.messages.shown[0].style, kQuestionStyle);
        QCOMPARE(session.messages.shown[0].title, kTitle);
    }
    QCOMPARE(session.file.openedPaths, QStringList());
    QCOMPARE(session.applied(), QStringList(u"n.60"_s));
    QCOMPARE(session.rows(), QStringList());
}

void TestUpdateImport::outcomes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("appliedBefore");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QStringList>("appliedAfter");
    QTest::addColumn<QStringList>("rows");

    const QStringList upTo60{u"n.59"_s, u"n.60"_s};
    QTest::newRow("new update") << fullUpdate(u"n.61"_s) << upTo60 << kDone << upTo60 + QStringList(u"n.61"_s)
                                << kFullRows;
    QTest::newRow("applied before") << fullUpdate(u"n.61"_s) << QStringList{u"n.61"_s, u"n.60"_s} << kApplied + u"61"_s
                                    << QStringList{u"n.61"_s, u"n.60"_s} << QStringList();
    QTest::newRow("n.1 after n.10") << fullUpdate(u"n.1"_s) << QStringList{u"n.10"_s, u"n.11"_s} << kDone
                                    << QStringList{u"n.10"_s, u"n.11"_s, u"n.1"_s} << kFullRows;
    QTest::newRow("identifier differing in case")
        << fullUpdate(u"n.12"_s) << QStringList{u"N.12"_s} << kDone << QStringList{u"N.12"_s, u"n.12"_s} << kFullRows;
    QTest::newRow("identifier with like wildcards")
        << fullUpdate(u"n_1%"_s) << QStringList{u"n.1x"_s} << kDone << QStringList{u"n.1x"_s, u"n_1%"_s} << kFullRows;
    QTest::newRow("applied before, identifier of two characters")
        << fullUpdate(u"ab"_s) << QStringList{u"ab"_s} << kApplied << QStringList{u"ab"_s} << QStringList();
    QTest::newRow("applied before, long identifier")
        << fullUpdate(u" Ondiva n.61 bis "_s) << QStringList{u"Ondiva n.61 bis"_s} << kApplied + u"diva n.61 bis"_s
        << QStringList{u"Ondiva n.61 bis"_s} << QStringList();
    QTest::newRow("all sections empty") << updateFile(u"n.61"_s) << upTo60 << kDone << upTo60 + QStringList(u"n.61"_s)
                                        << QStringList();
    QTest::newRow("windows-1252") << updateFile(u"n.61"_s, {u"Perch\u00E9 \u201Cno\u201D\tD\u2019Al\u00F2\t61"_s})
                                         .replace("\xC3\xA9", "\xE9")
                                         .replace("\xE2\x80\x9C", "\x93")
                                         .replace("\xE2\x80\x9D", "\x94")
                                         .replace("\xE2\x80\x99", "\x92")
                                         .replace("\xC3\xB2", "\xF2")
                                  << upTo60 << kDone << upTo60 + QStringList(u"n.61"_s)
                                  << QStringList(u"ARTICOLI|Perché “no”|D’Alò|61"_s);

    // Refused files: the catalogue keeps no trace of them, not even the identifier.
    QTest::newRow("lower-case header") << fullUpdate(u"n.61"_s).replace("ARTICOLI(BOF)", "Articoli(BOF)") << upTo60
                                       << kInvalid << upTo60 << QStringList();
    QTest::newRow("ends before GROOVES(EOF)")
        << fullUpdate(u"n.61"_s).replace("GROOVES(EOF)\n", "") << upTo60
        << kBadFile + u"il file finisce alla riga 12, prima della riga «GROOVES(EOF)»."_s + kUnchanged << upTo60
        << QStringList();
    QTest::newRow("two fields for an article")
        << updateFile(u"n.61"_s, {u"a\tb\tc"_s, u"Titolo\tAutore"_s}) << upTo60
        << kBadFile +
               u"alla riga 4 ci sono 2 campi, ma ogni riga della sezione ARTICOLI deve avere 3 campi separati "
               u"da TAB."_s +
               kUnchanged
        << upTo60 << QStringList();
    QTest::newRow("one field for a groove")
        << updateFile(u"n.61"_s, {u"a\tb\tc"_s}, {}, {}, {u"Funk"_s}) << upTo60
        << kBadFile +
               u"alla riga 10 c'è un solo campo, ma ogni riga della sezione GROOVES deve avere 2 campi separati "
               u"da TAB."_s +
               kUnchanged
        << upTo60 << QStringList();
    QTest::newRow("empty line") << updateFile(u"n.61"_s, {}, {u"Prog\tFreeware\t61"_s, QString()}) << upTo60
                                << kBadFile +
                                       u"la riga 6 è vuota, ma ogni riga della sezione SOFTWARE_WIN deve avere "
                                       u"3 campi separati da TAB."_s +
                                       kUnchanged
                                << upTo60 << QStringList();
    QTest::newRow("binary") << QByteArray("\x7F"
                                          "ELF\x02\x01\x01\0\0\0\n",
                                          11)
                            << upTo60
                            << kBadFile + u"la riga 1 contiene un carattere nullo, quindi non è un file di testo."_s +
                                   kUnchanged
                            << upTo60 << QStringList();
}

void TestUpdateImport::outcomes()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, appliedBefore);
    QFETCH(QString, notice);
    QFETCH(QStringList, appliedAfter);
    QFETCH(QStringList, rows);

    Session session;
    session.recordApplied(appliedBefore);
    session.file.contents = file;
    session.run();

    QCOMPARE(session.notice(), notice);
    QCOMPARE(session.applied(), appliedAfter);
    QCOMPARE(session.rows(), rows);
    // A file that fails the check is read once and the catalogue not even opened.
    const bool refused = notice == kInvalid || notice.startsWith(kBadFile);
    QCOMPARE(session.file.openedPaths, QStringList(refused ? 1 : 2, kChosen));
    QCOMPARE(session.file.closes, session.file.openedPaths.size());
    QCOMPARE(session.messages.heldOpen, QStringList());
}

void TestUpdateImport::failedInsertRollsBack()
{
    Session session;
    session.recordApplied({u"n.60"_s});
    session.catalogue.exec(u"create trigger refuse before insert on GROOVES begin select raise(abort, 'x'); end"_s);
    session.file.contents = fullUpdate(u"n.61"_s);
    session.run();

    // SQLite's own words go into the details, not into the Italian sentence.
    QCOMPARE(session.notice(), u"Il catalogo «%1» ha segnalato un errore imprevisto."_s.arg(
                                   QDir::toNativeSeparators(session.catalogue.path())) +
                                   kUnchanged);
    QCOMPARE(session.messages.shown.last().details, u"x"_s);
    // The identifier and the records inserted before the grooves are gone too.
    QCOMPARE(session.applied(), QStringList(u"n.60"_s));
    QCOMPARE(session.rows(), QStringList());
    QCOMPARE(session.messages.heldOpen, QStringList());
}

void TestUpdateImport::unusableCatalogue_data()
{
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << u"missing"_s << u"il file non esiste"_s;
    QTest::newRow("read-only") << u"read-only"_s << u"il file è di sola lettura"_s;
    QTest::newRow("folder read-only") << u"read-only folder"_s << u"la cartella che lo contiene è di sola lettura"_s;
    QTest::newRow("not a catalogue") << u"text"_s << u"non è un catalogo valido"_s;
    QTest::newRow("locked") << u"locked"_s << u"è in uso da parte di un altro programma"_s;
}

void TestUpdateImport::unusableCatalogue()
{
    QFETCH(QString, problem);
    QFETCH(QString, reason);

    Session session;
    session.file.contents = fullUpdate(u"n.61"_s);
    const QString path = session.catalogue.path();
    sqlite::Database other;
    if (problem == u"missing"_s) {
        QVERIFY(QFile::remove(path));
    } else if (problem == u"read-only"_s) {
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    } else if (problem == u"read-only folder"_s) {
        session.files.writableFolder = false;
    } else if (problem == u"text"_s) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("n.61\nARTICOLI(BOF)\n");
    } else {
        // Another program is writing the catalogue for longer than the command waits.
        QCOMPARE(other.open(path, true), SQLITE_OK);
        QCOMPARE(other.exec("begin exclusive"), SQLITE_OK);
        session.messages.watchLock = false;
    }
    const QByteArray before = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    session.run();

    const QString notice = session.notice();
    QVERIFY2(notice.contains(reason) && notice.endsWith(kUnchanged), qPrintable(notice));
    QFile file(path);
    QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), before);
    QCOMPARE(session.file.closes, session.file.openedPaths.size());
    QCOMPARE(session.messages.heldOpen, QStringList());
}

void TestUpdateImport::fileProblems_data()
{
    QTest::addColumn<bool>("missing");
    QTest::addColumn<int>("failingOpen");
    QTest::addColumn<QByteArray>("changedTo");
    QTest::addColumn<QString>("notice");

    // The notice shows the path as the system writes it (backslashes on Windows).
    const QString shown = QDir::toNativeSeparators(kChosen);
    const QString unreadable =
        u"Impossibile leggere il file di aggiornamento «%1»: errore di lettura dal disco."_s.arg(shown) + kUnchanged;
    QTest::newRow("cannot be opened") << true << 0 << QByteArray()
                                      << u"Impossibile aprire il file di aggiornamento «%1»: il file non esiste."_s.arg(
                                             shown) +
                                             kUnchanged;
    QTest::newRow("read fails while checking") << false << 1 << QByteArray() << unreadable;
    QTest::newRow("read fails while writing") << false << 2 << QByteArray() << unreadable;
    // Changed between the check and the writing: what is written must still be sound.
    QTest::newRow("changed to another encoding")
        << false << 0 << fullUpdate(u"n.61"_s).replace("'", "\x92")
        << kBadFile +
               u"la riga 3 non è più testo UTF-8 valido; il file è stato modificato durante "
               u"l'aggiornamento."_s +
               kUnchanged;
    QTest::newRow("changed to a broken file")
        << false << 0 << fullUpdate(u"n.61"_s).replace("SOFTWARE_MAC(EOF)\n", "")
        << kBadFile +
               u"alla riga 10 c'è un solo campo, ma ogni riga della sezione SOFTWARE_MAC deve avere 3 campi "
               u"separati da TAB."_s +
               kUnchanged;
}

void TestUpdateImport::fileProblems()
{
    QFETCH(bool, missing);
    QFETCH(int, failingOpen);
    QFETCH(QByteArray, changedTo);
    QFETCH(QString, notice);

    Session session;
    session.recordApplied({u"n.60"_s});
    session.file.contents = fullUpdate(u"n.61"_s);
    session.file.missing = missing;
    session.file.failingOpen = failingOpen;
    session.file.changedContents = changedTo;
    session.run();

    QCOMPARE(session.notice(), notice);
    QCOMPARE(session.applied(), QStringList(u"n.60"_s));
    QCOMPARE(session.rows(), QStringList());
    QCOMPARE(session.file.closes, missing ? 0 : session.file.openedPaths.size());
    QCOMPARE(session.messages.heldOpen, QStringList());
}

// The example files from disk, one after the other, on a catalogue that has
// every update up to n.60, then searched as the panes search.
void TestUpdateImport::exampleFiles()
{
    Session session;
    QStringList upTo60;
    for (int n = 1; n <= 60; ++n)
        upTo60 << u"n.%1"_s.arg(n);
    session.recordApplied(upTo60);
    QtInputFile disk;
    const QString examples = QStringLiteral(ONDIVA_SOURCE_DIR "/examples/");

    for (const char* name : {"aggiornamento-n61.txt", "aggiornamento-n62.txt", "aggiornamento-n63.txt"}) {
        session.messages.shown.clear();
        session.dialog.chosen = examples + QLatin1StringView(name);
        session.run(&disk);
        QCOMPARE(session.notice(), kDone);
    }
    QCOMPARE(session.applied().size(), 63);
    QCOMPARE(session.catalogue.rowCount(u"ARTICOLI"_s), 10);
    QCOMPARE(session.catalogue.rowCount(u"SOFTWARE_WIN"_s), 5);
    QCOMPARE(session.catalogue.rowCount(u"SOFTWARE_MAC"_s), 2);
    QCOMPARE(session.catalogue.rowCount(u"GROOVES"_s), 4);

    struct Search {
        Table table;
        int column;
        QString term;
        QString found; // the first column of the one row found
    };
    const Search searches[] = {
        {Table::Articoli, 0, u"dell'attesa"_s, u"L'arte dell'attesa: il silenzio nel mix"_s},
        {Table::Articoli, 1, u"d'angelo"_s, u"L'arte dell'attesa: il silenzio nel mix"_s},
        {Table::Articoli, 0, u"l’età d’oro"_s, u"L’età d’oro dei sintetizzatori"_s},
        {Table::Articoli, 0, u"500 €"_s, u"Quanto costa uno studio? Da 500 € in su"_s},
        {Table::Articoli, 0, u"“suonare”"_s, u"“Suonare” una stanza — acustica per tutti"_s},
        {Table::Articoli, 0, u"un'estate"_s, u"Un'estate di registrazioni all'aperto"_s},
        {Table::SoftwareMac, 0, u"œuvre"_s, u"Arpeggiatore Œuvre"_s},
        {Table::SoftwareWin, 0, u"d'epoca"_s, u"Mixer d'Epoca"_s},
        {Table::Grooves, 0, u"dell’ultimo"_s, u"Swing dell’ultimo tram"_s},
    };
    Result<Connection> connection = Connection::open(session.catalogue.path(), Connection::Access::Read);
    QVERIFY(connection.ok());
    for (const Search& search : searches) {
        const QByteArray pattern = '%' + search.term.toUtf8() + '%';
        Result<catalogue::Cursor> cursor =
            connection->execute(catalogue::searchStatement(search.table, search.column), {QUtf8StringView(pattern)});
        QVERIFY(cursor.ok());
        QVERIFY2(!cursor->atEnd(), qPrintable(search.term));
        QCOMPARE(cursor->field(QUtf8StringView(catalogue::schemaOf(search.table).columns[0])).toString(), search.found);
        QVERIFY(cursor->next().ok());
        QVERIFY(cursor->atEnd());
    }
    connection->close();

    // A second time, the catalogue already has it.
    session.messages.shown.clear();
    session.dialog.chosen = examples + u"aggiornamento-n62.txt"_s;
    session.run(&disk);
    QCOMPARE(session.notice(), kApplied + u"62"_s);
    QCOMPARE(session.catalogue.rowCount(u"ARTICOLI"_s), 10);

    // A file that is not there, through the real file system.
    session.messages.shown.clear();
    session.dialog.chosen = examples + u"aggiornamento-n99.txt"_s;
    session.run(&disk);
    QCOMPARE(session.notice(), u"Impossibile aprire il file di aggiornamento «%1»: il file non esiste."_s.arg(
                                   QDir::toNativeSeparators(session.dialog.chosen)) +
                                   kUnchanged);
}

QTEST_GUILESS_MAIN(TestUpdateImport)
#include "tst_updateimport.moc"
