// Kills a real import at random moments and checks each time that the
// catalogue is intact and holds either none of the update or all of it.

#include "CatalogueGenerator.h"
#include "TestCatalogue.h"
#include "catalogue/CatalogueConnection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

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
    Result<catalogue::Connection> connection = catalogue::Connection::open(path, catalogue::Connection::Access::Write);
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

} // namespace

class TestCrashConsistency : public QObject {
    Q_OBJECT

private slots:
    void killedImportLeavesNoneOrAll();
};

void TestCrashConsistency::killedImportLeavesNoneOrAll()
{
    const int kills = qEnvironmentVariableIntValue("ONDIVA_CRASH_KILLS") > 0
                          ? qEnvironmentVariableIntValue("ONDIVA_CRASH_KILLS")
                          : 40;
    TestCatalogue pristine;
    pristine.insert("ARTICOLI", {QStringLiteral("ARTICOLO"), QStringLiteral("ONDIVA")},
                    {{QStringLiteral("Già presente"), QStringLiteral("1")}});
    pristine.insert("AGGIORNAMENTI", {QStringLiteral("AGGIORNATOAL")}, {{QStringLiteral("n.1")}});
    const QString update = QDir(pristine.dir()).filePath(QStringLiteral("aggiornamento.txt"));
    QVERIFY(bench::CatalogueGenerator::writeUpdateFile(update.toStdString(), "n.300", kRowsPerTable));
    const QString catalogue = QDir(pristine.dir()).filePath(QStringLiteral("work/qx.mdb"));
    QVERIFY(QDir(pristine.dir()).mkpath(QStringLiteral("work")));

    auto fresh = [&] {
        QFile::remove(catalogue);
        QVERIFY(QFile::copy(pristine.path(), catalogue));
    };
    auto start = [&](QProcess& child) {
        child.start(QStringLiteral(ONDIVA_IMPORT_CHILD), {catalogue, update});
        QVERIFY(child.waitForStarted());
    };

    // One import run to its end gives the "all" state and how long an import takes.
    fresh();
    const Snapshot none = inspect(catalogue);
    QElapsedTimer timer;
    timer.start();
    QProcess child;
    start(child);
    QVERIFY(child.waitForFinished(60000));
    const qint64 duration = timer.elapsed();
    QVERIFY2(child.readAllStandardOutput().contains("aggiornato con successo"), "the full import failed");
    const Snapshot all = inspect(catalogue);
    QCOMPARE(all.counts[0], none.counts[0] + qsizetype(kRowsPerTable));
    QCOMPARE(all.counts[4], none.counts[4] + 1);

    int sawNone = 0;
    int sawAll = 0;
    int whileWriting = 0; // kills that found the update's journal beside the catalogue: mid-transaction
    for (int i = 0; i < kills; ++i) {
        fresh();
        QProcess victim;
        start(victim);
        QThread::msleep(QRandomGenerator::global()->bounded(quint32(duration * 11 / 10 + 1)));
        const bool writing = QFile::exists(catalogue + QStringLiteral("-journal"));
        ::kill(pid_t(victim.processId()), SIGKILL);
        whileWriting += writing ? 1 : 0;
        victim.waitForFinished(10000);
        const Snapshot after = inspect(catalogue);
        if (after == none)
            ++sawNone;
        else if (after == all)
            ++sawAll;
        else
            QFAIL(qPrintable(QStringLiteral("kill %1 left a half-applied update").arg(i)));
        // The recovery left nothing beside the catalogue.
        QCOMPARE(QDir(QFileInfo(catalogue).path()).entryList(QDir::Files).join(u','), QStringLiteral("qx.mdb"));
    }
    qInfo("%d kills in an import of about %lld ms: %d while it was writing; %d left none of the update, %d all of it",
          kills, duration, whileWriting, sawNone, sawAll);
    // Kills that all fell before or after the writing would prove nothing.
    QVERIFY2(
        whileWriting * 4 >= kills,
        qPrintable(
            QStringLiteral("only %1 of %2 kills landed while the import was writing").arg(whileWriting).arg(kills)));
}

QTEST_GUILESS_MAIN(TestCrashConsistency)
#include "tst_crashconsistency.moc"
