// Kills a real import, and a real conversion of an Access catalogue, at random
// moments and checks each time that nothing half-done ever takes the
// catalogue's name.

#include "AccessWriter.h"
#include "CatalogueGenerator.h"
#include "TestCatalogue.h"
#include "catalogue/CatalogueBringIn.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/LegacyConversion.h"
#include "catalogue/LegacyFormat.h"
#include "platform/files/SystemCatalogueFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>
#include <memory>
#include <optional>

#include <csignal>

using namespace ondiva;
using ondiva::testing::TestCatalogue;

namespace {

constexpr std::size_t kRowsPerTable = 40000;
const QStringList kTables{QStringLiteral("ARTICOLI"), QStringLiteral("SOFTWARE_WIN"), QStringLiteral("SOFTWARE_MAC"),
                          QStringLiteral("GROOVES"), QStringLiteral("AGGIORNAMENTI")};

struct Snapshot {
    QList<qsizetype> counts;
    bool operator==(const Snapshot&) const = default;
};

// Opens the catalogue as the program does (which finishes any interrupted
// update's recovery), checks its integrity and counts its rows.
Snapshot inspect(const QString& path)
{
    SystemCatalogueFiles files;
    Result<catalogue::Connection> connection = catalogue::Connection::openForWriting(path, files);
    if (!connection)
        qFatal("cannot open the catalogue after a kill: %s", qPrintable(connection.error().message));
    Result<catalogue::Cursor> check = connection->execute("pragma integrity_check");
    if (!check || check->field(0).toString() != QStringLiteral("ok"))
        qFatal("integrity check failed after a kill");
    Snapshot snapshot;
    for (const QString& table : kTables) {
        const QByteArray sql = "select count(*) from " + table.toLatin1();
        Result<catalogue::Cursor> count = connection->execute(QUtf8StringView(sql));
        snapshot.counts << count->field(0).toString().toLongLong();
    }
    return snapshot;
}

int killCount()
{
    return qEnvironmentVariableIntValue("ONDIVA_CRASH_KILLS") > 0 ? qEnvironmentVariableIntValue("ONDIVA_CRASH_KILLS")
                                                                  : 40;
}

// The crash harness: runs a child once to its end to learn how long it takes,
// then `kills` more times, each killed with SIGKILL at a random moment of
// about 1.1 times that. Before each run `fresh` lays out the files anew;
// `writing` tells, just before the kill, whether the child was mid-way through
// its writing; `check` judges what the kill left. Returns the kills that
// landed while writing, after asserting that they are a good share: kills that
// all fell before or after the writing would prove nothing.
int killAtRandomMoments(int kills, const QString& program, const QStringList& arguments,
                        const std::function<void()>& fresh, const std::function<bool()>& writing,
                        const std::function<void(int kill)>& check)
{
    fresh();
    QElapsedTimer timer;
    timer.start();
    QProcess child;
    child.start(program, arguments);
    if (!child.waitForStarted() || !child.waitForFinished(120000) || child.exitCode() != 0)
        qFatal("the child run to its end failed: %s", child.readAllStandardOutput().constData());
    const qint64 duration = timer.elapsed();

    int whileWriting = 0;
    for (int i = 0; i < kills; ++i) {
        fresh();
        QProcess victim;
        victim.start(program, arguments);
        if (!victim.waitForStarted())
            qFatal("the child did not start");
        QThread::msleep(QRandomGenerator::global()->bounded(quint32(duration * 11 / 10 + 1)));
        const bool midWay = writing();
        ::kill(pid_t(victim.processId()), SIGKILL);
        victim.waitForFinished(10000);
        whileWriting += midWay ? 1 : 0;
        check(i);
        if (QTest::currentTestFailed())
            return whileWriting;
    }
    qInfo("%d kills in a run of about %lld ms, %d of them while it was writing", kills, duration, whileWriting);
    if (whileWriting * 4 < kills)
        QTest::qFail(
            qPrintable(
                QStringLiteral("only %1 of %2 kills landed while the child was writing").arg(whileWriting).arg(kills)),
            __FILE__, __LINE__);
    return whileWriting;
}

// The next start's lock on the catalogue. A process forked by the killed child
// (its Access reader, between fork and exec) may still share the lock's
// descriptor for a moment on a busy machine: the lock is tried for a while.
LockAttempt lockAfterKill(CatalogueFiles& files, const QString& catalogue)
{
    QElapsedTimer waited;
    waited.start();
    LockAttempt lock = files.lockForConversion(catalogue);
    while (lock.kind == LockAttempt::Kind::HeldElsewhere && waited.elapsed() < 5000) {
        QThread::msleep(20);
        lock = files.lockForConversion(catalogue);
    }
    return lock;
}

} // namespace

