// The real conversion of an Access catalogue, run with failing system calls
// (strace's fault injection) and beside a second copy of itself: whatever
// fails, the Access file's bytes keep a name at every moment, and every notice
// tells what is on disk.

#include "CatalogueGenerator.h"
#include "catalogue/CatalogueBringIn.h"
#include "catalogue/CatalogueConnection.h"
#include "catalogue/LegacyConversion.h"
#include "platform/files/SystemCatalogueFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace ondiva;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kUnchanged = u"Il catalogo non è stato modificato."_s;
const QString kConverted = u"Il catalogo è stato convertito"_s;
const QString kUnconfirmed = u"non ha potuto confermare"_s;
const QString kElsewhere = u"un'altra finestra del programma lo sta convertendo"_s;

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

// The conversion as the program runs it at start-up, answered "Sì", under
// strace when arguments are given; its notice, or nothing if it said none.
QProcess* startConversion(const QString& catalogue, const QStringList& strace = {},
                          const QString& reader = QStringLiteral(ONDIVA_ACCESS_READER))
{
    auto* child = new QProcess;
    QStringList arguments{reader, catalogue};
    if (strace.isEmpty()) {
        child->start(QStringLiteral(ONDIVA_CONVERT_CHILD), arguments);
    } else {
        arguments.prepend(QStringLiteral(ONDIVA_CONVERT_CHILD));
        child->start(u"strace"_s, QStringList{u"-f"_s, u"-qq"_s, u"-o"_s, u"/dev/null"_s} + strace + arguments);
    }
    return child;
}

QString noticeOf(QProcess& child)
{
    child.waitForFinished(60000);
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    const QRegularExpressionMatch notice = QRegularExpression(u"^notice: (.*)$"_s, QRegularExpression::MultilineOption)
                                               .match(out);
    return notice.hasMatch() ? notice.captured(1) : QString();
}

qint64 rowsOf(const QString& catalogue)
{
    Result<catalogue::Connection> db = catalogue::Connection::open(catalogue, catalogue::Connection::Access::Read);
    if (!db)
        return -1;
    qint64 rows = 0;
    for (const char* table : {"ARTICOLI", "SOFTWARE_WIN", "SOFTWARE_MAC", "GROOVES", "AGGIORNAMENTI"}) {
        Result<catalogue::Cursor> count =
            db->execute(QUtf8StringView(QByteArray("select count(*) from ") + table));
        rows += count ? count->field(0).toString().toLongLong() : -1'000'000;
    }
    return rows;
}

} // namespace

class TestFaultInjection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void failingSystemCalls_data();
    void failingSystemCalls();
    void bringWithFailingSystemCalls_data();
    void bringWithFailingSystemCalls();
    void secondWindowBetweenLinkAndRename();
    void twoWindowsAnswerYesTogether();

private:
    // What the program said and what is on disk agree, and the original kept a name.
    void checkTruth(const QString& notice, const QString& expected);
    void failingPipeReads(const QString& inject, const QString& expected);

    QTemporaryDir m_dir;
    QString m_catalogue;
    QByteArray m_original;
    qint64 m_rows = 0;
};

void TestFaultInjection::initTestCase()
{
    if (QStandardPaths::findExecutable(u"strace"_s).isEmpty())
        QFAIL("these tests need strace (Debian package strace; scripts/setup.sh installs it)");
    // The demo catalogue, taken to Access by the same tool users may try.
    const QString source = m_dir.filePath(u"source.mdb"_s);
    QProcess make;
    make.start(QStringLiteral(ONDIVA_MAKEACCESS), {u"jet4"_s, QStringLiteral(ONDIVA_DEMO_CATALOGUE), source});
    QVERIFY(make.waitForFinished(60000) && make.exitCode() == 0);
    m_original = contents(source);
    m_rows = rowsOf(QStringLiteral(ONDIVA_DEMO_CATALOGUE));
    QVERIFY(m_rows > 0);
    m_catalogue = m_dir.filePath(u"work/qx.mdb"_s);
}

void TestFaultInjection::init()
{
    QDir work(QFileInfo(m_catalogue).path());
    work.removeRecursively();
    QVERIFY(work.mkpath(u"."_s));
    QFile file(m_catalogue);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(m_original) == m_original.size());
}

