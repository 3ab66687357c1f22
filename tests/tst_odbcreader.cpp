// The Windows Access reader (ODBC), run for real under Wine: Wine's odbc32
// hands the calls to the host's unixODBC, where mdbtools' ODBC driver is
// registered under the name of Windows' Access driver (scripts/windows/package.sh
// writes that configuration and the reference readings of the Linux reader).
// The reader must read every file as the Linux reader does, and the program
// must convert through it; without a driver the user is told what to install.

#include "catalogue/CatalogueConnection.h"
#include "catalogue/ConversionOffer.h"
#include "fakes/FakeControls.h"
#include "platform/reader/AccessChildReader.h"
#include "platform/controls/ConversionProgress.h"
#include "platform/files/SystemCatalogueFiles.h"

#include "accessframes/AccessFrames.h"

#include <QDir>
#include <algorithm>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace ondiva;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kData = QStringLiteral(ONDIVA_ODBC_DATA);
const QString kReader = QStringLiteral(ONDIVA_ACCESS_READER);

// What a reader's frames came to.
struct Reading : access::FrameHandler {
    struct Table {
        QString name;
        QStringList columns;
        quint64 rows = 0;
        std::vector<std::vector<std::optional<QByteArray>>> values; // NULL as nullopt
        std::vector<std::vector<access::ValueKind>> kinds;
    };
    std::vector<Table> tables;
    QString message;
    access::FailureReason reason{};

