// Two programs on one catalogue: another process holding it locked, and a
// second instance importing while this one searches. A command waits briefly
// and succeeds, or says the catalogue is in use and changes nothing.

#include "CatalogueGenerator.h"
#include "RunCommands.h"
#include "TestCatalogue.h"
#include "catalogue/CatalogueConnection.h"
#include "fakes/FakeControls.h"
#include "platform/controls/QtInputFile.h"
#include "search/PaneSearch.h"
#include "update/UpdateImport.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace ondiva;
using namespace Qt::Literals::StringLiterals;
using ondiva::testing::TestCatalogue;

namespace {

const QString kInUse = u"è in uso da parte di un altro programma"_s;

// Another program that takes the catalogue's exclusive lock and keeps it for a
// while. Just before it lets go it notes the time (ms since the epoch), so a
// test can tell that a command was still waiting then.
class Locker {
public:
    Locker(const QString& catalogue, double seconds)
    {
        m_process.start(u"sqlite3"_s, {catalogue});
        m_process.waitForStarted();
        // The shell's own usleep(): `.shell sleep` would need a sleep command, which Windows lacks.
        m_process.write(QStringLiteral("begin exclusive;\nselect 'locked';\nselect usleep(%1);\n"
                                       "select 'releasing ' || cast((julianday('now') - 2440587.5) * 86400000 as "
                                       "integer);\ncommit;\n")
                            .arg(qint64(seconds * 1e6))
                            .toUtf8());
        m_process.closeWriteChannel();
        // Wait until the lock is really held.
        while (!m_output.contains("locked") && m_process.state() == QProcess::Running) {
            m_process.waitForReadyRead(100);
            m_output += m_process.readAllStandardOutput();
        }
        m_held = m_output.contains("locked");
    }
    ~Locker() { m_process.waitForFinished(30000); }

    bool held() const { return m_held; }
    // When the lock began to be let go, once the locker has finished.
    qint64 releasedAt()
    {
        m_process.waitForFinished(30000);
        m_output += m_process.readAllStandardOutput();
        const qsizetype at = m_output.indexOf("releasing ");
        return at < 0 ? -1 : m_output.mid(at + 10).trimmed().toLongLong();
    }

private:
    QProcess m_process;
    QByteArray m_output;
    bool m_held = false;
};

struct Searcher {
    fakes::FakeMessageBox messages;
    fakes::FakeTextBox box;
    fakes::FakeOption option;
    fakes::FakeResultList list;
    fakes::FakeLabel count;
    void run(const QString& catalogue)
    {
        messages.shown.clear();
        search::PaneSearch(catalogue, messages, u"t"_s)
            .run(search::kArticlesPane, {box, {&option, nullptr, nullptr}, list, count});
    }
};

QString writeUpdate(const QString& dir, std::size_t rowsPerTable)
{
    const QString file = QDir(dir).filePath(u"aggiornamento.txt"_s);
    bench::CatalogueGenerator::writeUpdateFile(file.toStdString(), "n.200", rowsPerTable);
    return file;
}

} // namespace

class TestConcurrency : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void lockedCatalogue_data();
    void lockedCatalogue();
    void searchWhileAnotherInstanceImports();
};

void TestConcurrency::initTestCase()
{
    // Another program is played by Debian's sqlite3 shell.
    if (QStandardPaths::findExecutable(u"sqlite3"_s).isEmpty())
        QFAIL("these tests need the sqlite3 shell (Debian package sqlite3; scripts/setup.sh installs it)");
}

void TestConcurrency::lockedCatalogue_data()
{
    QTest::addColumn<bool>("importing"); // or searching
    QTest::addColumn<double>("lockSeconds");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("search waits for a short lock") << false << 0.5 << true;
    QTest::newRow("search gives up on a long lock") << false << 4.0 << false;
    QTest::newRow("import waits for a short lock") << true << 0.5 << true;
    QTest::newRow("import gives up on a long lock") << true << 4.0 << false;
}

