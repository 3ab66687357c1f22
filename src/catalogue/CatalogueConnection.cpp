#include "CatalogueConnection.h"

#include "LegacyFormat.h"
#include "Like.h"
#include "Statements.h"
#include "platform/files/CatalogueFiles.h"
#include "platform/files/MarkedWritable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::catalogue {
namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

CatalogueError notCatalogue(const QString& path, const QString& reason)
{
    return {CatalogueError::Kind::NotCatalogue,
            u"Impossibile usare il file «%1»: non è un catalogo valido (%2)."_s.arg(shown(path), reason), {}, reason};
}

// A catalogue that is missing or unusable can be replaced from the File menu: its notice says how.
CatalogueError pointingToEarlierCatalogue(CatalogueError error)
{
    if (error.kind == CatalogueError::Kind::Missing || error.kind == CatalogueError::Kind::NotCatalogue)
        error.message += u"\n\nPer usare il catalogo di una versione precedente, o una sua copia, scegliere "
                         u"File ▸ Open earlier catalogue…"_s;
    return error;
}

Status bindAll(sqlite::Statement& statement, std::span<const QUtf8StringView> values, const QString& path, sqlite3* db)
{
    int index = 1;
    for (QUtf8StringView value : values) {
        const int rc = statement.bindText(index++, value);
        if (rc != SQLITE_OK)
            return errorFor(rc, path, QString::fromUtf8(sqlite3_errmsg(db)));
    }
    return Done{};
}

} // namespace

CatalogueError errorFor(int sqliteCode, const QString& path, const QString& detail)
{
    using Kind = CatalogueError::Kind;
    const auto error = [&](Kind kind, const QString& message) {
        return CatalogueError{kind, message.arg(shown(path)), detail};
    };
    switch (sqliteCode & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return error(Kind::Locked, u"Il catalogo «%1» è in uso da parte di un altro programma. "
                                   u"Riprovare tra qualche istante."_s);
    case SQLITE_READONLY:
        return error(Kind::ReadOnly, u"Impossibile modificare il catalogo «%1»: il file è di sola lettura."_s);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: {
        CatalogueError invalid = notCatalogue(path, u"il file è danneggiato o è di un altro tipo"_s);
        invalid.detail = detail;
        invalid.reason = u"il file è danneggiato o è di un altro tipo"_s;
        return invalid;
    }
    case SQLITE_FULL:
        return error(Kind::Failed, u"Impossibile scrivere nel catalogo «%1»: lo spazio su disco è esaurito."_s);
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return error(Kind::Failed, u"Impossibile accedere al catalogo «%1»."_s);
    case SQLITE_IOERR:
        return error(Kind::Failed, u"Errore di lettura o scrittura nel catalogo «%1»."_s);
    default:
        break;
    }
    return error(Kind::Failed, u"Il catalogo «%1» ha segnalato un errore imprevisto."_s);
}

// --- Cursor ---------------------------------------------------------------------------------------------------------

int Cursor::columnIndex(QUtf8StringView name) const
{
    const int count = m_statement.columnCount();
    for (int i = 0; i < count; ++i) {
        if (QAnyStringView::compare(m_statement.columnName(i), name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QUtf8StringView Cursor::field(int column) const
{
    if (m_atEnd || column < 0 || column >= m_statement.columnCount())
        return {};
    return m_statement.text(column);
}

Status Cursor::next()
{
    if (m_atEnd)
        return Done{};
    return step();
}

Status Cursor::step()
{
    const int rc = m_statement.step();
    if (rc == SQLITE_ROW) {
        m_atEnd = false;
        return Done{};
    }
    m_atEnd = true;
    if (rc == SQLITE_DONE)
        return Done{};
    return errorFor(rc, m_path, QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_statement.get()))));
}

// --- Command --------------------------------------------------------------------------------------------------------

Status Command::run(std::span<const QUtf8StringView> values)
{
    m_statement.reset();
    m_statement.clearBindings();
    sqlite3* db = sqlite3_db_handle(m_statement.get());
    if (Status bound = bindAll(m_statement, values, m_path, db); !bound)
        return bound;
    const int rc = m_statement.step();
    m_statement.reset();
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        return errorFor(rc, m_path, QString::fromUtf8(sqlite3_errmsg(db)));
    return Done{};
}

Status Command::run(std::span<const FieldValue> values)
{
    m_statement.reset();
    m_statement.clearBindings();
    sqlite3* db = sqlite3_db_handle(m_statement.get());
    int index = 1;
    for (const FieldValue& value : values) {
        if (const int rc = m_statement.bindStatic(index++, value); rc != SQLITE_OK)
            return errorFor(rc, m_path, QString::fromUtf8(sqlite3_errmsg(db)));
    }
    const int rc = m_statement.step();
    // Reset at once: the values bound without a copy are the caller's.
    m_statement.reset();
    m_statement.clearBindings();
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        return errorFor(rc, m_path, QString::fromUtf8(sqlite3_errmsg(db)));
    return Done{};
}

// --- Connection -----------------------------------------------------------------------------------------------------

Result<Connection> Connection::create(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() != 0)
        return notCatalogue(path, u"il file da riempire non è vuoto"_s);
    sqlite::Database db;
    int rc = db.open(path, true);
    if (rc != SQLITE_OK)
        return errorFor(rc, path, db.errorMessage());
    sqlite3_extended_result_codes(db.get(), 1);
    for (const char* pragma : {"pragma journal_mode = off", "pragma synchronous = off"}) {
        if ((rc = db.exec(pragma)) != SQLITE_OK)
            return errorFor(rc, path, db.errorMessage());
    }
    return Connection(std::move(db), path);
}