    bool table(std::string_view name, const std::vector<std::string_view>& columns, std::uint64_t rows) override
    {
        Table table{QString::fromUtf8(name.data(), qsizetype(name.size())), {}, rows, {}, {}};
        for (std::string_view column : columns)
            table.columns << QString::fromUtf8(column.data(), qsizetype(column.size()));
        tables.push_back(table);
        return true;
    }
    bool row(const std::vector<access::Value>& values) override
    {
        auto& row = tables.back().values.emplace_back();
        auto& kinds = tables.back().kinds.emplace_back();
        for (const access::Value& value : values) {
            kinds.push_back(value.kind);
            if (value.kind == access::ValueKind::Null)
                row.push_back(std::nullopt);
            else
                row.push_back(QByteArray(value.data.data(), qsizetype(value.data.size())));
        }
        return true;
    }
    bool endTable() override { return true; }
    void failure(access::FailureReason why, std::string_view text) override
    {
        reason = why;
        this->message = QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    void done() override {}
};

// Decodes a stream of frames, as the program does; the state says how it ended.
access::FrameReader::State decode(const QByteArray& bytes, access::Request request, Reading& reading)
{
    access::FrameReader reader(reading, std::move(request));
    reader.feed(std::string_view(bytes.constData(), size_t(bytes.size())));
    return reader.state();
}

QByteArray runReader(const QStringList& arguments)
{
    QProcess reader;
    reader.setStandardErrorFile(QProcess::nullDevice());
    reader.start(kReader, arguments);
    if (!reader.waitForFinished(120000))
        return {};
    return reader.readAllStandardOutput();
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Which driver configuration this run of the test has (set per CTest entry).
bool driverRegistered() { return qEnvironmentVariable("ODBCSYSINI").endsWith(u"/odbcinst"_s); }

class Progress : public ConversionProgress {
public:
    void runWhileShown(const std::function<void()>& work) override { work(); }
    void start(qint64) override {}
    bool advance(qint64) override { return true; }
};

// The program's conversion as the user meets it: asked, answered Yes, told the outcome.
QList<fakes::ShownMessage> offer(const QString& catalogue)
{
    fakes::FakeMessageBox messages;
    messages.answers = {MessageBox::AnswerYes};
    AccessChildReader reader(kReader, 60000);
    SystemCatalogueFiles files;
    Progress progress;
    catalogue::ConversionOffer(catalogue, u"Ondiva"_s, messages, reader, files, progress).run();
    return messages.shown;
}

qint64 rowsOf(const QString& catalogue, const char* table)
{
    Result<catalogue::Connection> db = catalogue::Connection::open(catalogue, catalogue::Connection::Access::Read);
    if (!db)
        return -1;
    Result<catalogue::Cursor> count = db->execute(QUtf8StringView(QByteArray("select count(*) from ") + table));
    return count ? count->field(0).toString().toLongLong() : -1;
}

} // namespace

class TestOdbcReader : public QObject {
    Q_OBJECT

private slots:
    void init();
    void readsAsTheLinuxReader_data();
    void readsAsTheLinuxReader();
    void convertsACatalogue_data();
    void convertsACatalogue();
    void withoutDriverNothingIsWritten();
};

void TestOdbcReader::init()
{
    if (!QFile::exists(kData + u"/odbcinst/odbcinst.ini"_s))
        QSKIP("no test data: scripts/windows/package.sh makes it (the Access files need the Linux build's makeaccess)");
}

void TestOdbcReader::readsAsTheLinuxReader_data()
{
    QTest::addColumn<QString>("file");
    for (const char* name : {"testIndexCodesV1997", "testUnicodeCompV2003", "overflowTestV2000", "jet3", "jet4"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Lists and dumps a file and compares with what the Linux reader read from it.
void TestOdbcReader::readsAsTheLinuxReader()
{
    QFETCH(QString, file);
    if (!driverRegistered())
        QSKIP("this run has no Access driver registered");
    Reading expectedList;
    QCOMPARE(decode(contents(kData + u'/' + file + u".list"_s), access::Request::listing(), expectedList),
             access::FrameReader::State::Done);
    Reading expected;
    std::vector<std::string> names;
    QStringList arguments{u"dump"_s, kData + u'/' + file + u".mdb"_s};
    for (const auto& table : expectedList.tables) {
        names.push_back(table.name.toStdString());
        arguments << table.name;
    }
    QCOMPARE(decode(contents(kData + u'/' + file + u".dump"_s), access::Request::dump(names), expected),
             access::FrameReader::State::Done);

    // The listing: the same tables (the driver lists them by name), columns and declared rows.
    Reading listed;
    QCOMPARE(decode(runReader({u"list"_s, kData + u'/' + file + u".mdb"_s}), access::Request::listing(), listed),
             access::FrameReader::State::Done);
    const auto byName = [](const Reading::Table& a, const Reading::Table& b) { return a.name < b.name; };
    std::sort(listed.tables.begin(), listed.tables.end(), byName);
    std::sort(expectedList.tables.begin(), expectedList.tables.end(), byName);
    QCOMPARE(listed.tables.size(), expectedList.tables.size());
    for (size_t t = 0; t < listed.tables.size(); ++t) {
        QCOMPARE(listed.tables[t].name, expectedList.tables[t].name);
        QCOMPARE(listed.tables[t].columns, expectedList.tables[t].columns);
        QCOMPARE(listed.tables[t].rows, expectedList.tables[t].rows);
    }

    // The rows, value by value.
    Reading dumped;
    QCOMPARE(decode(runReader(arguments), access::Request::dump(names), dumped), access::FrameReader::State::Done);
    QCOMPARE(dumped.tables.size(), expected.tables.size());
    int compared = 0;
    int emptyAsNull = 0;
    int guidAsText = 0;
    int earlyDates = 0;
    int undefinedBytes = 0;
    for (size_t t = 0; t < dumped.tables.size(); ++t) {
        const auto& got = dumped.tables[t];
        const auto& want = expected.tables[t];
        QCOMPARE(got.values.size(), want.values.size());
        for (size_t r = 0; r < got.values.size(); ++r) {
            QCOMPARE(got.values[r].size(), want.values[r].size());
            for (size_t c = 0; c < got.values[r].size(); ++c) {
                const auto& value = got.values[r][c];
                const auto& reference = want.values[r][c];
                const QString where = u"%1 row %2 column %3"_s.arg(got.name).arg(r).arg(got.columns[int(c)]);
                // mdbtools' ODBC driver reports an empty text as NULL (a value of no
                // length is NULL to it); Microsoft's driver tells them apart.
                if (!value && reference && reference->isEmpty()) {
                    ++emptyAsNull;
                    continue;
                }
                QVERIFY2(value.has_value() == reference.has_value(), qPrintable(where));
                if (!value)
                    continue;
                // mdbtools' driver reports a replication ID as a text column, without
                // braces; Microsoft's reports SQL_GUID, which the reader puts in braces.
                if (*reference == '{' + *value + '}') {
                    ++guidAsText;
                    continue;
                }
                // mdbtools' driver turns dates before Access's day 0 (1899-12-30) into
                // wrong ones; only Microsoft's can be held to those.
                if (reference->size() == 19 && *reference < "1899-12-30" && *value != *reference) {
                    ++earlyDates;
                    continue;
                }
                // mdbtools' driver reads the bytes Windows-1252 leaves undefined (Jet 3) as
                // '?'; Microsoft's reads them as U+0081 to U+009D, as the Linux reader does.
                QByteArray undefined = *reference;
                for (const char* character : {"\u0081", "\u008D", "\u008F", "\u0090", "\u009D"})
                    undefined.replace(character, "?");
                if (undefined != *reference && *value == undefined) {
                    ++undefinedBytes;
                    continue;
                }
                QCOMPARE(int(got.kinds[r][c]), int(want.kinds[r][c]));
                QVERIFY2(*value == *reference, qPrintable(where + u": "_s + QString::fromUtf8(*value) + u" / "_s +
                                                          QString::fromUtf8(*reference)));
                ++compared;
            }
        }
    }
    qInfo("%s: %d tables, %d values the same, %d empty texts read as NULL, %d replication IDs as bare text, "
          "%d dates before 1899-12-30 not compared, %d texts with bytes Windows-1252 leaves undefined read as '?'",
          qPrintable(file), int(dumped.tables.size()), compared, emptyAsNull, guidAsText, earlyDates, undefinedBytes);
}

void TestOdbcReader::convertsACatalogue_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("Jet 3") << u"jet3"_s;
    QTest::newRow("Jet 4") << u"jet4"_s;
}

// The program converts a catalogue through the reader: every row, the original kept byte for byte.
void TestOdbcReader::convertsACatalogue()
{
    QFETCH(QString, file);
    if (!driverRegistered())
        QSKIP("this run has no Access driver registered");
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(u"qx.mdb"_s);
    const QByteArray original = contents(kData + u'/' + file + u".mdb"_s);
    QVERIFY(QFile::copy(kData + u'/' + file + u".mdb"_s, catalogue));

    const QList<fakes::ShownMessage> shown = offer(catalogue);
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown[1].text.startsWith(u"Il catalogo è stato convertito"_s), qPrintable(shown[1].text));
    for (const char* table : {"ARTICOLI", "SOFTWARE_WIN", "SOFTWARE_MAC", "GROOVES", "AGGIORNAMENTI"})
        QCOMPARE(rowsOf(catalogue, table), rowsOf(QStringLiteral(ONDIVA_DEMO_CATALOGUE), table));
    int kept = 0;
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files)) {
        if (name.startsWith(u"qx-originale-access"_s) && contents(dir.filePath(name)) == original)
            ++kept;
    }
    QCOMPARE(kept, 1);
}

// With no Access driver the reader says so, and the user is told what to install.
void TestOdbcReader::withoutDriverNothingIsWritten()
{
    if (driverRegistered())
        QSKIP("this run has the Access driver registered");
    Reading reading;
    QCOMPARE(decode(runReader({u"list"_s, kData + u"/jet4.mdb"_s}), access::Request::listing(), reading),
             access::FrameReader::State::Failed);
    QCOMPARE(reading.reason, access::FailureReason::NoDriver);

    QTemporaryDir dir;
    const QString catalogue = dir.filePath(u"qx.mdb"_s);
    QVERIFY(QFile::copy(kData + u"/jet4.mdb"_s, catalogue));
    const QByteArray original = contents(catalogue);
    const QList<fakes::ShownMessage> shown = offer(catalogue);
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown[1].text.contains(u"Microsoft Access Database Engine"_s), qPrintable(shown[1].text));
    QVERIFY2(shown[1].text.contains(u"Il catalogo non è stato modificato."_s), qPrintable(shown[1].text));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{u"qx.mdb"_s});
    QCOMPARE(contents(catalogue), original);
}

QTEST_GUILESS_MAIN(TestOdbcReader)
#include "tst_odbcreader.moc"
