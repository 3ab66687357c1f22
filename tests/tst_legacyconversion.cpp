// The takeover of a catalogue kept as an Access file: files written by our
// own Access writer, read by the real reader process, converted and swapped
// in; and every way that can go wrong, each leaving the Access file as it was.

#include "AccessWriter.h"
#include "RunCommands.h"
#include "TestCatalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/ConversionOffer.h"
#include "catalogue/LegacyConversion.h"
#include "fakes/FakeControls.h"
#include "platform/reader/AccessChildReader.h"
#include "platform/controls/ConversionProgress.h"
#include "platform/files/SystemCatalogueFiles.h"
#include "platform/controls/QtInputFile.h"
#include "search/PaneSearch.h"
#include "update/UpdateImport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <thread>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using namespace ondiva;
using namespace Qt::Literals::StringLiterals;
using accesswriter::AccessColumn;
using accesswriter::JetVersion;
using catalogue::Connection;

Q_DECLARE_METATYPE(ondiva::accesswriter::JetVersion)

namespace {

using Value = std::optional<std::string>;
using Rows = std::vector<std::vector<Value>>;
const QString kUnchanged = u"Il catalogo non è stato modificato."_s;

struct SourceTable {
    std::string name;
    std::vector<AccessColumn> columns;
    Rows rows;
};

std::string writeAccess(const QString& path, JetVersion version, const std::vector<SourceTable>& tables)
{
    std::vector<accesswriter::AccessTable> out;
    for (const SourceTable& table : tables) {
        auto next = std::make_shared<size_t>(0);
        const Rows* rows = &table.rows;
        out.push_back({table.name, table.columns, [next, rows](accesswriter::AccessRow& row) {
                           if (*next >= rows->size())
                               return false;
                           row = (*rows)[(*next)++];
                           return true;
                       }});
    }
    return accesswriter::writeAccessFile(path.toStdString(), version, std::move(out));
}

std::vector<AccessColumn> texts(std::initializer_list<const char*> names)
{
    std::vector<AccessColumn> columns;
    for (const char* name : names)
        columns.push_back({name, AccessColumn::Type::Text});
    return columns;
}

// The five tables with a row or two each.
std::vector<SourceTable> smallCatalogue()
{
    return {
        {"ARTICOLI", texts({"ARTICOLO", "AUTORE", "ONDIVA"}), {{"Caffè e MIDI", "Giulia D'Angelo", "7"}}},
        {"SOFTWARE_WIN", texts({"SOFTWARE", "TYPE", "ONDIVA"}), {{"Sequencer", "Freeware", "8"}}},
        {"SOFTWARE_MAC", texts({"SOFTWARE", "TYPE", "ONDIVA"}), {{"Arpeggiatore", "Demo", "9"}}},
        {"GROOVES", texts({"GROOVE", "ONDIVA"}), {{"Swing", "10"}}},
        {"AGGIORNAMENTI", texts({"AGGIORNATOAL"}), {{"n.10"}}},
    };
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Spoils the signature of the property list at `at` in an Access file ("KKD" in
// Jet 3, "MR2" in Jet 4): libmdb then prints "Unrecognized format." and a hex
// dump of the list on standard output whenever it reads the list of tables.
bool damageProperties(const QString& path, qint64 at)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(at))
        return false;
    const QByteArray signature = file.read(4);
    return (signature == QByteArray("KKD\0", 4) || signature == QByteArray("MR2\0", 4)) && file.seek(at) &&
           file.write("X") == 1;
}

QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

// Every row of a table of an SQLite catalogue, columns joined by "|", NULL as "<NULL>".
QStringList dump(const QString& path, const char* table)
{
    sqlite::Database db;
    if (db.open(path, false) != SQLITE_OK)
        return {u"<not a catalogue>"_s};
    sqlite::Statement rows = db.prepare(QUtf8StringView(QByteArray("select * from ") + table + " order by rowid"));
    QStringList out;
    while (rows.isValid() && rows.step() == SQLITE_ROW) {
        QStringList cells;
        for (int i = 0; i < rows.columnCount(); ++i)
            cells << (rows.isNull(i) ? u"<NULL>"_s : rows.text(i).toString());
        out << cells.join(u'|');
    }
    return out;
}

QStringList expected(const Rows& rows)
{
    QStringList out;
    for (const auto& row : rows) {
        QStringList cells;
        for (const Value& value : row)
            cells << (value ? QString::fromStdString(*value) : u"<NULL>"_s);
        out << cells.join(u'|');
    }
    return out;
}

// Runs the work on a thread of its own, as the window does.
class Progress : public ConversionProgress {
public:
    std::atomic<qint64> total = -1;
    qint64 stopAt = -1; // rows after which the user presses Cancel
    bool open = false;
    void runWhileShown(const std::function<void()>& work) override
    {
        open = true;
        std::thread thread(work);
        thread.join();
        open = false;
    }
    void start(qint64 rows) override { total = rows; }
    bool advance(qint64 done) override { return stopAt < 0 || done < stopAt; }
};

// A reading nobody stops.
struct Unstopped : LegacyReadWatch {
    bool waiting() override { return true; }
};

// Starts the program's conversion as the user meets it: the question, answered, then the outcome.
QList<fakes::ShownMessage> offer(const QString& catalogue, LegacyCatalogueReader& reader, Progress& progress,
                                 int answer = MessageBox::AnswerYes)
{
    fakes::FakeMessageBox messages;
    messages.answers = {answer};
    SystemCatalogueFiles files;
    catalogue::ConversionOffer(catalogue, u"Ondiva"_s, messages, reader, files, progress).run();
    return messages.shown;
}

AccessChildReader realReader() { return AccessChildReader(QStringLiteral(ONDIVA_ACCESS_READER), 20000); }

// The real file operations, but one of them fails at its n-th call: before it
// does anything, or (afterwards) once it has taken effect.
class FailingFiles : public SystemCatalogueFiles {
public:
    QString step;
    int at = 1;
    bool afterwards = false;
    FileStatus failure{FileStatus::Kind::Failed, u"Input/output error"_s};