void TestFaultInjection::checkTruth(const QString& notice, const QString& expected)
{
    const QString folder = QFileInfo(m_catalogue).path();
    const QByteArray now = contents(m_catalogue);
    QString keptAs;
    for (const QString& name : filesIn(folder)) {
        if (name.startsWith(u"qx-originale-access"_s) && contents(folder + u'/' + name) == m_original)
            keptAs = name;
    }
    QVERIFY2(now == m_original || !keptAs.isEmpty(), "the original's bytes have no name left");

    if (notice.startsWith(kConverted)) {
        QCOMPARE(rowsOf(m_catalogue), m_rows);
        QVERIFY2(notice.contains(u"«%1»"_s.arg(keptAs)), qPrintable(notice + u" / kept as "_s + keptAs));
    } else if (!notice.isEmpty()) {
        QVERIFY2(notice.endsWith(kUnchanged), qPrintable(notice));
        QVERIFY(now == m_original);
    } else {
        // Stopped before it could say anything: either state, never half of one.
        QVERIFY(now == m_original || rowsOf(m_catalogue) == m_rows);
    }
    if (expected == u"converted"_s || expected == u"unconfirmed"_s) {
        QVERIFY2(notice.startsWith(kConverted), qPrintable(notice));
        QCOMPARE(notice.contains(kUnconfirmed), expected == u"unconfirmed"_s);
    } else if (expected == u"unchanged"_s) {
        QVERIFY2(notice.endsWith(kUnchanged), qPrintable(notice));
    } else if (expected != u"any"_s) { // unchanged, for the reason given
        QVERIFY2(notice.endsWith(kUnchanged) && notice.contains(expected), qPrintable(notice));
    }

    // The next start leaves the catalogue and, once converted, the kept original.
    SystemCatalogueFiles files;
    LockAttempt lock = files.lockForConversion(m_catalogue);
    QCOMPARE(lock.kind, LockAttempt::Kind::Acquired);
    catalogue::LegacyConversion::tidy(m_catalogue, files);
    lock.lock.reset();
    const QStringList left = filesIn(folder);
    QCOMPARE(left, now == m_original ? QStringList(u"qx.mdb"_s) : QStringList({keptAs, u"qx.mdb"_s}));
}

void TestFaultInjection::failingSystemCalls_data()
{
    QTest::addColumn<QString>("inject");
    QTest::addColumn<QString>("expected"); // converted, unconfirmed, unchanged, any, or the reason it is unchanged
    // The calls of the swap, in their order: fsync of the new file, link of the
    // original, fsync of the folder, rename, fsync of the folder again.
    QTest::newRow("new file not synced") << u"fsync:error=EIO:when=1"_s << u"unchanged"_s;
    QTest::newRow("disk full syncing") << u"fsync:error=ENOSPC:when=1"_s << u"unchanged"_s;
    QTest::newRow("link refused") << u"link:error=EIO"_s << u"unchanged"_s;
    QTest::newRow("no hard links here") << u"link:error=EPERM"_s << u"converted"_s; // a verified copy instead
    QTest::newRow("kept name not synced") << u"fsync:error=EIO:when=2"_s << u"unchanged"_s;
    QTest::newRow("rename refused") << u"rename:error=EIO"_s << u"unchanged"_s;
    QTest::newRow("rename across devices") << u"rename:error=EXDEV"_s << u"unchanged"_s;
    QTest::newRow("folder not synced after the swap") << u"fsync:error=EIO:when=3"_s << u"unconfirmed"_s;
    QTest::newRow("disk full after the swap") << u"fsync:error=ENOSPC:when=3"_s << u"unconfirmed"_s;
    QTest::newRow("no lock to be had") << u"flock:error=ENOLCK"_s << u"unchanged"_s;
    QTest::newRow("leftovers not removed") << u"unlink:error=EIO"_s << u"any"_s;
    // The new catalogue's own writes, and the reader's output.
    for (int when : {1, 2, 5, 9})
        QTest::addRow("write %d fails", when) << u"pwrite64:error=ENOSPC:when=%1"_s.arg(when) << u"unchanged"_s;
    // The reader's own calls: its output, and its reading of the Access file.
    QTest::newRow("reader's pipe breaks listing") << u"reader list write:error=EPIPE"_s << u"la comunicazione"_s;
    QTest::newRow("reader's pipe breaks copying") << u"reader dump write:error=EIO"_s << u"la comunicazione"_s;
    for (int when : {1, 4, 12})
        QTest::addRow("reader's read %d fails", when) << u"reader dump read:error=EIO:when=%1"_s.arg(when) << u"any"_s;
    QTest::newRow("reader runs out of memory") << u"reader dump mmap:error=ENOMEM:when=20"_s << u"any"_s;
    for (int when = 1; when <= 8; ++when)
        QTest::addRow("open %d of the folder's files fails", when)
            << u"openat:error=EACCES:when=%1"_s.arg(when) << u"any"_s;
    // The program's own reads of the reader's output, every one from half-way through the dump.
    QTest::newRow("reader's output unreadable half-way") << u"pipe read:error=EIO"_s << u"la comunicazione"_s;
}