class TestCrashConsistency : public QObject {
    Q_OBJECT

private slots:
    void killedImportLeavesNoneOrAll();
    void killedConversionLeavesOriginalOrComplete();
    void killedBringingInLeavesPreviousOrComplete();
};

void TestCrashConsistency::killedImportLeavesNoneOrAll()
{
    TestCatalogue pristine;
    pristine.insert("ARTICOLI", {QStringLiteral("ARTICOLO"), QStringLiteral("ONDIVA")},
                    {{QStringLiteral("Già presente"), QStringLiteral("1")}});
    pristine.insert("AGGIORNAMENTI", {QStringLiteral("AGGIORNATOAL")}, {{QStringLiteral("n.1")}});
    const QString update = QDir(pristine.dir()).filePath(QStringLiteral("aggiornamento.txt"));
    QVERIFY(bench::CatalogueGenerator::writeUpdateFile(update.toStdString(), "n.300", kRowsPerTable));
    const QString catalogue = QDir(pristine.dir()).filePath(QStringLiteral("work/qx.mdb"));
    QVERIFY(QDir(pristine.dir()).mkpath(QStringLiteral("work")));
    const auto fresh = [&] {
        QFile::remove(catalogue);
        QVERIFY(QFile::copy(pristine.path(), catalogue));
    };

    fresh();
    const Snapshot none = inspect(catalogue);
    int sawNone = 0;
    int sawAll = 0;
    const auto writing = [&] { return QFile::exists(catalogue + QStringLiteral("-journal")); };
    const auto check = [&](int kill) {
        const Snapshot after = inspect(catalogue);
        if (after == none)
            ++sawNone;
        else if (after.counts[0] == none.counts[0] + qsizetype(kRowsPerTable) && after.counts[4] == none.counts[4] + 1)
            ++sawAll;
        else
            QFAIL(qPrintable(QStringLiteral("kill %1 left a half-applied update").arg(kill)));
        // The recovery left nothing beside the catalogue.
        QCOMPARE(QDir(QFileInfo(catalogue).path()).entryList(QDir::Files).join(u','), QStringLiteral("qx.mdb"));
    };
    killAtRandomMoments(killCount(), QStringLiteral(ONDIVA_IMPORT_CHILD), {catalogue, update}, fresh, writing, check);
    qInfo("%d left none of the update, %d all of it", sawNone, sawAll);
}

// Killed at any moment, a conversion leaves either the untouched Access file
// or the complete new catalogue under the catalogue's name, and the Access
// file's bytes under some name; the next start tidies what is left.
void TestCrashConsistency::killedConversionLeavesOriginalOrComplete()
{
    QTemporaryDir dir;
    const QString original = dir.filePath(QStringLiteral("original.mdb"));
    const QString work = dir.filePath(QStringLiteral("work"));
    const QString catalogue = work + QStringLiteral("/qx.mdb");
    const QString kept = work + QStringLiteral("/qx-originale-access.mdb");
    QVERIFY(QDir().mkpath(work));

    constexpr std::size_t kRows = 30000;
    std::vector<accesswriter::AccessTable> tables;
    for (const catalogue::TableSchema& schema : catalogue::kRequiredTables) {
        accesswriter::AccessTable table{schema.name, {}, {}};
        for (const char* column : schema.usedColumns())
            table.columns.push_back({column, accesswriter::AccessColumn::Type::Text});
        auto done = std::make_shared<std::size_t>(0);
        const std::size_t columns = table.columns.size();
        table.nextRow = [done, columns](accesswriter::AccessRow& row) {
            if (++*done > kRows)
                return false;
            for (std::size_t c = 0; c < columns; ++c)
                row[c] = "valore " + std::to_string(*done) + "." + std::to_string(c);
            return true;
        };
        tables.push_back(std::move(table));
    }
    QCOMPARE(accesswriter::writeAccessFile(original.toStdString(), accesswriter::JetVersion::Jet4, std::move(tables)),
             std::string());
    QFile source(original);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    const auto contents = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };

    const auto fresh = [&] {
        for (const QString& name : QDir(work).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(work + u'/' + name);
        QVERIFY(QFile::copy(original, catalogue));
    };
    SystemCatalogueFiles files;
    const auto writing = [&] { return !files.filesBeside(catalogue, QStringLiteral(".conversione-")).isEmpty(); };
    int sawOriginal = 0;
    int sawConverted = 0;
    const auto check = [&](int kill) {
        const bool converted = !catalogue::accessFormatOfFile(catalogue);
        if (converted) {
            const Snapshot after = inspect(catalogue);
            QCOMPARE(after.counts, QList<qsizetype>(5, qsizetype(kRows)));
            QCOMPARE(contents(kept), bytes);
            ++sawConverted;
        } else {
            QVERIFY2(contents(catalogue) == bytes,
                     qPrintable(QStringLiteral("kill %1 changed the original").arg(kill)));
            ++sawOriginal;
        }
        // The next start takes over the dead process's lock and removes what the
        // kill left: an unfinished catalogue, a second name of the original.
        LockAttempt lock = lockAfterKill(files, catalogue);
        QCOMPARE(lock.kind, LockAttempt::Kind::Acquired);
        catalogue::LegacyConversion::tidy(catalogue, files);
        lock.lock.reset();
        const QStringList left = QDir(work).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, converted ? QStringList({QStringLiteral("qx-originale-access.mdb"), QStringLiteral("qx.mdb")})
                                 : QStringList(QStringLiteral("qx.mdb")));
    };
    killAtRandomMoments(killCount(), QStringLiteral(ONDIVA_CONVERT_CHILD),
                        {QStringLiteral(ONDIVA_ACCESS_READER), catalogue}, fresh, writing, check);
    qInfo("%d left the original, %d the complete new catalogue", sawOriginal, sawConverted);
}