    FileStatus createBeside(const QString& target, const QString& tag, QString& path) override
    {
        return fails(u"createBeside"_s, [&] { return SystemCatalogueFiles::createBeside(target, tag, path); });
    }
    FileStatus sync(const QString& path) override
    {
        return fails(u"sync"_s, [&] { return SystemCatalogueFiles::sync(path); });
    }
    FileStatus keepAs(const QString& path, const QString& name) override
    {
        return fails(u"keepAs"_s, [&] { return SystemCatalogueFiles::keepAs(path, name); });
    }
    FileStatus rename(const QString& source, const QString& target) override
    {
        // A file system that replaces a file by removing it first, and then fails to rename.
        if (step == u"delete-then-rename"_s && --at == 0) {
            SystemCatalogueFiles::remove(target);
            return failure;
        }
        return fails(u"rename"_s, [&] { return SystemCatalogueFiles::rename(source, target); });
    }
    FileStatus syncFolder(const QString& path) override
    {
        return fails(u"syncFolder"_s, [&] { return SystemCatalogueFiles::syncFolder(path); });
    }
    LockAttempt lockForConversion(const QString& target) override
    {
        if (step == u"lock held"_s)
            return {LockAttempt::Kind::HeldElsewhere, nullptr, {}};
        if (step == u"lock failed"_s)
            return {LockAttempt::Kind::Failed, nullptr, failure};
        return SystemCatalogueFiles::lockForConversion(target);
    }

private:
    template <class Call>
    FileStatus fails(const QString& name, Call call)
    {
        if (name != step || --at != 0)
            return call();
        if (afterwards)
            call();
        return failure;
    }
};

} // namespace

class TestLegacyConversion : public QObject {
    Q_OBJECT

private slots:
    void readerAgreesWithMdbJson_data();
    void readerAgreesWithMdbJson();
    void readerStopsAtRowsBeyondTheDeclared();
    void convertsEverythingExactly_data();
    void convertsEverythingExactly();
    void searchesAndUpdatesAsBefore_data();
    void searchesAndUpdatesAsBefore();
    void badFilesChangeNothing_data();
    void badFilesChangeNothing();
    void readersGiveWayOnlyWhenTheyCannotRead_data();
    void readersGiveWayOnlyWhenTheyCannotRead();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void declinedCatalogueIsReported();
    void leftoversOfAKillAreTidied();
    void everyTypeConvertsExactly_data();
    void everyTypeConvertsExactly();
    void everySwapStepMayFail_data();
    void everySwapStepMayFail();
};

// The fixtures' own tables, read by our reader process, agree with mdbtools'
// own export (which leaves out NULL and empty values alike): texts as they
// are, currency as the same number (mdb-json drops its four decimals),
// floating-point numbers within the 8 or 16 digits mdbtools rounds them to,
// and dates before 1899-12-30, which mdbtools cannot show, as the calendar
// has them.
void TestLegacyConversion::readerAgreesWithMdbJson_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("table");
    QTest::addColumn<double>("tolerance");      // compared as numbers within this relative difference; -1: as texts
    QTest::addColumn<QVariantMap>("corrected"); // row name: its value where mdbtools is wrong
    const QString jet3 = u"testIndexCodesV1997.mdb"_s;
    QTest::newRow("Jet 4, Unicode") << u"testUnicodeCompV2003.mdb"_s << u"Table"_s << -1.0 << QVariantMap();
    // (FILE@OFFSET: the reader reads a copy whose property list at OFFSET is damaged; libmdb
    // prints a hex dump of it longer than its output buffer, ahead of every frame.)
    QTest::newRow("Jet 4, Unicode, a property list damaged")
        << u"testUnicodeCompV2003.mdb@243538"_s << u"Table"_s << -1.0 << QVariantMap();
    QTest::newRow("Jet 4, NULL-heavy, out of order")
        << u"overflowTestV2000.mdb"_s << u"Table1"_s << -1.0 << QVariantMap();
    // mdbtools reads the five bytes Windows-1252 leaves undefined as '?'; Windows as U+0081 to U+009D.
    QVariantMap undefinedBytes;
    for (const int byte : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        undefinedBytes[u"row%1"_s.arg(byte)] = QString(u"AA"_s + QChar(byte) + u"AA"_s);
    QTest::newRow("Jet 3, every byte value") << jet3 << u"Table1"_s << -1.0 << undefinedBytes;
    const QVariantMap beforeDayZero{{u"row3"_s, u"1899-12-07 00:00:00"_s},
                                    {u"row4"_s, u"1805-06-12 00:00:00"_s},
                                    {u"row8"_s, u"1668-07-20 00:00:00"_s},
                                    {u"row14"_s, u"1899-09-27 10:19:15"_s},
                                    {u"row19"_s, u"1899-12-29 02:24:00"_s}};
    QTest::newRow("Jet 3, date/time") << jet3 << u"Table6"_s << -1.0 << beforeDayZero;
    QTest::newRow("Jet 3, date/time, descending index") << jet3 << u"Table6_desc"_s << -1.0 << beforeDayZero;
    QTest::newRow("Jet 3, currency") << jet3 << u"Table8"_s << 0.0 << QVariantMap();
    QTest::newRow("Jet 3, replication ID") << jet3 << u"Table13"_s << -1.0 << QVariantMap();
    QTest::newRow("Jet 3, byte") << jet3 << u"Table9"_s << -1.0 << QVariantMap();
    QTest::newRow("Jet 3, integer") << jet3 << u"Table3"_s << -1.0 << QVariantMap();
    QTest::newRow("Jet 3, long integer") << jet3 << u"Table2"_s << -1.0 << QVariantMap();
    QTest::newRow("Jet 3, yes/no") << jet3 << u"Table10"_s << -1.0 << QVariantMap();
    QTest::newRow("Jet 3, single") << jet3 << u"Table5"_s << 1e-7 << QVariantMap();
    QTest::newRow("Jet 3, double") << jet3 << u"Table4"_s << 1e-15 << QVariantMap();
}

