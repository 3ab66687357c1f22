// The catalogue connection on real files: every way a file can be unusable,
// and the statements that search and update send.

#include "TestCatalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/Statements.h"
#include "platform/files/SystemCatalogueFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ondiva;
using namespace ondiva::catalogue;
using ondiva::testing::TestCatalogue;
using Kind = CatalogueError::Kind;

Q_DECLARE_METATYPE(ondiva::CatalogueError::Kind)

namespace {

// The catalogue opened as an update opens it, with the system's own file operations.
Result<Connection> openForWriting(const QString& path)
{
    return Connection::openForWriting(path, *systemCatalogueFiles());
}

// As a search opens it, or as an update does.
Result<Connection> openAs(const QString& path, bool writing)
{
    return writing ? openForWriting(path) : Connection::open(path, Connection::Access::Read);
}

} // namespace

class TestCatalogueConnection : public QObject {
    Q_OBJECT

private slots:
    void unusableFiles_data();
    void unusableFiles();
    void neverCreatesAFile();
    void readOnlyFile();
    void lockedByAnotherProgram();
    void valuesTravelByteExact_data();
    void valuesTravelByteExact();
    void appliedCheckMatchesByContainment();
    void rollbackOnDestruction();
    void cursorReadsByNameAndNull();
    void bundledCatalogue();
    void statementTexts();
    void newCatalogueKeepsNamesAndValuesExactly();
};

void TestCatalogueConnection::unusableFiles_data()
{
    QTest::addColumn<QByteArray>("contents"); // raw file contents, or empty for a schema change below
    QTest::addColumn<QString>("sql");         // applied to a real catalogue when contents is empty
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("empty file") << QByteArray("") << QString() << Kind::NotCatalogue
                                << QStringLiteral("manca la tabella ARTICOLI");
    QTest::newRow("text file") << QByteArray("ARTICOLI(BOF)\r\nnon sono un database\r\n") << QString()
                               << Kind::NotCatalogue << QStringLiteral("danneggiato");
    QTest::newRow("truncated header") << QByteArray("SQLite format 3\0\x10\0", 19) << QString() << Kind::NotCatalogue
                                      << QStringLiteral("danneggiato");
    QTest::newRow("table missing") << QByteArray() << QStringLiteral("drop table GROOVES") << Kind::NotCatalogue
                                   << QStringLiteral("manca la tabella GROOVES");
    QTest::newRow("column missing") << QByteArray()
                                    << QStringLiteral("drop table SOFTWARE_MAC; create table SOFTWARE_MAC "
                                                      "(SOFTWARE text, ONDIVA text)")
                                    << Kind::NotCatalogue
                                    << QStringLiteral("manca la colonna TYPE della tabella SOFTWARE_MAC");
    QTest::newRow("extra columns are fine")
        << QByteArray() << QStringLiteral("alter table ARTICOLI add column NOTE text") << Kind::Failed << QString();
}