Result<Connection> Connection::open(const QString& path, Access access)
{
    switch (access) {
    case Access::Create:
        return create(path);
    case Access::Inspect:
        return inspect(path);
    case Access::Read:
        break;
    }
    return openExisting(path, nullptr);
}

Result<Connection> Connection::inspect(const QString& path)
{
    sqlite::Database db;
    if (const int rc = db.openImmutable(path); rc != SQLITE_OK)
        return errorFor(rc, path, db.errorMessage());
    sqlite3_extended_result_codes(db.get(), 1);
    Connection connection(std::move(db), path);
    if (Status schema = connection.checkSchema(); !schema)
        return schema.error();
    return connection;
}

Result<Connection> Connection::openForWriting(const QString& path, CatalogueFiles& files)
{
    return openExisting(path, &files);
}

Result<Connection> Connection::openExisting(const QString& path, CatalogueFiles* forWriting)
{
    const QFileInfo info(path);
    if (!info.exists())
        return pointingToEarlierCatalogue({CatalogueError::Kind::Missing,
                                           u"Impossibile aprire il catalogo «%1»: il file non esiste."_s.arg(shown(path))});
    if (!info.isFile())
        return pointingToEarlierCatalogue(notCatalogue(path, u"non è un file"_s));
    const bool writable = markedWritable(info);
    if (forWriting) {
        if (!writable)
            return errorFor(SQLITE_READONLY, path);
        // The system's own rule: on Windows a folder's read-only attribute only
        // marks it as customised (Explorer sets it on Documenti), so there only
        // the actual right to write counts.
        if (!forWriting->folderWritable(path))
            return CatalogueError{CatalogueError::Kind::ReadOnly,
                                  u"Impossibile modificare il catalogo «%1»: la cartella che lo contiene è di sola "
                                  u"lettura."_s.arg(shown(path))};
    }

    // A search opens the file for writing too when it may: only then can SQLite
    // finish the recovery of an update that was interrupted.
    sqlite::Database db;
    const int rc = db.open(path, writable);
    if (rc != SQLITE_OK)
        return pointingToEarlierCatalogue(errorFor(rc, path, db.errorMessage()));
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    sqlite3_extended_result_codes(db.get(), 1);
    if (const int likeRc = like::registerFunctions(db.get()); likeRc != SQLITE_OK)
        return errorFor(likeRc, path, db.errorMessage());

    Connection connection(std::move(db), path);
    if (Status schema = connection.checkSchema(); !schema) {
        if (schema.error().kind == CatalogueError::Kind::NotCatalogue && accessFormatOfFile(path))
            return CatalogueError{CatalogueError::Kind::LegacyFormat,
                                  u"Il catalogo «%1» è ancora nel formato di Microsoft Access delle versioni "
                                  u"precedenti del programma. Riavviare il programma: all'avvio proporrà di "
                                  u"convertirlo."_s.arg(shown(path))};
        return pointingToEarlierCatalogue(schema.error());
    }
    if (writable)
        connection.removeStaleJournal();
    return connection;
}