void TestLegacyConversion::readerAgreesWithMdbJson()
{
    QFETCH(QString, file);
    QFETCH(QString, table);
    QFETCH(double, tolerance);
    QFETCH(QVariantMap, corrected);
    const QString path = QStringLiteral(ONDIVA_FIXTURES "/") + file.section(u'@', 0, 0);
    if (!QFile::exists(path))
        QFAIL("the Access fixtures are missing from tests/data/access");
    QTemporaryDir dir;
    QString read = path;
    if (file.contains(u'@')) {
        read = dir.filePath(u"damaged.mdb"_s);
        QVERIFY(QFile::copy(path, read));
        QFile::setPermissions(read, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(damageProperties(read, file.section(u'@', 1).toLongLong()));
    }
    QProcess json;
    json.start(u"mdb-json"_s, {u"-T"_s, u"%Y-%m-%d %H:%M:%S"_s, path, table});
    if (!json.waitForFinished(30000) || json.exitCode() != 0)
        QFAIL("mdb-json is missing or failed (Debian package mdbtools): scripts/setup.sh installs it");
    const QList<QByteArray> lines = json.readAllStandardOutput().split('\n');

    std::vector<LegacyTable> tables;
    AccessChildReader reader = realReader();
    Unstopped unstopped;
    QVERIFY(!reader.listTables(read, tables, unstopped));
    const auto found = std::find_if(tables.begin(), tables.end(), [&](const auto& t) { return t.name == table; });
    QVERIFY(found != tables.end());

    struct Sink : LegacyRowSink {
        QStringList columns;
        QList<QVariantMap> rows;
        int nulls = 0;
        bool row(int, const LegacyRow& values) override
        {
            QVariantMap cells;
            for (qsizetype i = 0; i < columns.size(); ++i) {
                const LegacyValue& value = values[size_t(i)];
                nulls += value.kind == LegacyValue::Kind::Null ? 1 : 0;
                if (!value.data.empty())
                    cells[columns[i]] = QString::fromUtf8(value.data.data(), qsizetype(value.data.size()));
            }
            rows << cells;
            return true;
        }
        bool waiting() override { return true; }
    } sink;
    sink.columns = found->columns;
    QVERIFY(!reader.readTables(read, {table}, sink));
    QCOMPARE(qint64(sink.rows.size()), found->rows);
    qsizetype row = 0;
    for (const QByteArray& line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        QVERIFY2(row < sink.rows.size(), "mdb-json has more rows");
        QVariantMap fromJson = QJsonDocument::fromJson(line).object().toVariantMap();
        for (auto it = fromJson.begin(); it != fromJson.end(); ++it) {
            // A replication ID comes as the bytes of its text, without its fourth dash.
            const QVariantMap binary = it.value().toMap();
            it.value() =
                binary.isEmpty()
                    ? it.value().toString()
                    : QString::fromLatin1(QByteArray::fromBase64(binary[u"$binary"_s].toByteArray())).insert(24, u'-');
        }
        const QString name = fromJson.value(u"name"_s).toString();
        if (corrected.contains(name))
            fromJson[u"data"_s] = corrected[name];
        QVariantMap ours = sink.rows[row++];
        if (tolerance >= 0) {
            QCOMPARE(ours.contains(u"data"_s), fromJson.contains(u"data"_s));
            const double value = ours.take(u"data"_s).toDouble();
            const double theirs = fromJson.take(u"data"_s).toDouble();
            QVERIFY2(qAbs(value - theirs) <= tolerance * qAbs(theirs), qPrintable(name));
        }
        QCOMPARE(ours, fromJson);
    }
    QCOMPARE(row, sink.rows.size());
    if (file.startsWith(u"overflow"_s))
        QVERIFY(sink.nulls > 0);
}

// A table that yields more rows than its definition declares, as one whose
// pages loop in a damaged file would, is stopped at its first row too many.
void TestLegacyConversion::readerStopsAtRowsBeyondTheDeclared()
{
    QByteArray bytes = contents(QStringLiteral(ONDIVA_FIXTURES "/testIndexCodesV1997.mdb"));
    if (bytes.isEmpty())
        QFAIL("the Access fixtures are missing from tests/data/access");
    // Table6's definition (page 184 of 2 KiB) declares its 23 rows 12 bytes in; it now says 20.
    const qsizetype at = 184 * 2048 + 12;
    QCOMPARE(bytes.mid(at, 4), QByteArray("\x17\0\0\0", 4));
    bytes[at] = 20;
    QTemporaryDir dir;
    QFile file(dir.filePath(u"damaged.mdb"_s));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    struct Counter : LegacyRowSink {
        int rows = 0;
        bool row(int, const LegacyRow&) override { return ++rows > 0; }
        bool waiting() override { return true; }
    } counter;
    AccessChildReader reader = realReader();
    const std::optional<LegacyReadFailure> failed = reader.readTables(file.fileName(), {u"Table6"_s}, counter);
    QVERIFY(failed);
    QCOMPARE(failed->kind, LegacyReadFailure::Kind::ExtraRows);
    QCOMPARE(failed->table, u"Table6"_s);
    QCOMPARE(counter.rows, 20);
}

void TestLegacyConversion::convertsEverythingExactly_data()
{
    QTest::addColumn<JetVersion>("version");
    QTest::addColumn<QString>("formatName");
    QTest::newRow("Jet 4") << JetVersion::Jet4 << u"Access 2000-2003"_s;
    QTest::newRow("Jet 3") << JetVersion::Jet3 << u"Access 97"_s;
}

void TestLegacyConversion::convertsEverythingExactly()
{
    QFETCH(JetVersion, version);
    QFETCH(QString, formatName);
    std::string memo;
    while (memo.size() < 6000)
        memo += "Lungo testo con accenti àèìòù e virgolette “tipografiche” — ";
    Rows articles{
        {"Caffè e città", "Giulia D'Angelo", "7", memo},
        {"\"Virgolette\" e tab\tdentro", "riga\nnuova", "12", std::nullopt},
        {"’ ‘ “ ” – — … € Š œ ž Ÿ", "", std::nullopt, ""},
        {std::nullopt, std::nullopt, "300", "x"},
        {"Una pagina di note", "Autore", "5", std::string(1000, 'n') + "è"},
    };
    // The bytes Windows-1252 leaves undefined in Jet 3, and their characters in Jet 4.
    articles.push_back({"Byte senza nome: \u0081\u008D\u008F\u0090\u009D", "\u0090", "43", "\u009D\u0081"});
    if (version == JetVersion::Jet4) {
        articles.push_back({"Ελληνικά και Кириллица", "日本語", "42", std::nullopt});
        // Beyond U+FFFF, in a text and in a memo over several long-value pages.
        std::string notes;
        while (notes.size() < 9000)
            notes += "Chitarra 🎸, chiave di violino 𝄞; ";
        articles.push_back({"Chitarra 🎸 e 𝄞", "🎸", "44", notes});
    }
    std::vector<SourceTable> tables{
        {"articoli", {{"Articolo"}, {"Autore"}, {"Ondiva"}, {"NOTE", AccessColumn::Type::Memo}}, articles},
        {"Software_Win", texts({"SOFTWARE", "TYPE", "ONDIVA"}), {{"Mixer d'Epoca", "Demo", "62"}}},
        {"SOFTWARE_MAC", texts({"SOFTWARE", "TYPE", "ONDIVA"}), {}},
        {"GROOVES", texts({"GROOVE", "ONDIVA", "BPM"}), {{"Swing dell’ultimo tram", "61", "120"}}},
        {"Indice", texts({"VOCE"}), {{"resta nel file originale"}}},
        {"AGGIORNAMENTI", texts({"AggiornatoAl"}), {{"n.1"}, {"n.2"}}},
    };
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(u"qx.mdb"_s);
    QCOMPARE(writeAccess(catalogue, version, tables), std::string());
    const QByteArray original = contents(catalogue);

    AccessChildReader reader = realReader();
    Progress progress;
    const QList<fakes::ShownMessage> shown = offer(catalogue, reader, progress);
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown[0].text.contains(formatName) && shown[0].text.contains(u"«qx-originale-access.mdb»"_s),
             qPrintable(shown[0].text));
    QCOMPARE(shown[0].style, MessageBox::YesNo | MessageBox::IconQuestion);
    QVERIFY2(shown[1].text.startsWith(u"Il catalogo è stato convertito"_s), qPrintable(shown[1].text));
    for (const QString& count : {u"ARTICOLI: %1"_s.arg(articles.size()), u"SOFTWARE_MAC: 0"_s, u"AGGIORNAMENTI: 2"_s,
                                 u"le tabelle: Indice."_s})
        QVERIFY2(shown[1].text.contains(count), qPrintable(count + u" in "_s + shown[1].text));
    QCOMPARE(progress.total, qint64(articles.size() + 4));
    QVERIFY(!progress.open);

    // The catalogue is ours now, every value as it was; the original is kept byte for byte.
    SystemCatalogueFiles files;
    QVERIFY(Connection::openForWriting(catalogue, files).ok());
    QCOMPARE(dump(catalogue, "ARTICOLI"), expected(articles));
    QCOMPARE(dump(catalogue, "GROOVES"), QStringList(u"Swing dell’ultimo tram|61|120"_s));
    QCOMPARE(dump(catalogue, "SOFTWARE_MAC"), QStringList());
    QCOMPARE(dump(catalogue, "AGGIORNAMENTI"), QStringList({u"n.1"_s, u"n.2"_s}));
    QCOMPARE(contents(dir.filePath(u"qx-originale-access.mdb"_s)), original);
    QCOMPARE(filesIn(dir.path()), QStringList({u"qx-originale-access.mdb"_s, u"qx.mdb"_s}));
    QCOMPARE(testing::openCatalogueFiles(), 0);

    // A second Access file in its place keeps the first original: the name is never reused.
    QFile::remove(catalogue);
    QCOMPARE(writeAccess(catalogue, version, smallCatalogue()), std::string());
    const QList<fakes::ShownMessage> again = offer(catalogue, reader, progress);
    QVERIFY2(again[0].text.contains(u"«qx-originale-access-2.mdb»"_s), qPrintable(again[0].text));
    QCOMPARE(contents(dir.filePath(u"qx-originale-access.mdb"_s)), original);
    QCOMPARE(dump(catalogue, "ARTICOLI"), QStringList(u"Caffè e MIDI|Giulia D'Angelo|7"_s));
}