void TestCatalogueConnection::unusableFiles()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, sql);
    QFETCH(Kind, kind);
    QFETCH(QString, reason);

    TestCatalogue catalogue;
    if (sql.isEmpty()) {
        QFile file(catalogue.path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    } else {
        catalogue.exec(sql);
    }
    const QByteArray before = [&] {
        QFile file(catalogue.path());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();

    for (bool writing : {false, true}) {
        Result<Connection> connection = openAs(catalogue.path(), writing);
        if (reason.isEmpty()) {
            QVERIFY(connection.ok());
            continue;
        }
        QVERIFY(!connection.ok());
        QCOMPARE(connection.error().kind, kind);
        QVERIFY2(connection.error().message.contains(reason), qPrintable(connection.error().message));
        QVERIFY(connection.error().message.contains(QDir::toNativeSeparators(catalogue.path())));
    }
    QFile file(catalogue.path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QCOMPARE(QDir(catalogue.dir()).entryList(QDir::Files), QStringList(QStringLiteral("qx.mdb")));
}

void TestCatalogueConnection::neverCreatesAFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qx.mdb"));
    for (bool writing : {false, true}) {
        Result<Connection> connection = openAs(path, writing);
        QVERIFY(!connection.ok());
        QCOMPARE(connection.error().kind, Kind::Missing);
        // The notice points to the command that brings a catalogue in.
        QCOMPARE(connection.error().message, QStringLiteral("Impossibile aprire il catalogo «%1»: il file non esiste.\n\n"
                                                            "Per usare il catalogo di una versione precedente, o una "
                                                            "sua copia, scegliere File ▸ Open earlier catalogue…")
                                                 .arg(QDir::toNativeSeparators(path)));
    }
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestCatalogueConnection::readOnlyFile()
{
    TestCatalogue catalogue;
    catalogue.insert("ARTICOLI", {QStringLiteral("ARTICOLO")}, {{QStringLiteral("Uno")}});
    QFile::setPermissions(catalogue.path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);

    Result<Connection> writer = openForWriting(catalogue.path());
    QVERIFY(!writer.ok());
    QCOMPARE(writer.error().kind, Kind::ReadOnly);
    QVERIFY(writer.error().message.contains(QStringLiteral("sola lettura")));

    // Searching a read-only catalogue still works.
    Result<Connection> reader = Connection::open(catalogue.path(), Connection::Access::Read);
    QVERIFY(reader.ok());
    Result<Cursor> cursor = reader->execute(searchStatement(Table::Articoli, 0), {QUtf8StringView("%%")});
    QVERIFY(cursor.ok());
    QCOMPARE(cursor->field("ARTICOLO").toString(), QStringLiteral("Uno"));
}

void TestCatalogueConnection::lockedByAnotherProgram()
{
    TestCatalogue catalogue;
    // Another program holds an exclusive lock for longer than a command waits.
    sqlite::Database other;
    QCOMPARE(other.open(catalogue.path(), true), SQLITE_OK);
    QCOMPARE(other.exec("pragma locking_mode=exclusive; begin exclusive; "
                        "insert into GROOVES (GROOVE) values ('x')"),
             SQLITE_OK);

    QElapsedTimer timer;
    timer.start();
    Result<Connection> connection = Connection::open(catalogue.path(), Connection::Access::Read);
    QVERIFY(!connection.ok());
    QCOMPARE(connection.error().kind, Kind::Locked);
    QVERIFY(connection.error().message.contains(QStringLiteral("in uso da parte di un altro programma")));
    QVERIFY(timer.elapsed() >= kBusyTimeoutMs / 2);

    // Once the other program is done, the same command succeeds.
    other.exec("rollback");
    other.close();
    QVERIFY(openForWriting(catalogue.path()).ok());
}

void TestCatalogueConnection::valuesTravelByteExact_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("apostrophe") << QStringLiteral("D'Angelo");
    QTest::newRow("apostrophes and quotes") << QStringLiteral("L'arte dell'\"eco\" ''");
    QTest::newRow("sql text") << QStringLiteral("x'); drop table ARTICOLI; --");
    QTest::newRow("accents") << QStringLiteral("Perché più città");
    QTest::newRow("spaces and tab") << QStringLiteral("  a\tb  ");
    QTest::newRow("empty") << QString();
}

void TestCatalogueConnection::valuesTravelByteExact()
{
    QFETCH(QString, value);
    TestCatalogue catalogue;
    const QByteArray utf8 = value.toUtf8();
    {
        Result<Connection> connection = openForWriting(catalogue.path());
        QVERIFY(connection.ok());
        for (Table table : kAllTables) {
            Result<Command> insert = connection->prepare(insertStatement(table));
            QVERIFY(insert.ok());
            QVERIFY(insert->run({QUtf8StringView(utf8), QUtf8StringView("b"), QUtf8StringView("7")}).ok() ||
                    table == Table::Grooves);
            if (table == Table::Grooves)
                QVERIFY(insert->run({QUtf8StringView(utf8), QUtf8StringView("7")}).ok());
        }
        QVERIFY(connection->execute(recordAppliedStatement(), {QUtf8StringView(utf8)}).ok());
    }
    Result<Connection> connection = Connection::open(catalogue.path(), Connection::Access::Read);
    QVERIFY(connection.ok());
    for (Table table : kAllTables) {
        Result<Cursor> cursor = connection->execute(searchStatement(table, 0), {QUtf8StringView('%' + utf8 + '%')});
        QVERIFY(cursor.ok());
        QVERIFY(!cursor->atEnd());
        QCOMPARE(cursor->field(QUtf8StringView(schemaOf(table).columns[0])).toString(), value);
        QVERIFY(cursor->next().ok());
        QVERIFY(cursor->atEnd());
    }
    QCOMPARE(catalogue.rowCount(QStringLiteral("ARTICOLI")), 1);
    Result<Cursor> applied = connection->execute(appliedCheckStatement(), {QUtf8StringView('%' + utf8 + '%')});
    QVERIFY(applied.ok());
    QCOMPARE(applied->field(kAppliedColumn).toString(), value);
}

void TestCatalogueConnection::appliedCheckMatchesByContainment()
{
    TestCatalogue catalogue;
    catalogue.insert("AGGIORNAMENTI", {QStringLiteral("AGGIORNATOAL")},
                     {{QStringLiteral("n.10")}, {QStringLiteral("N.12")}, {std::nullopt}, {QStringLiteral("n.2")}});
    Result<Connection> connection = Connection::open(catalogue.path(), Connection::Access::Read);
    QVERIFY(connection.ok());
    Result<Cursor> cursor = connection->execute(appliedCheckStatement(), {QUtf8StringView("%n.1%")});
    QVERIFY(cursor.ok());
    QStringList found;
    while (!cursor->atEnd()) {
        found << cursor->field(kAppliedColumn).toString();
        QVERIFY(cursor->next().ok());
    }
    QCOMPARE(found, QStringList({QStringLiteral("n.10"), QStringLiteral("N.12")}));
}

void TestCatalogueConnection::rollbackOnDestruction()
{
    TestCatalogue catalogue;
    {
        Result<Connection> connection = openForWriting(catalogue.path());
        QVERIFY(connection.ok());
        QVERIFY(connection->begin().ok());
        QVERIFY(connection->execute(recordAppliedStatement(), {QUtf8StringView("n.99")}).ok());
        // Leaves without commit, as a failed import would.
    }
    QCOMPARE(catalogue.rowCount(QStringLiteral("AGGIORNAMENTI")), 0);
    QCOMPARE(QDir(catalogue.dir()).entryList(QDir::Files), QStringList(QStringLiteral("qx.mdb")));
}

void TestCatalogueConnection::cursorReadsByNameAndNull()
{
    TestCatalogue catalogue;
    catalogue.insert("GROOVES", {QStringLiteral("GROOVE"), QStringLiteral("ONDIVA")},
                     {{QStringLiteral("Bossa"), std::nullopt}});
    Result<Connection> connection = Connection::open(catalogue.path(), Connection::Access::Read);
    QVERIFY(connection.ok());
    Result<Cursor> cursor = connection->execute(searchStatement(Table::Grooves, 0), {QUtf8StringView("%%")});
    QVERIFY(cursor.ok());
    QCOMPARE(cursor->field("groove").toString(), QStringLiteral("Bossa"));
    QCOMPARE(cursor->field("ONDIVA").toString(), QString());
    QCOMPARE(cursor->field("NOSUCH").toString(), QString());
}

void TestCatalogueConnection::bundledCatalogue()
{
    // The catalogue the build generates is complete and holds the demo rows, apostrophes included.
    Result<Connection> connection = Connection::open(QStringLiteral(ONDIVA_DEMO_CATALOGUE), Connection::Access::Read);
    QVERIFY2(connection.ok(), connection.ok() ? "" : qPrintable(connection.error().message));
    Result<Cursor> cursor = connection->execute(searchStatement(Table::Articoli, 1), {QUtf8StringView("%D'ANGELO%")});
    QVERIFY(cursor.ok());
    QVERIFY(!cursor->atEnd());
    QCOMPARE(cursor->field("AUTORE").toString(), QStringLiteral("Giulia D'Angelo"));
}

// The statements are built from the table descriptions; each must read exactly as written here.
void TestCatalogueConnection::statementTexts()
{
    const QList<std::pair<QUtf8StringView, QUtf8StringView>> expected{
        {searchStatement(Table::Articoli, 0), "select * from ARTICOLI where ARTICOLO like ?1"},
        {searchStatement(Table::Articoli, 2), "select * from ARTICOLI where ONDIVA like ?1"},
        {searchStatement(Table::SoftwareWin, 1), "select * from SOFTWARE_WIN where TYPE like ?1"},
        {searchStatement(Table::SoftwareMac, 0), "select * from SOFTWARE_MAC where SOFTWARE like ?1"},
        {searchStatement(Table::Grooves, 1), "select * from GROOVES where ONDIVA like ?1"},
        {insertStatement(Table::Articoli), "insert into ARTICOLI (ARTICOLO, AUTORE, ONDIVA) values (?1, ?2, ?3)"},
        {insertStatement(Table::SoftwareWin), "insert into SOFTWARE_WIN (SOFTWARE, TYPE, ONDIVA) values (?1, ?2, ?3)"},
        {insertStatement(Table::SoftwareMac), "insert into SOFTWARE_MAC (SOFTWARE, TYPE, ONDIVA) values (?1, ?2, ?3)"},
        {insertStatement(Table::Grooves), "insert into GROOVES (GROOVE, ONDIVA) values (?1, ?2)"},
        {appliedCheckStatement(), "select * from AGGIORNAMENTI where AGGIORNATOAL like ?1"},
        {recordAppliedStatement(), "insert into AGGIORNAMENTI (AGGIORNATOAL) values (?1)"},
    };
    for (const auto& [built, written] : expected)
        QCOMPARE(built.toString(), written.toString());
}

// A new catalogue filled from another file: any column name survives as it
// is (none can end its quotes), and NULL, empty text and bytes stay apart.
void TestCatalogueConnection::newCatalogueKeepsNamesAndValuesExactly()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new.mdb"));
    QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    const QStringList columns{QStringLiteral("ARTICOLO"), QStringLiteral("Nota \"speciale\""),
                              QStringLiteral("Prezzo (€) N°"), QStringLiteral("x\" text); drop table ARTICOLI; --"),
                              QStringLiteral("data-uscita")};
    const std::string bytes("\0\xff\x01 OLE", 7);
    const std::vector<FieldValue> values{{FieldValue::Kind::Text, "Caffè"},
                                         {FieldValue::Kind::Null, {}},
                                         {FieldValue::Kind::Text, ""},
                                         {FieldValue::Kind::Bytes, bytes},
                                         {FieldValue::Kind::Text, "1999-12-31 23:59:59"}};
    {
        Result<Connection> created = Connection::open(path, Connection::Access::Create);
        QVERIFY(created.ok());
        QVERIFY(created->run(QUtf8StringView(createTableStatement(kArticoli, columns))).ok());
        Result<Command> insert = created->prepare(QUtf8StringView(insertRowStatement(kArticoli, columns)));
        QVERIFY(insert.ok());
        QVERIFY(insert->run(std::span<const FieldValue>(values)).ok());
    }
    QVERIFY(!Connection::open(path, Connection::Access::Create).ok()); // no longer empty

    sqlite::Database db;
    QCOMPARE(db.open(path, false), SQLITE_OK);
    sqlite::Statement names = db.prepare("select name from pragma_table_info('ARTICOLI')");
    QStringList found;
    while (names.step() == SQLITE_ROW)
        found << names.text(0).toString();
    QCOMPARE(found, columns);
    sqlite::Statement row = db.prepare("select typeof(\"Nota \"\"speciale\"\"\"), typeof(\"Prezzo (€) N°\"), * from ARTICOLI");
    QCOMPARE(row.step(), SQLITE_ROW);
    QCOMPARE(row.text(0).toString(), QStringLiteral("null"));
    QCOMPARE(row.text(1).toString(), QStringLiteral("text"));
    QCOMPARE(row.text(2).toString(), QStringLiteral("Caffè"));
    QCOMPARE(QByteArray(static_cast<const char*>(sqlite3_column_blob(row.get(), 5)), sqlite3_column_bytes(row.get(), 5)),
             QByteArray::fromStdString(bytes));
    QCOMPARE(sqlite3_column_type(row.get(), 5), SQLITE_BLOB);
    QCOMPARE(row.text(6).toString(), QStringLiteral("1999-12-31 23:59:59"));
    QCOMPARE(row.step(), SQLITE_DONE);
}

QTEST_GUILESS_MAIN(TestCatalogueConnection)
#include "tst_catalogueconnection.moc"