void TestFaultInjection::failingSystemCalls()
{
    QFETCH(QString, inject);
    QFETCH(QString, expected);
    if (inject.startsWith(u"reader "_s)) {
        // The reader is started by the program: a script in its place runs it under strace.
        const QString reader = m_dir.filePath(u"reader.sh"_s);
        QFile script(reader);
        QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        // "reader list …" or "reader dump …": which of the reader's two runs fails.
        const QByteArray program = "'" + QByteArray(ONDIVA_ACCESS_READER) + "'";
        script.write("#!/bin/sh\nif [ \"$1\" = " + inject.mid(7, 4).toUtf8() + " ]; then\n  exec strace -qq -o /dev/null -e inject=" +
                     inject.mid(12).toUtf8() + ' ' + program + " \"$@\"\nfi\nexec " + program + " \"$@\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        std::unique_ptr<QProcess> run(startConversion(m_catalogue, {}, reader));
        const QString notice = noticeOf(*run);
        qInfo("%s", qPrintable(notice.left(160)));
        checkTruth(notice, expected);
        return;
    }
    if (inject.startsWith(u"pipe "_s)) {
        failingPipeReads(inject.mid(5), expected);
        return;
    }
    QStringList strace{u"-e"_s, u"inject="_s + inject};
    if (inject.startsWith(u"openat"_s)) // only the opens of the catalogue's folder, not of libraries
        strace = QStringList{u"-e"_s, u"trace=openat"_s, u"-P"_s, m_catalogue, u"-P"_s, m_catalogue + u".lock"_s,
                             u"-P"_s, QFileInfo(m_catalogue).path(), u"-e"_s, u"inject="_s + inject};
    std::unique_ptr<QProcess> run(startConversion(m_catalogue, strace));
    const QString notice = noticeOf(*run);
    qInfo("%s", qPrintable(notice.left(160)));
    checkTruth(notice, expected);
}

// The program's reads of the reader's output fail, every one from half-way
// through the dump: a run without faults first numbers the program's reads
// (strace, following no other thread or process, says which are of a pipe),
// then the same run fails every read from the middle one of the dump's pipe on.
// The conversion ends at once with the pipe's notice, and leaves nothing.
void TestFaultInjection::failingPipeReads(const QString& inject, const QString& expected)
{
    // A catalogue whose dump is many times what a pipe holds, so that the reader
    // still has rows to write when the reads start failing.
    const QString bigger = m_dir.filePath(u"bigger.sqlite"_s);
    QFile schema(QStringLiteral(ONDIVA_SCHEMA_FILE));
    QVERIFY(schema.open(QIODevice::ReadOnly));
    QVERIFY(bench::CatalogueGenerator::writeCatalogue(bigger.toStdString(), schema.readAll().toStdString(), 3000));
    QProcess make;
    make.start(QStringLiteral(ONDIVA_MAKEACCESS), {u"jet4"_s, bigger, m_dir.filePath(u"bigger.mdb"_s)});
    QVERIFY(make.waitForFinished(60000) && make.exitCode() == 0);
    const auto demo = qScopeGuard([this, original = m_original, rows = m_rows] {
        m_original = original;
        m_rows = rows;
    });
    m_original = contents(m_dir.filePath(u"bigger.mdb"_s));
    m_rows = rowsOf(bigger);
    init();

    const auto run = [this](const QStringList& strace) {
        QProcess child;
        child.start(u"strace"_s, QStringList{u"-qq"_s, u"-e"_s, u"trace=read"_s, u"-s"_s, u"0"_s} + strace +
                                     QStringList{QStringLiteral(ONDIVA_CONVERT_CHILD),
                                                 QStringLiteral(ONDIVA_ACCESS_READER), m_catalogue});
        return noticeOf(child);
    };
    const QString log = m_dir.filePath(u"reads.log"_s);
    QVERIFY(run({u"-y"_s, u"-o"_s, log}).startsWith(kConverted));
    QStringList reads = QString::fromUtf8(contents(log)).split(u'\n');
    reads.removeIf([](const QString& line) { return !line.startsWith(u"read("_s); });
    const QRegularExpression ofPipe(u"^read\\(\\d+<(pipe:\\[\\d+\\])>.* = [1-9]"_s);
    QString dumpPipe;
    QList<qsizetype> dumpReads;
    for (qsizetype i = 0; i < reads.size(); ++i) {
        const QRegularExpressionMatch pipe = ofPipe.match(reads[i]);
        if (!pipe.hasMatch())
            continue;
        if (pipe.captured(1) != dumpPipe)
            dumpReads.clear(); // the last pipe read is the dump's
        dumpPipe = pipe.captured(1);
        dumpReads << i + 1;
    }
    QVERIFY2(dumpReads.size() >= 4, qPrintable(u"%1 reads of the dump"_s.arg(dumpReads.size())));
    const qsizetype from = dumpReads[dumpReads.size() / 2];

    init();
    QElapsedTimer timer;
    timer.start();
    const QString notice = run({u"-o"_s, log, u"-e"_s, u"inject=%1:when=%2+"_s.arg(inject).arg(from)});
    const auto failed = QString::fromUtf8(contents(log)).count(u"(INJECTED)"_s);
    qInfo("%s after %lld ms and %lld failed reads (from read %lld of %lld, the dump's %lld reads of a pipe)",
          qPrintable(notice.left(100)), timer.elapsed(), qint64(failed), qint64(from), qint64(reads.size()),
          qint64(dumpReads.size()));
    QVERIFY2(failed < 10000, "the program kept reading a pipe that fails");
    QCOMPARE(filesIn(QFileInfo(m_catalogue).path()), QStringList(u"qx.mdb"_s));
    checkTruth(notice, expected);
}

void TestFaultInjection::bringWithFailingSystemCalls_data()
{
    QTest::addColumn<QString>("inject");
    QTest::addColumn<bool>("ofSource"); // only the calls on the chosen file
    QTest::addColumn<QString>("expected"); // brought, unconfirmed, unchanged, any, or the reason it is unchanged
    // The calls of the copy and the swap, in their order: the copy written (with
    // pwrite, which nothing else of this child uses) and synced, the source read
    // again, the catalogue in use linked to its kept name, the folder synced,
    // the rename, the folder synced.
    QTest::newRow("disk full writing the copy") << u"pwrite64:error=ENOSPC:when=1+"_s << false << u"spazio sul disco"_s;
    QTest::newRow("copy not synced") << u"fsync:error=EIO:when=1"_s << false << u"unchanged"_s;
    QTest::newRow("source unreadable while copied") << u"read:error=EIO:when=3+"_s << true << u"non si può più leggere"_s;
    QTest::newRow("source gone before the reading back") << u"openat:error=ENOENT:when=6"_s << true
                                                         << u"non si può più leggere"_s;
    QTest::newRow("link refused") << u"link:error=EIO"_s << false << u"unchanged"_s;
    QTest::newRow("no hard links here") << u"link:error=EPERM"_s << false << u"brought"_s; // a verified copy instead
    QTest::newRow("kept name not synced") << u"fsync:error=EIO:when=2"_s << false << u"unchanged"_s;
    QTest::newRow("rename refused") << u"rename:error=EIO"_s << false << u"unchanged"_s;
    QTest::newRow("folder not synced after the swap") << u"fsync:error=EIO:when=3"_s << false << u"unconfirmed"_s;
    QTest::newRow("no lock to be had") << u"flock:error=ENOLCK"_s << false << u"unchanged"_s;
    QTest::newRow("leftovers not removed") << u"unlink:error=EIO"_s << false << u"any"_s;
}

// File ▸ Open earlier catalogue… with failing system calls: the catalogue in use
// keeps its bytes under some name, the chosen file stays as it was, and the
// notice says which of the two catalogues is in use.
void TestFaultInjection::bringWithFailingSystemCalls()
{
    QFETCH(QString, inject);
    QFETCH(bool, ofSource);
    QFETCH(QString, expected);
    const QString folder = QFileInfo(m_catalogue).path();
    const QString source = m_dir.filePath(u"scelto/qx.mdb"_s);
    QDir(m_dir.filePath(u"scelto"_s)).removeRecursively();
    QVERIFY(QDir().mkpath(m_dir.filePath(u"scelto"_s)));
    QVERIFY(QFile::copy(QStringLiteral(ONDIVA_DEMO_CATALOGUE), source));
    const QByteArray chosen = contents(source);
    QFile::remove(m_catalogue);
    QVERIFY(QFile::copy(QStringLiteral(ONDIVA_DEMO_CATALOGUE), m_catalogue));
    {
        Result<catalogue::Connection> db = catalogue::Connection::openForWriting(m_catalogue, *std::make_unique<SystemCatalogueFiles>());
        QVERIFY(db && db->execute("insert into GROOVES (GROOVE, ONDIVA) values ('Il mio groove', '1')"));
    }
    const QByteArray before = contents(m_catalogue);

    QStringList strace{u"-e"_s, u"inject="_s + inject};
    if (ofSource)
        strace = QStringList{u"-e"_s, u"trace="_s + inject.section(u':', 0, 0), u"-P"_s, source, u"-e"_s,
                             u"inject="_s + inject};
    QProcess child;
    child.start(u"strace"_s, QStringList{u"-f"_s, u"-qq"_s, u"-o"_s, u"/dev/null"_s} + strace +
                                 QStringList{QStringLiteral(ONDIVA_CONVERT_CHILD), u"bring"_s, source, m_catalogue});
    const QString notice = noticeOf(child);
    qInfo("%s", qPrintable(notice.left(160)));

    QCOMPARE(contents(source), chosen);
    const QByteArray now = contents(m_catalogue);
    QString keptAs;
    for (const QString& name : filesIn(folder)) {
        if (name.startsWith(u"qx-precedente"_s) && contents(folder + u'/' + name) == before)
            keptAs = name;
    }
    QVERIFY2(now == before || !keptAs.isEmpty(), "the catalogue in use has no name left");
    QVERIFY(now == before || now == chosen);
    const bool brought = notice.contains(u"è ora il catalogo in uso"_s);
    if (brought) {
        QCOMPARE(now, chosen);
        QVERIFY2(notice.contains(u"«%1»"_s.arg(keptAs)), qPrintable(notice + u" / kept as "_s + keptAs));
    } else if (!notice.isEmpty()) {
        QVERIFY2(notice.endsWith(u"Il catalogo in uso non è stato modificato."_s), qPrintable(notice));
        QCOMPARE(now, before);
    }
    if (expected == u"brought"_s || expected == u"unconfirmed"_s) {
        QVERIFY2(brought, qPrintable(notice));
        QCOMPARE(notice.contains(u"non ha potuto confermare"_s), expected == u"unconfirmed"_s);
    } else if (expected != u"any"_s) {
        QVERIFY2(!brought && !notice.isEmpty(), qPrintable(notice));
        QVERIFY2(expected == u"unchanged"_s || notice.contains(expected), qPrintable(notice));
    }

    // The next start leaves the catalogue in use and, once replaced, the kept one.
    SystemCatalogueFiles files;
    LockAttempt lock = files.lockForConversion(m_catalogue);
    QCOMPARE(lock.kind, LockAttempt::Kind::Acquired);
    catalogue::CatalogueBringIn::tidy(m_catalogue, files);
    lock.lock.reset();
    QCOMPARE(filesIn(folder), now == before ? QStringList(u"qx.mdb"_s) : QStringList({keptAs, u"qx.mdb"_s}));
}

// A second copy started while the first has kept the original under its
// second name and not yet renamed the new catalogue: it touches nothing and says why.
void TestFaultInjection::secondWindowBetweenLinkAndRename()
{
    std::unique_ptr<QProcess> first(
        startConversion(m_catalogue, {u"-e"_s, u"inject=rename:delay_enter=1500000"_s}));
    const QString folder = QFileInfo(m_catalogue).path();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder + u"/qx-originale-access.mdb"_s), 20000);
    const QStringList during = filesIn(folder);
    std::unique_ptr<QProcess> second(startConversion(m_catalogue));
    const QString secondNotice = noticeOf(*second);
    QVERIFY2(secondNotice.contains(kElsewhere), qPrintable(secondNotice));
    QCOMPARE(filesIn(folder), during);
    checkTruth(noticeOf(*first), u"converted"_s);
}

// Two copies started together: one converts, the other says another window
// is at it or, started after, finds nothing to convert. One kept original.
void TestFaultInjection::twoWindowsAnswerYesTogether()
{
    for (int round = 0; round < 6; ++round) {
        init();
        std::unique_ptr<QProcess> a(startConversion(m_catalogue));
        std::unique_ptr<QProcess> b(startConversion(m_catalogue));
        const QStringList notices{noticeOf(*a), noticeOf(*b)};
        QCOMPARE(notices.filter(kConverted).size(), 1);
        const QString other = notices.filter(kConverted).first() == notices[0] ? notices[1] : notices[0];
        QVERIFY2(other.isEmpty() || other.contains(kElsewhere), qPrintable(other));
        checkTruth(notices.filter(kConverted).first(), u"converted"_s);
    }
}

QTEST_GUILESS_MAIN(TestFaultInjection)
#include "tst_faultinjection.moc"