namespace {

// The five tables of an SQLite catalogue, as an Access file would hold them.
std::vector<SourceTable> fromSqlite(const QString& path)
{
    std::vector<SourceTable> tables;
    sqlite::Database db;
    db.open(path, false);
    for (const catalogue::TableSchema& schema : catalogue::kRequiredTables) {
        SourceTable table{schema.name, {}, {}};
        sqlite::Statement rows = db.prepare(QUtf8StringView(QByteArray("select * from ") + schema.name));
        for (int i = 0; i < rows.columnCount(); ++i)
            table.columns.push_back({rows.columnName(i).toString().toStdString(), AccessColumn::Type::Text});
        while (rows.step() == SQLITE_ROW) {
            std::vector<Value> row;
            for (int i = 0; i < rows.columnCount(); ++i)
                row.push_back(rows.isNull(i) ? Value()
                                             : Value(std::string(rows.text(i).data(), size_t(rows.text(i).size()))));
            table.rows.push_back(std::move(row));
        }
        tables.push_back(std::move(table));
    }
    return tables;
}

QStringList searchIn(const QString& catalogue, const search::PaneDefinition& pane, int option, const QString& term)
{
    fakes::FakeMessageBox messages;
    fakes::FakeTextBox box;
    box.value = term;
    std::array<fakes::FakeOption, 3> options;
    options[size_t(option)].selected = true;
    fakes::FakeResultList list;
    fakes::FakeLabel count;
    search::PaneSearch(catalogue, messages, u"t"_s)
        .run(pane, {box, {&options[0], &options[1], &options[2]}, list, count});
    return messages.shown.isEmpty() ? list.rows << count.caption : QStringList{messages.shown[0].text};
}

} // namespace

void TestLegacyConversion::searchesAndUpdatesAsBefore_data()
{
    QTest::addColumn<JetVersion>("version");
    QTest::newRow("Jet 4") << JetVersion::Jet4;
    QTest::newRow("Jet 3") << JetVersion::Jet3;
}

// The demo catalogue built from data/, taken through Access and back, answers
// every search as the original does, and knows the updates it recorded.
void TestLegacyConversion::searchesAndUpdatesAsBefore()
{
    QFETCH(JetVersion, version);
    const QString built = QStringLiteral(ONDIVA_DEMO_CATALOGUE);
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(u"qx.mdb"_s);
    QCOMPARE(writeAccess(catalogue, version, fromSqlite(built)), std::string());
    AccessChildReader reader = realReader();
    Progress progress;
    QVERIFY(offer(catalogue, reader, progress).last().text.startsWith(u"Il catalogo è stato convertito"_s));

    int searches = 0;
    for (const search::PaneDefinition& pane : search::kPanes) {
        for (int option = 0; option < pane.optionCount(); ++option) {
            for (const QString& term : {u""_s, u"a"_s, u"CAFF"_s, u"d'angelo"_s, u"1"_s, u"È"_s, u"_o%e"_s}) {
                QCOMPARE(searchIn(catalogue, pane, option, term), searchIn(built, pane, option, term));
                ++searches;
            }
        }
    }
    QCOMPARE(searches, 77);

    const QString applied = dir.filePath(u"n60.txt"_s);
    QFile file(applied);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("n.60\nARTICOLI(BOF)\nARTICOLI(EOF)\nW\nSOFTWARE_WIN(EOF)\nM\nSOFTWARE_MAC(EOF)\nG\nGROOVES(EOF)\n");
    file.close();
    QCOMPARE(testing::importAnsweringYes(catalogue, applied),
             u"Il database di Ondiva Magazine è già stato aggiornato al numero: 60"_s);
    QCOMPARE(
        testing::importAnsweringYes(catalogue, QStringLiteral(ONDIVA_SOURCE_DIR "/examples/aggiornamento-n61.txt")),
        u"Il database di Ondiva Magazine è stato aggiornato con successo!"_s);
}

