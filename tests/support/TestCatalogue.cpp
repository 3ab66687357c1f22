#include "TestCatalogue.h"

#include <QFile>

namespace ondiva::testing {
namespace {

sqlite::Database openForTest(const QString& path)
{
    // The program never creates a catalogue; tests do, so create the file first.
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_close_v2(raw);
    sqlite::Database db;
    const int rc = db.open(path, true);
    if (rc != SQLITE_OK)
        qFatal("cannot open test catalogue %s", qPrintable(path));
    return db;
}

} // namespace

void createCatalogue(const QString& path)
{
    QFile schema(QStringLiteral(ONDIVA_SCHEMA_FILE));
    if (!schema.open(QIODevice::ReadOnly))
        qFatal("cannot read the schema");
    sqlite::Database db = openForTest(path);
    if (db.exec(schema.readAll().constData()) != SQLITE_OK)
        qFatal("schema failed: %s", qPrintable(db.errorMessage()));
}

TestCatalogue::TestCatalogue()
    : m_path(m_dir.filePath(QStringLiteral("qx.mdb")))
{
    createCatalogue(m_path);
}

void TestCatalogue::insert(const char* table, const QStringList& columns, const std::vector<Row>& rows)
{
    sqlite::Database db = openForTest(m_path);
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?%1").arg(i + 1);
    const QByteArray sql = QStringLiteral("insert into %1 (%2) values (%3)")
                               .arg(QLatin1StringView(table), columns.join(u','), marks.join(u','))
                               .toUtf8();
    db.exec("begin");
    for (const Row& row : rows) {
        sqlite::Statement statement = db.prepare(QUtf8StringView(sql));
        for (size_t i = 0; i < row.size(); ++i) {
            if (row[i])
                statement.bindText(int(i) + 1, *row[i]);
        }
        if (statement.step() != SQLITE_DONE)
            qFatal("insert failed: %s", qPrintable(db.errorMessage()));
    }
    db.exec("commit");
}

void TestCatalogue::exec(const QString& sql)
{
    sqlite::Database db = openForTest(m_path);
    if (db.exec(sql.toUtf8().constData()) != SQLITE_OK)
        qFatal("exec failed: %s", qPrintable(db.errorMessage()));
}

QStringList TestCatalogue::dump(const QString& table, const QStringList& columns)
{
    sqlite::Database db = openForTest(m_path);
    sqlite::Statement statement =
        db.prepare(QUtf8StringView(QStringLiteral("select %1 from %2").arg(columns.join(u','), table).toUtf8()));
    QStringList rows;
    while (statement.step() == SQLITE_ROW) {
        QStringList values;
        for (int i = 0; i < statement.columnCount(); ++i)
            values << (statement.isNull(i) ? QStringLiteral("<NULL>") : statement.text(i).toString());
        rows << values.join(u'|');
    }
    return rows;
}

qsizetype TestCatalogue::rowCount(const QString& table) { return dump(table, {QStringLiteral("1")}).size(); }

} // namespace ondiva::testing