void TestConcurrency::lockedCatalogue()
{
    QFETCH(bool, importing);
    QFETCH(double, lockSeconds);
    QFETCH(bool, succeeds);
    TestCatalogue catalogue;
    catalogue.insert("ARTICOLI", {u"ARTICOLO"_s}, {{u"Primo"_s}});
    const QString update = writeUpdate(catalogue.dir(), 10);
    const QStringList before = catalogue.dump(u"AGGIORNAMENTI"_s, {u"AGGIORNATOAL"_s});

    Locker locker(catalogue.path(), lockSeconds);
    QVERIFY2(locker.held(), "the other program never took the lock");
    if (importing) {
        const QString notice = testing::importAnsweringYes(catalogue.path(), update);
        QCOMPARE(notice.contains(u"aggiornato con successo"_s), succeeds);
        if (!succeeds)
            QVERIFY2(notice.contains(kInUse), qPrintable(notice));
    } else {
        Searcher searcher;
        searcher.run(catalogue.path());
        QCOMPARE(searcher.messages.shown.isEmpty(), succeeds);
        QCOMPARE(searcher.list.rows, succeeds ? QStringList(u"Primo\t\t"_s) : QStringList());
        if (!succeeds)
            QVERIFY2(searcher.messages.shown[0].text.contains(kInUse), qPrintable(searcher.messages.shown[0].text));
    }
    const qint64 finished = QDateTime::currentMSecsSinceEpoch();
    // A command that succeeded waited for the lock: it was still running when the other program let go.
    if (succeeds)
        QVERIFY2(finished + 1 >= locker.releasedAt(),
                 qPrintable(u"finished at %1, the lock went at %2"_s.arg(finished).arg(locker.releasedAt())));
    QCOMPARE(testing::openCatalogueFiles(), 0);
    QVERIFY(QTest::qWaitFor([&] { return !QFile::exists(catalogue.path() + u"-journal"_s); }, 10000));
    if (!succeeds)
        QCOMPARE(catalogue.dump(u"AGGIORNAMENTI"_s, {u"AGGIORNATOAL"_s}), before);
}

void TestConcurrency::searchWhileAnotherInstanceImports()
{
    constexpr std::size_t kRows = 60000;
    TestCatalogue catalogue;
    catalogue.insert("ARTICOLI", {u"ARTICOLO"_s}, {{u"Primo"_s}});
    const QString update = writeUpdate(catalogue.dir(), kRows);

    QProcess other;
    other.start(QStringLiteral(ONDIVA_IMPORT_CHILD), {catalogue.path(), update});
    QVERIFY(other.waitForStarted());
    int searches = 0;
    int waitedOut = 0;
    QSet<qsizetype> counts;
    // (waitForFinished also brings the process state up to date.)
    while (!other.waitForFinished(1)) {
        Searcher searcher;
        searcher.run(catalogue.path());
        ++searches;
        if (!searcher.messages.shown.isEmpty()) {
            QVERIFY2(searcher.messages.shown[0].text.contains(kInUse), qPrintable(searcher.messages.shown[0].text));
            ++waitedOut;
            continue;
        }
        // A search sees the catalogue before the import or after it, never half of it.
        counts.insert(searcher.list.rows.size());
        QVERIFY2(searcher.list.rows.size() == 1 || searcher.list.rows.size() == qsizetype(kRows) + 1,
                 qPrintable(QString::number(searcher.list.rows.size())));
    }
    QVERIFY(other.readAllStandardOutput().contains("aggiornato con successo"));
    Searcher last;
    last.run(catalogue.path());
    QCOMPARE(last.list.rows.size(), qsizetype(kRows) + 1);
    QStringList seen;
    for (qsizetype count : counts)
        seen << QString::number(count);
    qInfo("%d searches during another instance's import: %d gave up on the lock, row counts seen: %s", searches,
          waitedOut, qPrintable(seen.join(u',')));
}

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_concurrency.moc"