void TestLegacyConversion::badFilesChangeNothing_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<QString>("says");
    const QString unreadable = u"Impossibile"_s;
    QTest::newRow("cut after its first page") << u"cut:4096"_s << unreadable;
    QTest::newRow("cut in half") << u"cut:half"_s << unreadable;
    QTest::newRow("last pages missing") << u"cut:-8192"_s << unreadable;
    QTest::newRow("pages of noise after the header") << u"noise"_s << unreadable;
    QTest::newRow("no GROOVES table") << u"drop:GROOVES"_s << u"manca la tabella GROOVES"_s;
    QTest::newRow("no AUTORE column") << u"drop:AUTORE"_s << u"manca la colonna AUTORE"_s;
    QTest::newRow("fixture, Jet 3") << u"fixture:testIndexCodesV1997.mdb"_s << u"manca la tabella ARTICOLI"_s;
    QTest::newRow("fixture, Jet 4") << u"fixture:testUnicodeCompV2003.mdb"_s << u"manca la tabella ARTICOLI"_s;
    QTest::newRow("fixture, Jet 4 overflow") << u"fixture:overflowTestV2000.mdb"_s << u"manca la tabella ARTICOLI"_s;
    // libmdb prints a hex dump of the property list at the offset given; the frames stay apart from it.
    QTest::newRow("fixture, Jet 3, a property list damaged")
        << u"fixture:testIndexCodesV1997.mdb@442494"_s << u"manca la tabella ARTICOLI"_s;
    QTest::newRow("fixture, Jet 4, a long property list damaged")
        << u"fixture:testUnicodeCompV2003.mdb@243538"_s << u"manca la tabella ARTICOLI"_s;
    QTest::newRow("folder read-only") << u"read-only folder"_s << u"la cartella che lo contiene è di sola lettura"_s;
    QTest::newRow("catalogue read-only") << u"read-only file"_s << u"il file è di sola lettura"_s;
    QTest::newRow("disk full") << u"disk full"_s << u"Impossibile convertire il catalogo"_s;
    QTest::newRow("reader hangs") << u"reader:hang"_s << u"non procedeva più ed è stata fermata"_s;
    QTest::newRow("reader crashes") << u"reader:crash"_s << u"si è interrotta"_s;
    QTest::newRow("reader talks nonsense") << u"reader:garbage"_s << u"ha inviato dati non validi"_s;
    QTest::newRow("reader breaks the order") << u"reader:outoforder"_s << u"ha inviato dati non validi"_s;
    QTest::newRow("table never ends") << u"reader:extrarows"_s << u"la tabella ARTICOLI dà più righe"_s;
    QTest::newRow("value too long mid-row") << u"reader:toolong-midrow"_s << u"un valore troppo lungo"_s;
    QTest::newRow("reader's pipe fails") << u"reader:pipe"_s << u"la comunicazione con il lettore"_s;
    QTest::newRow("reader missing") << u"reader:missing"_s << u"manca il lettore dei file di Access"_s;
}