// Killed at any moment, File ▸ Open earlier catalogue… leaves under the
// catalogue's name either the catalogue in use or the whole chosen one, with the
// one in use kept; the next start tidies what is left. The chosen file never changes.
void TestCrashConsistency::killedBringingInLeavesPreviousOrComplete()
{
    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("vecchio/qx.mdb"));
    const QString work = dir.filePath(QStringLiteral("work"));
    const QString catalogue = work + QStringLiteral("/qx.mdb");
    QVERIFY(QDir().mkpath(work) && QDir().mkpath(dir.filePath(QStringLiteral("vecchio"))));
    QFile schema(QStringLiteral(ONDIVA_SCHEMA_FILE));
    QVERIFY(schema.open(QIODevice::ReadOnly));
    QVERIFY(bench::CatalogueGenerator::writeCatalogue(chosen.toStdString(), schema.readAll().toStdString(), 60000));
    TestCatalogue inUse;
    inUse.insert("GROOVES", {QStringLiteral("GROOVE"), QStringLiteral("ONDIVA")},
                 {{QStringLiteral("Il mio groove"), QStringLiteral("1")}});
    const auto contents = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray chosenBytes = contents(chosen);
    const QByteArray previous = contents(inUse.path());

    const auto fresh = [&] {
        for (const QString& name : QDir(work).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(work + u'/' + name);
        QVERIFY(QFile::copy(inUse.path(), catalogue));
    };
    SystemCatalogueFiles files;
    const auto writing = [&] { return !files.filesBeside(catalogue, QStringLiteral(".portando-")).isEmpty(); };
    int sawPrevious = 0;
    int sawBrought = 0;
    const auto check = [&](int kill) {
        QCOMPARE(contents(chosen), chosenBytes);
        const QByteArray now = contents(catalogue);
        const bool brought = now == chosenBytes;
        QVERIFY2(brought || now == previous, qPrintable(QStringLiteral("kill %1 left a torn catalogue").arg(kill)));
        if (brought)
            QCOMPARE(contents(work + QStringLiteral("/qx-precedente.mdb")), previous);
        ++(brought ? sawBrought : sawPrevious);
        LockAttempt lock = lockAfterKill(files, catalogue);
        QCOMPARE(lock.kind, LockAttempt::Kind::Acquired);
        catalogue::CatalogueBringIn::tidy(catalogue, files);
        lock.lock.reset();
        QCOMPARE(QDir(work).entryList(QDir::Files | QDir::Hidden),
                 brought ? QStringList({QStringLiteral("qx-precedente.mdb"), QStringLiteral("qx.mdb")})
                         : QStringList(QStringLiteral("qx.mdb")));
    };
    killAtRandomMoments(killCount(), QStringLiteral(ONDIVA_CONVERT_CHILD), {QStringLiteral("bring"), chosen, catalogue},
                        fresh, writing, check);
    qInfo("%d left the catalogue in use, %d the chosen one in its place", sawPrevious, sawBrought);
}

QTEST_GUILESS_MAIN(TestCrashConsistency)
#include "tst_crashconsistency.moc"