// An update killed at its very start can leave a journal that never got as far
// as holding anything: SQLite ignores it, having nothing to roll back, but
// leaves the file on disk. Once this connection holds the write lock, no other
// program can be writing and any journal that would need rolling back has been
// rolled back, so a journal still there is stale and can go. A busy catalogue
// is simply left for another time.
void Connection::removeStaleJournal()
{
    const QString journal = m_path + u"-journal"_s;
    if (!QFileInfo::exists(journal))
        return;
    sqlite3_busy_timeout(m_db.get(), 0);
    if (m_db.exec("begin immediate") == SQLITE_OK) {
        QFile::remove(journal);
        m_db.exec("commit");
    }
    sqlite3_busy_timeout(m_db.get(), kBusyTimeoutMs);
}

Connection::~Connection() { close(); }

Status Connection::checkSchema()
{
    int rc = SQLITE_OK;
    sqlite::Statement columns = m_db.prepare(kTableColumns, &rc);
    if (rc != SQLITE_OK)
        return errorFor(rc, m_path, m_db.errorMessage());
    for (const TableSchema& table : kRequiredTables) {
        columns.reset();
        columns.bindText(1, QUtf8StringView(table.name));
        unsigned found = 0; // one bit per used column
        bool tableExists = false;
        while ((rc = columns.step()) == SQLITE_ROW) {
            tableExists = true;
            const QUtf8StringView name = columns.text(0);
            for (int i = 0; i < table.columnCount; ++i) {
                if (QAnyStringView::compare(name, QUtf8StringView(table.columns[size_t(i)]), Qt::CaseInsensitive) == 0)
                    found |= 1u << i;
            }
        }
        if (rc != SQLITE_DONE)
            return errorFor(rc, m_path, m_db.errorMessage());
        if (!tableExists)
            return notCatalogue(m_path, u"manca la tabella %1"_s.arg(QLatin1StringView(table.name)));
        for (int i = 0; i < table.columnCount; ++i) {
            if (!(found & (1u << i)))
                return notCatalogue(
                    m_path, u"manca la colonna %1 della tabella %2"_s.arg(QLatin1StringView(table.columns[size_t(i)]),
                                                                          QLatin1StringView(table.name)));
        }
    }
    return Done{};
}

Result<Cursor> Connection::execute(QUtf8StringView sql, std::initializer_list<QUtf8StringView> values)
{
    int rc = SQLITE_OK;
    sqlite::Statement statement = m_db.prepare(sql, &rc);
    if (rc != SQLITE_OK)
        return errorFor(rc, m_path, m_db.errorMessage());
    if (Status bound = bindAll(statement, {values.begin(), values.size()}, m_path, m_db.get()); !bound)
        return bound.error();
    Cursor cursor(std::move(statement), m_path);
    if (Status first = cursor.step(); !first)
        return first.error();
    return cursor;
}

Result<Command> Connection::prepare(QUtf8StringView sql)
{
    int rc = SQLITE_OK;
    sqlite::Statement statement = m_db.prepare(sql, &rc);
    if (rc != SQLITE_OK)
        return errorFor(rc, m_path, m_db.errorMessage());
    return Command(std::move(statement), m_path);
}

Status Connection::run(QUtf8StringView sql)
{
    Result<Command> command = prepare(sql);
    if (!command)
        return command.error();
    return command->run(std::span<const FieldValue>());
}

Status Connection::begin()
{
    // IMMEDIATE takes the write lock now, so a busy catalogue is reported before any work is done.
    if (const int rc = m_db.exec("begin immediate"); rc != SQLITE_OK)
        return errorFor(rc, m_path, m_db.errorMessage());
    m_inTransaction = true;
    return Done{};
}

Status Connection::commit()
{
    const int rc = m_db.exec("commit");
    if (rc != SQLITE_OK) {
        const CatalogueError error = errorFor(rc, m_path, m_db.errorMessage());
        rollback();
        return error;
    }
    m_inTransaction = false;
    return Done{};
}

void Connection::rollback()
{
    if (m_inTransaction && m_db.isOpen())
        m_db.exec("rollback");
    m_inTransaction = false;
}

void Connection::close()
{
    rollback();
    m_db.close();
}

} // namespace ondiva::catalogue