void TestLegacyConversion::badFilesChangeNothing()
{
    QFETCH(QString, trouble);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(u"qx.mdb"_s);
    const QString what = trouble.section(u':', 1);
    QStringList expectedFiles{u"qx.mdb"_s};

    std::vector<SourceTable> tables = smallCatalogue();
    for (int i = 0; i < 3000; ++i)
        tables[0].rows.push_back({"Titolo " + std::to_string(i), "Autore", std::to_string(i % 300)});
    if (trouble == u"drop:GROOVES"_s)
        tables.erase(tables.begin() + 3);
    if (trouble == u"drop:AUTORE"_s) {
        tables[0].columns = texts({"ARTICOLO", "AUTRICE", "ONDIVA"});
    }
    if (trouble.startsWith(u"fixture:"_s)) {
        const QString fixtures = QStringLiteral(ONDIVA_FIXTURES);
        const QString fixture = fixtures + u'/' + what.section(u'@', 0, 0);
        if (!QFile::exists(fixture))
            QFAIL("the Access fixtures are missing from tests/data/access");
        QVERIFY(QFile::copy(fixture, catalogue));
        QVERIFY(QFile::copy(fixtures + u"/NOTICE.md"_s, dir.filePath(u"NOTICE.md"_s)));
        QFile::setPermissions(catalogue, QFile::ReadOwner | QFile::WriteOwner);
        if (what.contains(u'@'))
            QVERIFY(damageProperties(catalogue, what.section(u'@', 1).toLongLong()));
        expectedFiles.prepend(u"NOTICE.md"_s);
    } else {
        QCOMPARE(writeAccess(catalogue, JetVersion::Jet4, tables), std::string());
    }
    if (trouble.startsWith(u"cut:"_s) || trouble == u"noise"_s) {
        QByteArray bytes = contents(catalogue);
        if (trouble == u"noise"_s) {
            for (qsizetype i = 4096; i < bytes.size(); ++i)
                bytes[i] = char((i * 7919) >> 3);
        } else {
            const qsizetype size = what == u"half"_s       ? bytes.size() / 2
                                   : what.startsWith(u'-') ? bytes.size() + what.toLongLong()
                                                           : what.toLongLong();
            bytes.truncate(size);
        }
        QFile file(catalogue);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    const QByteArray before = contents(catalogue);

    QString program = QStringLiteral(ONDIVA_ACCESS_READER);
    if (trouble.startsWith(u"reader:"_s)) {
        program = what == u"missing"_s ? dir.filePath(u"no-such-reader"_s) : QStringLiteral(ONDIVA_FAKE_READER);
        qputenv("ONDIVA_FAKE_MODE", what.toLatin1());
    }
    AccessChildReader reader(program, 2000);
    Progress progress;
    const auto undo = [&] {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        struct rlimit unlimited {
            RLIM_INFINITY, RLIM_INFINITY
        };
        setrlimit(RLIMIT_FSIZE, &unlimited);
        qunsetenv("ONDIVA_FAKE_MODE");
    };
    const auto undoOnFailure = qScopeGuard(undo);
    if (trouble == u"read-only folder"_s)
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    if (trouble == u"read-only file"_s)
        QVERIFY(QFile::setPermissions(catalogue, QFile::ReadOwner | QFile::ReadGroup));
    if (trouble == u"disk full"_s) {
        // Every file this process writes may grow to 16 KiB and no more, as on a disk that fills up.
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small {
            16384, RLIM_INFINITY
        };
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    const QList<fakes::ShownMessage> shown = offer(catalogue, reader, progress);
    undo();

    QCOMPARE(shown.size(), 2);
    const QString notice = shown[1].text;
    QVERIFY2(notice.contains(says) && notice.endsWith(kUnchanged), qPrintable(notice));
    QCOMPARE(shown[1].style, MessageBox::Ok | MessageBox::IconCritical);
    QCOMPARE(contents(catalogue), before);
    QCOMPARE(filesIn(dir.path()), expectedFiles);
    QCOMPARE(testing::openCatalogueFiles(), 0);
    QVERIFY(!progress.open);
}

void TestLegacyConversion::readersGiveWayOnlyWhenTheyCannotRead_data()
{
    // The readers tried in turn: "real", "missing" (no such program) or a fake's mode.
    QTest::addColumn<QString>("readers");
    QTest::addColumn<int>("failure"); // a LegacyReadFailure::Kind, or -1 when the rows are read
    using Kind = LegacyReadFailure::Kind;
    QTest::newRow("the first reads") << u"real,missing"_s << -1;
    QTest::newRow("the first cannot start") << u"missing,real"_s << -1;
    QTest::newRow("the first finds no driver") << u"nodriver,real"_s << -1;
    QTest::newRow("the first ends at once, saying nothing") << u"silent,real"_s << -1;
    QTest::newRow("a crash, even before a word, has the last word") << u"silentcrash,real"_s << int(Kind::Crashed);
    QTest::newRow("none starts") << u"missing,missing"_s << int(Kind::ReaderMissing);
    QTest::newRow("none runs") << u"missing,silent"_s << int(Kind::ReaderMissing);
    QTest::newRow("no driver, then none starts") << u"nodriver,missing"_s << int(Kind::DriverMissing);
    QTest::newRow("none starts, then no driver") << u"missing,nodriver"_s << int(Kind::DriverMissing);
    QTest::newRow("a failing reader has the last word") << u"garbage,real"_s << int(Kind::BadStream);
}

void TestLegacyConversion::readersGiveWayOnlyWhenTheyCannotRead()
{
    QFETCH(QString, readers);
    QFETCH(int, failure);
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(u"qx.mdb"_s);
    QCOMPARE(writeAccess(catalogue, JetVersion::Jet4, smallCatalogue()), std::string());
    QStringList programs;
    for (const QString& reader : readers.split(u',')) {
        if (reader == u"real"_s) {
            programs += QStringLiteral(ONDIVA_ACCESS_READER);
        } else if (reader == u"missing"_s) {
            programs += dir.filePath(u"no-such-reader"_s);
        } else {
            programs += QStringLiteral(ONDIVA_FAKE_READER);
            qputenv("ONDIVA_FAKE_MODE", reader.toLatin1());
        }
    }
    const auto unsetMode = qScopeGuard([] { qunsetenv("ONDIVA_FAKE_MODE"); });
    AccessChildReader reader(programs, 5000);

    std::vector<LegacyTable> tables;
    Unstopped unstopped;
    std::optional<LegacyReadFailure> listed = reader.listTables(catalogue, tables, unstopped);
    QCOMPARE(listed ? int(listed->kind) : -1, failure);
    if (listed)
        return;
    struct Count : LegacyRowSink {
        qint64 rows = 0;
        bool row(int, const LegacyRow&) override { return ++rows, true; }
        bool waiting() override { return true; }
    } count;
    qint64 declared = 0;
    QStringList names;
    for (const LegacyTable& table : tables) {
        names += table.name;
        declared += table.rows;
    }
    QVERIFY(!reader.readTables(catalogue, names, count));
    QCOMPARE(count.rows, declared);
    QVERIFY(declared > 0);
}

void TestLegacyConversion::cancelChangesNothing_data()
{
    QTest::addColumn<QString>("reader"); // "real", or the fake's mode
    QTest::addColumn<int>("stopAt");     // rows after which the user presses Annulla
    QTest::newRow("while the rows are copied") << u"real"_s << 5000;
    // The reader's silence alone would end these only after its 20 seconds.
    QTest::newRow("while the tables are listed") << u"hang"_s << 0;
    QTest::newRow("while the reader ends") << u"lingers"_s << 0;
}

// Annulla stops the conversion at once, whatever it waits for, and leaves nothing behind.
void TestLegacyConversion::cancelChangesNothing()
{
    QFETCH(QString, reader);
    QFETCH(int, stopAt);
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(u"qx.mdb"_s);
    std::vector<SourceTable> tables = smallCatalogue();
    for (int i = 0; i < 20000; ++i)
        tables[0].rows.push_back({"Titolo " + std::to_string(i), "Autore", "1"});
    QCOMPARE(writeAccess(catalogue, JetVersion::Jet3, tables), std::string());
    const QByteArray before = contents(catalogue);
    if (reader != u"real"_s)
        qputenv("ONDIVA_FAKE_MODE", reader.toLatin1());
    const auto unsetMode = qScopeGuard([] { qunsetenv("ONDIVA_FAKE_MODE"); });
    AccessChildReader childReader(
        reader == u"real"_s ? QStringLiteral(ONDIVA_ACCESS_READER) : QStringLiteral(ONDIVA_FAKE_READER), 20000);
    Progress progress;
    progress.stopAt = stopAt;
    QElapsedTimer timer;
    timer.start();
    const QList<fakes::ShownMessage> shown = offer(catalogue, childReader, progress);
    // At once: far within the reader's 20 seconds, even on a busy machine.
    QVERIFY2(timer.elapsed() < 3000, qPrintable(u"stopped after %1 ms"_s.arg(timer.elapsed())));
    QVERIFY2(shown.last().text.startsWith(u"Conversione annullata."_s), qPrintable(shown.last().text));
    QCOMPARE(contents(catalogue), before);
    QCOMPARE(filesIn(dir.path()), QStringList(u"qx.mdb"_s));
}

// Declined, the conversion leaves the file alone, and each command says why it cannot work.
void TestLegacyConversion::declinedCatalogueIsReported()
{
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(u"qx.mdb"_s);
    QCOMPARE(writeAccess(catalogue, JetVersion::Jet4, smallCatalogue()), std::string());
    const QByteArray before = contents(catalogue);
    AccessChildReader reader = realReader();
    Progress progress;
    QCOMPARE(offer(catalogue, reader, progress, MessageBox::AnswerNo).size(), 1);
    QCOMPARE(progress.total, -1);

    const QString legacy = u"è ancora nel formato di Microsoft Access"_s;
    const QStringList found = searchIn(catalogue, search::kArticlesPane, 0, u"caff"_s);
    QVERIFY2(found.size() == 1 && found[0].contains(legacy), qPrintable(found.join(u'\n')));
    const QString imported =
        testing::importAnsweringYes(catalogue, QStringLiteral(ONDIVA_SOURCE_DIR "/examples/aggiornamento-n61.txt"));
    QVERIFY2(imported.contains(legacy) && imported.contains(u"non è stato modificato"_s), qPrintable(imported));
    QCOMPARE(contents(catalogue), before);
    QCOMPARE(filesIn(dir.path()), QStringList(u"qx.mdb"_s));
}

void TestLegacyConversion::leftoversOfAKillAreTidied()
{
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(u"qx.mdb"_s);
    QCOMPARE(writeAccess(catalogue, JetVersion::Jet4, smallCatalogue()), std::string());
    // Killed mid-way: a half-written new catalogue, and the original under its second name too.
    QFile half(catalogue + u".conversione-k1ll3d"_s);
    QVERIFY(half.open(QIODevice::WriteOnly));
    half.write("SQLite format 3");
    half.close();
    QCOMPARE(::link(QFile::encodeName(catalogue).constData(),
                    QFile::encodeName(dir.filePath(u"qx-originale-access.mdb"_s)).constData()),
             0);
    // A kept original that is a file of its own is the user's, and stays.
    QVERIFY(QFile::copy(catalogue, dir.filePath(u"qx-originale-access-2.mdb"_s)));

    SystemCatalogueFiles files;
    catalogue::LegacyConversion::tidy(catalogue, files);
    QCOMPARE(filesIn(dir.path()), QStringList({u"qx-originale-access-2.mdb"_s, u"qx.mdb"_s}));
}

void TestLegacyConversion::everyTypeConvertsExactly_data()
{
    QTest::addColumn<JetVersion>("version");
    QTest::newRow("Jet 4") << JetVersion::Jet4;
    QTest::newRow("Jet 3") << JetVersion::Jet3;
}

// Further columns of every Access type, with names of any characters, arrive
// in the new catalogue exactly: the texts the writer was given, bytes as bytes.
void TestLegacyConversion::everyTypeConvertsExactly()
{
    QFETCH(JetVersion, version);
    using Type = AccessColumn::Type;
    std::vector<AccessColumn> columns{{"ARTICOLO"},
                                      {"AUTORE"},
                                      {"ONDIVA"},
                                      {"Uscita (data)", Type::DateTime},
                                      {"Prezzo €", Type::Currency},
                                      {"Peso \"netto\"", Type::Double},
                                      {"Volume", Type::Single},
                                      {"Sì/No", Type::Boolean},
                                      {"N°", Type::Long},
                                      {"Pagine", Type::Integer},
                                      {"Voto", Type::Byte},
                                      {"Codice 'replica'", Type::Guid},
                                      {"Copertina", Type::Ole},
                                      {"data-uscita.bin", Type::Binary}};
    std::string picture;
    for (int i = 0; i < 9000; ++i)
        picture += char(i * 7 % 256);
    Rows rows{
        {"Caffè", "Giulia", "7", "1899-12-30 00:00:00", "-12.3400", "3.141592653589793", "0.1", "1", "-2147483648",
         "-32768", "255", "{6F9619FF-8B86-D011-B42D-00C04FC964FF}", picture, std::string("\0\xff\x01", 3)},
        {"Virgole", "Anna", "8", "1850-07-14 06:30:00", "922337203685477.5807", "1e+300", "-0", "0", "0", "0", "0",
         "{00000000-0000-0000-0000-000000000000}", std::string("\0", 1), ""},
        {"Notte", "Bruno", "9", "9999-12-31 23:59:59", "0.0000", "-2.5e-308", "3.4028235e+38", std::nullopt,
         std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {"Alba", std::nullopt, "10", "2024-02-29 12:00:01", "0.0001", "-0", "1e-45", "1", "7", "1", "1",
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}", "", std::nullopt},
    };
    if (version == JetVersion::Jet4) {
        columns.push_back({"Importo 🎸 (decimale)", Type::Decimal, 28, 4});
        rows[0].push_back("-123456789012345678901234.5678");
        rows[1].push_back("0.0000");
        rows[2].push_back(std::nullopt);
        rows[3].push_back("1.0001");
    }
    std::vector<SourceTable> tables = smallCatalogue();
    tables[0] = {"ARTICOLI", columns, rows};
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(u"qx.mdb"_s);
    QCOMPARE(writeAccess(catalogue, version, tables), std::string());
    AccessChildReader reader = realReader();
    Progress progress;
    const QString notice = offer(catalogue, reader, progress).last().text;
    QVERIFY2(notice.startsWith(u"Il catalogo è stato convertito"_s), qPrintable(notice));

    sqlite::Database db;
    QCOMPARE(db.open(catalogue, false), SQLITE_OK);
    sqlite::Statement read = db.prepare("select * from ARTICOLI order by rowid");
    for (int c = 0; c < read.columnCount(); ++c)
        QCOMPARE(read.columnName(c).toString(), QString::fromStdString(columns[size_t(c)].name));
    QCOMPARE(read.columnCount(), int(columns.size()));
    for (const auto& row : rows) {
        QCOMPARE(read.step(), SQLITE_ROW);
        for (int c = 0; c < read.columnCount(); ++c) {
            const AccessColumn& column = columns[size_t(c)];
            const bool bytes = column.type == Type::Ole || column.type == Type::Binary;
            // A Yes/No value is never NULL: it lives in the row's null bits.
            const Value expected = column.type == Type::Boolean && !row[size_t(c)] ? Value("0") : row[size_t(c)];
            const int type = sqlite3_column_type(read.get(), c);
            const auto* data = static_cast<const char*>(sqlite3_column_blob(read.get(), c));
            const std::string got(data ? data : "", size_t(sqlite3_column_bytes(read.get(), c)));
            const QByteArray where = QByteArray(column.name.c_str()) + ": " + QByteArray::fromStdString(got).toHex();
            if (!expected) {
                QVERIFY2(type == SQLITE_NULL, where.constData());
                continue;
            }
            QVERIFY2(type == (bytes ? SQLITE_BLOB : SQLITE_TEXT), where.constData());
            QVERIFY2(got == *expected, where.constData());
        }
    }
    QCOMPARE(read.step(), SQLITE_DONE);
}

void TestLegacyConversion::everySwapStepMayFail_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("at");
    QTest::addColumn<bool>("afterwards");
    QTest::addColumn<QString>("outcome"); // unchanged, in use, converted, unconfirmed, elsewhere, only kept
    QTest::newRow("new file not created") << u"createBeside"_s << 1 << false << u"unchanged"_s;
    QTest::newRow("new file not synced") << u"sync"_s << 1 << false << u"unchanged"_s;
    QTest::newRow("original not kept") << u"keepAs"_s << 1 << false << u"unchanged"_s;
    QTest::newRow("kept name not synced") << u"syncFolder"_s << 1 << false << u"unchanged"_s;
    QTest::newRow("not renamed") << u"rename"_s << 1 << false << u"unchanged"_s;
    QTest::newRow("not renamed: another program has it open") << u"rename"_s << 1 << false << u"in use"_s;
    QTest::newRow("renamed, yet reported failed") << u"rename"_s << 1 << true << u"unconfirmed"_s;
    QTest::newRow("catalogue removed, then not renamed") << u"delete-then-rename"_s << 1 << false << u"only kept"_s;
    QTest::newRow("renamed but not synced") << u"syncFolder"_s << 2 << false << u"unconfirmed"_s;
    QTest::newRow("another window converts") << u"real lock"_s << 1 << false << u"elsewhere"_s;
    QTest::newRow("another window, as the files say") << u"lock held"_s << 1 << false << u"elsewhere"_s;
    QTest::newRow("no lock to be had") << u"lock failed"_s << 1 << false << u"no lock"_s;
    QTest::newRow("nothing fails") << QString() << 1 << false << u"converted"_s;
}

// Whichever step of the swap fails, the original's bytes keep a name, the
// notice tells what is on disk, and a conversion that has taken the name stands.
void TestLegacyConversion::everySwapStepMayFail()
{
    QFETCH(QString, step);
    QFETCH(int, at);
    QFETCH(bool, afterwards);
    QFETCH(QString, outcome);
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(u"qx.mdb"_s);
    QCOMPARE(writeAccess(catalogue, JetVersion::Jet4, smallCatalogue()), std::string());
    const QByteArray original = contents(catalogue);
    // What a conversion running in another window has written so far.
    const QString running = catalogue + u".conversione-running"_s;
    QVERIFY(QFile(running).open(QIODevice::WriteOnly));

    FailingFiles files;
    files.step = step;
    files.at = at;
    files.afterwards = afterwards;
    if (outcome == u"in use"_s)
        files.failure = {FileStatus::Kind::InUse, u"The process cannot access the file"_s};
    fakes::FakeMessageBox messages;
    messages.answers = {MessageBox::AnswerYes};
    AccessChildReader reader = realReader();
    Progress progress;
    LockAttempt other;
    if (step == u"real lock"_s)
        other = SystemCatalogueFiles().lockForConversion(catalogue);
    catalogue::ConversionOffer(catalogue, u"Ondiva"_s, messages, reader, files, progress).run();
    other.lock.reset();

    const QString notice = messages.shown.last().text;
    const int icon = messages.shown.last().style & ~MessageBox::YesNo;
    const QString kept = dir.filePath(u"qx-originale-access.mdb"_s);
    if (outcome == u"elsewhere"_s || outcome == u"no lock"_s) {
        // Asked nothing, touched nothing, not even the other conversion's file.
        QCOMPARE(messages.shown.size(), 1);
        QVERIFY2(notice.contains(outcome == u"elsewhere"_s ? u"un'altra finestra del programma lo sta convertendo"_s
                                                            : u"Il catalogo non è stato modificato."_s),
                 qPrintable(notice));
        QCOMPARE(filesIn(dir.path()), QStringList({u"qx.mdb"_s, u"qx.mdb.conversione-running"_s}));
        QCOMPARE(contents(catalogue), original);
        return;
    }
    QCOMPARE(messages.shown.size(), 2);
    if (outcome == u"only kept"_s) {
        // The original lost its own name: its second one stays, and the notice says where it is.
        QVERIFY2(notice.contains(u"non ha più il nome «qx.mdb»: è conservato, senza modifiche, con il nome "
                                 u"«qx-originale-access.mdb»"_s) &&
                     !notice.contains(kUnchanged),
                 qPrintable(notice));
        QCOMPARE(filesIn(dir.path()), QStringList(u"qx-originale-access.mdb"_s));
        QCOMPARE(contents(kept), original);
        return;
    }
    if (outcome == u"unchanged"_s || outcome == u"in use"_s) {
        QVERIFY2(notice.endsWith(kUnchanged), qPrintable(notice));
        QCOMPARE(notice.contains(u"in uso da parte di un altro programma"_s), outcome == u"in use"_s);
        QCOMPARE(icon, int(MessageBox::IconCritical));
        QCOMPARE(filesIn(dir.path()), QStringList(u"qx.mdb"_s));
        QCOMPARE(contents(catalogue), original);
        return;
    }
    QVERIFY2(notice.startsWith(u"Il catalogo è stato convertito"_s), qPrintable(notice));
    QCOMPARE(notice.contains(u"non ha potuto confermare"_s), outcome == u"unconfirmed"_s);
    QCOMPARE(icon, int(outcome == u"unconfirmed"_s ? MessageBox::IconExclamation : MessageBox::IconInformation));
    QCOMPARE(filesIn(dir.path()), QStringList({u"qx-originale-access.mdb"_s, u"qx.mdb"_s}));
    QCOMPARE(contents(kept), original);
    QVERIFY(Connection::openForWriting(catalogue, files).ok());
}

QTEST_GUILESS_MAIN(TestLegacyConversion)
#include "tst_legacyconversion.moc"
