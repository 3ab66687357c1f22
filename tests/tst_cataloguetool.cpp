// ondiva-catalogue, the installer's helper: its exit statuses are what the
// installer decides by, so each is checked against what it leaves on disk.

#include "catalogue/CatalogueBringIn.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestCatalogueTool : public QObject {
    Q_OBJECT

private slots:
    void statuses_data();
    void statuses();
};

void TestCatalogueTool::statuses_data()
{
    QTest::addColumn<QString>("verb");
    QTest::addColumn<QString>("chosen");    // demo, own, text, access, ldb (an Access file with qx.ldb beside)
    QTest::addColumn<QString>("installed"); // what the folder's qx.mdb is: none, demo, own
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("afterwards"); // the folder's qx.mdb: chosen, demo, own, none

    QTest::newRow("check an Access file") << u"check"_s << u"access"_s << u"none"_s << 0 << u"none"_s;
    QTest::newRow("check one that may be open") << u"check"_s << u"ldb"_s << u"none"_s << 1 << u"none"_s;
    QTest::newRow("check a text file") << u"check"_s << u"text"_s << u"none"_s << 12 << u"none"_s;
    QTest::newRow("status: nothing") << u"status"_s << QString() << u"none"_s << 0 << u"none"_s;
    QTest::newRow("status: the demo") << u"status"_s << QString() << u"demo"_s << 4 << u"demo"_s;
    QTest::newRow("status: the user's own") << u"status"_s << QString() << u"own"_s << 3 << u"own"_s;
    QTest::newRow("bring where there is none") << u"bring"_s << u"access"_s << u"none"_s << 0 << u"chosen"_s;
    QTest::newRow("bring over the demo") << u"bring"_s << u"own"_s << u"demo"_s << 0 << u"chosen"_s;
    QTest::newRow("bring over the user's own") << u"bring"_s << u"access"_s << u"own"_s << 3 << u"own"_s;
    QTest::newRow("bring a text file") << u"bring"_s << u"text"_s << u"demo"_s << 12 << u"demo"_s;
}

void TestCatalogueTool::statuses()
{
    QFETCH(QString, verb);
    QFETCH(QString, chosen);
    QFETCH(QString, installed);
    QFETCH(int, status);
    QFETCH(QString, afterwards);

    QTemporaryDir dir;
    const QString folder = dir.filePath(u"Programmi/Ondiva"_s);
    const QString source = dir.filePath(u"vecchio Ondiva di Niccolò/qx.mdb"_s);
    QVERIFY(QDir().mkpath(folder) && QDir().mkpath(QFileInfo(source).path()));
    const QString demo = QStringLiteral(ONDIVA_DEMO_CATALOGUE);
    QByteArray own = contents(demo);
    own[own.size() - 1] = char(own.back() ^ 1); // no longer byte for byte the demo
    std::map<QString, QByteArray> files{{u"demo"_s, contents(demo)},
                                        {u"own"_s, own},
                                        {u"text"_s, "Caro Niccolò,\n"},
                                        {u"access"_s, contents(QStringLiteral(ONDIVA_ACCESS_FILE))},
                                        {u"ldb"_s, contents(QStringLiteral(ONDIVA_ACCESS_FILE))}};
    const auto lay = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    if (!chosen.isEmpty())
        QVERIFY(lay(source, files.at(chosen)));
    if (chosen == u"ldb"_s)
        QVERIFY(lay(QFileInfo(source).path() + u"/qx.ldb"_s, "aperto"));
    const QString catalogue = folder + u"/qx.mdb"_s;
    if (installed != u"none"_s)
        QVERIFY(lay(catalogue, files.at(installed)));

    QStringList arguments{verb};
    if (!chosen.isEmpty())
        arguments << QDir::toNativeSeparators(source);
    if (verb != u"check"_s)
        arguments << QDir::toNativeSeparators(folder);
    QProcess tool;
    tool.start(QStringLiteral(ONDIVA_CATALOGUE_TOOL), arguments);
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), status);

    if (afterwards == u"none"_s)
        QVERIFY(!QFile::exists(catalogue));
    else
        QCOMPARE(contents(catalogue), afterwards == u"chosen"_s ? files.at(chosen) : files.at(afterwards));
    // Nothing else is left in the folder: the demo is replaced, never kept.
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
             afterwards == u"none"_s ? QStringList() : QStringList(u"qx.mdb"_s));
    if (!chosen.isEmpty())
        QCOMPARE(contents(source), files.at(chosen));
}

QTEST_GUILESS_MAIN(TestCatalogueTool)
#include "tst_cataloguetool.moc"
