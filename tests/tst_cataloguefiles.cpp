// The file operations of the system the tests are built for (POSIX or Windows),
// through the CatalogueFiles interface: no name is ever replaced by keepAs, rename
// swaps a file in whole, a file another program holds open is an error, the
// conversion lock keeps a second taker out, and non-ASCII folder names work.

#include "platform/files/SystemCatalogueFiles.h"

#include <QDir>
#include <QFile>
#include <QOperatingSystemVersion>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>

using namespace ondiva;
using namespace Qt::Literals::StringLiterals;

namespace {

// A folder whose path is longer than Windows' old limit of 260 characters (MAX_PATH).
const QString kLongFolder = u"Catalogo di Ondiva Magazine/"_s.repeated(12) + u"Catalogo"_s;

bool onWindows() { return QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows; }

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestCatalogueFiles : public QObject {
    Q_OBJECT

private slots:
    void init();
    void keepAs_data();
    void keepAs();
    void rename_data();
    void rename();
    void createBesideAndFilesBeside();
    void renameOntoFileHeldOpen();
    void syncReportsMissingFiles();
    void lockKeepsSecondTakerOut();
    void lockIsNotKeptByAGlanceAtItsFile();
    void folderWritable();
    void copyInto_data();
    void copyInto();
    void sameFileOnlyForTwoNames();

private:
    std::unique_ptr<CatalogueFiles> m_files;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString folder(const QString& sub);
};

void TestCatalogueFiles::init()
{
    m_files = systemCatalogueFiles();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestCatalogueFiles::folder(const QString& sub)
{
    const QString path = m_dir->filePath(sub);
    QDir().mkpath(path);
    return path;
}

void TestCatalogueFiles::keepAs_data()
{
    QTest::addColumn<QString>("sub");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("nameExists");

    QTest::newRow("new name") << u"plain"_s << u"qx.mdb.kept"_s << false;
    QTest::newRow("accented folder and name") << u"Niccolò/Documenti/Ondiva"_s << u"qx.mdb.più"_s << false;
    QTest::newRow("spaces") << u"Ondiva Magazine"_s << u"qx copia.mdb"_s << false;
    QTest::newRow("long path") << kLongFolder << u"qx.mdb.kept"_s << false;
    QTest::newRow("existing name is kept") << u"plain"_s << u"qx.mdb.kept"_s << true;
}

void TestCatalogueFiles::keepAs()
{
    QFETCH(QString, sub);
    QFETCH(QString, name);
    QFETCH(bool, nameExists);
    const QString original = folder(sub) + u"/qx.mdb"_s;
    const QString kept = folder(sub) + u'/' + name;
    write(original, "the catalogue's bytes");
    if (nameExists)
        write(kept, "someone else's file");

    const FileStatus status = m_files->keepAs(original, kept);
    if (nameExists) {
        QCOMPARE(status.kind, FileStatus::Kind::Exists);
        QCOMPARE(read(kept), QByteArray("someone else's file"));
    } else {
        QVERIFY2(status, qPrintable(status.detail));
        QCOMPARE(read(kept), QByteArray("the catalogue's bytes"));
        QVERIFY(m_files->sameFile(original, kept)); // a temporary folder has hard links
        QVERIFY(m_files->sync(kept));
        QVERIFY(m_files->syncFolder(kept));
    }
    QCOMPARE(read(original), QByteArray("the catalogue's bytes"));
}

void TestCatalogueFiles::rename_data()
{
    QTest::addColumn<QString>("sub");
    QTest::addColumn<bool>("targetExists");

    QTest::newRow("onto an existing catalogue") << u"plain"_s << true;
    QTest::newRow("to a new name") << u"plain"_s << false;
    QTest::newRow("accented folder") << u"Niccolò/Documenti/Ondiva"_s << true;
    QTest::newRow("long path") << kLongFolder << true;
}

void TestCatalogueFiles::rename()
{
    QFETCH(QString, sub);
    QFETCH(bool, targetExists);
    const QString target = folder(sub) + u"/qx.mdb"_s;
    const QString source = target + u".new"_s;
    write(source, "new catalogue");
    if (targetExists)
        write(target, "old catalogue");

    const FileStatus status = m_files->rename(source, target);
    QVERIFY2(status, qPrintable(status.detail));
    QCOMPARE(read(target), QByteArray("new catalogue"));
    QVERIFY(!m_files->exists(source));
    QVERIFY(!m_files->sameFile(source, target));
}

void TestCatalogueFiles::createBesideAndFilesBeside()
{
    const QString target = folder(u"Niccolò"_s) + u"/qx.mdb"_s;
    write(target + u".other"_s, "not ours");
    QString first;
    QString second;
    QVERIFY(m_files->createBeside(target, u".converting-"_s, first));
    QVERIFY(m_files->createBeside(target, u".converting-"_s, second));
    QVERIFY(first != second);
    QVERIFY(first.startsWith(target + u".converting-"_s));

    QStringList beside = m_files->filesBeside(target, u".converting-"_s);
    beside.sort();
    QStringList expected{first, second};
    expected.sort();
    QCOMPARE(beside, expected);
    QVERIFY(m_files->remove(first));
    QVERIFY(!m_files->exists(first));
    QVERIFY(!m_files->remove(first));
}

void TestCatalogueFiles::renameOntoFileHeldOpen()
{
    if (!onWindows())
        QSKIP("POSIX lets a file be replaced while another program has it open");
    const QString target = folder(u"plain"_s) + u"/qx.mdb"_s;
    const QString source = target + u".new"_s;
    write(target, "old catalogue");
    write(source, "new catalogue");
    QFile other(target); // Qt opens without FILE_SHARE_DELETE, as SQLite does
    QVERIFY(other.open(QIODevice::ReadOnly));

    const FileStatus status = m_files->rename(source, target);
    QVERIFY(!status);
    QVERIFY2(status.kind == FileStatus::Kind::InUse, qPrintable(status.detail)); // in use, not forbidden
    QVERIFY(!status.detail.isEmpty());
    other.close();
    QCOMPARE(read(target), QByteArray("old catalogue"));
    QVERIFY(m_files->rename(source, target));
}

void TestCatalogueFiles::syncReportsMissingFiles()
{
    const QString missing = folder(u"plain"_s) + u"/absent.mdb"_s;
    QVERIFY(!m_files->sync(missing));
    QVERIFY(!m_files->rename(missing, missing + u".new"_s));
    QVERIFY(!m_files->keepAs(missing, missing + u".kept"_s));
    QVERIFY(!m_files->exists(missing + u".kept"_s));
    QVERIFY(!m_files->syncFolder(m_dir->filePath(u"no-such-folder/qx.mdb"_s)));
}

void TestCatalogueFiles::lockKeepsSecondTakerOut()
{
    const QString target = folder(u"Niccolò"_s) + u"/qx.mdb"_s;
    LockAttempt first = m_files->lockForConversion(target);
    QCOMPARE(first.kind, LockAttempt::Kind::Acquired);
    QCOMPARE(m_files->lockForConversion(target).kind, LockAttempt::Kind::HeldElsewhere);
    first.lock.reset();
    QCOMPARE(m_files->lockForConversion(target).kind, LockAttempt::Kind::Acquired);
}

// A virus scanner or the search indexer opens a new file for a moment: a lone
// window still takes the lock, rather than say that another one converts.
void TestCatalogueFiles::lockIsNotKeptByAGlanceAtItsFile()
{
    if (!onWindows())
        QSKIP("only Windows refuses to open a file another program holds open: elsewhere a glance cannot hold the lock");
    const QString target = folder(u"Niccolò"_s) + u"/qx.mdb"_s;
    QFile glance(target + u".lock"_s); // opened, as Qt opens files, without letting it be deleted
    QVERIFY(glance.open(QIODevice::ReadWrite));
    std::thread scanner([&glance] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        glance.close();
    });
    LockAttempt attempt = m_files->lockForConversion(target);
    scanner.join();
    QCOMPARE(attempt.kind, LockAttempt::Kind::Acquired);
    QCOMPARE(m_files->lockForConversion(target).kind, LockAttempt::Kind::HeldElsewhere);
}

void TestCatalogueFiles::folderWritable()
{
    const QString target = folder(u"Niccolò/Documenti"_s) + u"/qx.mdb"_s;
    QVERIFY(m_files->folderWritable(target));
    QVERIFY(!m_files->folderWritable(m_dir->filePath(u"no-such-folder/qx.mdb"_s)));
    if (onWindows())
        QSKIP("Windows ignores the read-only attribute on folders; only their access rights deny writing");
    const QString folderPath = QFileInfo(target).absolutePath();
    QVERIFY(QFile::setPermissions(folderPath, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const bool writable = m_files->folderWritable(target);
    QFile::setPermissions(folderPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(!writable); // even for the administrator
}

void TestCatalogueFiles::copyInto_data()
{
    QTest::addColumn<QString>("meanwhile"); // what happens to the source once the first piece is copied
    QTest::addColumn<int>("expected");      // FileStatus::Kind
    QTest::newRow("whole") << QString() << int(FileStatus::Kind::Ok);
    QTest::newRow("source changed") << u"change"_s << int(FileStatus::Kind::SourceChanged);
    QTest::newRow("source deleted") << u"delete"_s << int(FileStatus::Kind::SourceLost);
    QTest::newRow("Annulla") << u"cancel"_s << int(FileStatus::Kind::Cancelled);
}

// The copy a catalogue is brought in with: several pieces, read back against
// the source, which must still hold what was copied.
void TestCatalogueFiles::copyInto()
{
    QFETCH(QString, meanwhile);
    QFETCH(int, expected);
    const QString source = folder(u"Documenti/vecchio Ondiva"_s) + u"/qx.mdb"_s;
    QByteArray bytes(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7919) >> 5);
    write(source, bytes);
    const QString target = folder(u"Niccolò"_s) + u"/qx.mdb"_s;
    QString copy;
    QVERIFY(m_files->createBeside(target, u".portando-"_s, copy));

    QList<qint64> reported;
    qint64 toldTotal = -1;
    const FileStatus status = m_files->copyInto(source, copy, [&](qint64 done, qint64 total) {
        toldTotal = total;
        if (reported.isEmpty() && meanwhile == u"change"_s) {
            QFile file(source);
            if (file.open(QIODevice::ReadWrite)) // a piece already copied
                file.write("!");
        } else if (reported.isEmpty() && meanwhile == u"delete"_s) {
            QFile::remove(source);
        }
        reported << done;
        return meanwhile != u"cancel"_s;
    });
    QCOMPARE(int(status.kind), expected);
    QCOMPARE(toldTotal, bytes.size());
    if (expected == int(FileStatus::Kind::Ok)) {
        QCOMPARE(read(copy), bytes);
        QCOMPARE(reported.last(), bytes.size());
        QVERIFY(reported.size() >= 3); // a piece at a time, each told
    }
}

void TestCatalogueFiles::sameFileOnlyForTwoNames()
{
    const QString a = folder(u"Niccolò"_s) + u"/qx.mdb"_s;
    write(a, "catalogo");
    QVERIFY(m_files->keepAs(a, a + u".kept"_s));
    QVERIFY(m_files->sameFile(a, a + u".kept"_s));
    write(a + u".copy"_s, "catalogo");
    QVERIFY(!m_files->sameFile(a, a + u".copy"_s));
    QVERIFY(m_files->remove(a + u".kept"_s));
    // With one name left, the file is no second name of anything: the tidy never removes it.
    QVERIFY(!m_files->sameFile(a, a));
}

QTEST_GUILESS_MAIN(TestCatalogueFiles)
#include "tst_cataloguefiles.moc"
