#pragma once

// A connection to the catalogue file, held for the length of one command.
// Every way out of a command releases it: cursors and prepared commands
// finalize themselves, and a transaction still open when the connection goes
// away is rolled back, so a failure leaves the catalogue as it was.

#include "CatalogueError.h"
#include "platform/database/FieldValue.h"
#include "platform/database/Sqlite.h"

#include <QString>
#include <QUtf8StringView>

#include <initializer_list>
#include <span>

namespace ondiva {
class CatalogueFiles;
}

namespace ondiva::catalogue {

// The rows returned by one statement, positioned on the first row.
class Cursor {
public:
    bool atEnd() const { return m_atEnd; }
    // The index of a column by name (case-insensitive), or -1 when the rows have no such column.
    int columnIndex(QUtf8StringView name) const;
    // The current row's value as UTF-8 text; NULL and a missing column read as the empty text.
    QUtf8StringView field(int column) const;
    QUtf8StringView field(QUtf8StringView name) const { return field(columnIndex(name)); }
    Status next();

private:
    friend class Connection;
    Cursor(sqlite::Statement statement, QString path)
        : m_statement(std::move(statement))
        , m_path(std::move(path))
    {}
    Status step();

    sqlite::Statement m_statement;
    QString m_path;
    bool m_atEnd = true;
};

// A statement prepared once and run many times with different values.
class Command {
public:
    Status run(std::span<const QUtf8StringView> values);
    Status run(std::initializer_list<QUtf8StringView> values) { return run({values.begin(), values.size()}); }
    // Values that may be NULL or raw bytes. They are not copied: the caller
    // keeps them valid for the length of the call.
    Status run(std::span<const FieldValue> values);

private:
    friend class Connection;
    Command(sqlite::Statement statement, QString path)
        : m_statement(std::move(statement))
        , m_path(std::move(path))
    {}

    sqlite::Statement m_statement;
    QString m_path;
};

class Connection {
public:
    // Create fills a new, empty file that is not yet a catalogue: it has no
    // tables to check, and it keeps no journal, since the file is thrown away
    // unless it is complete (its writer forces it to disk once, at the end).
    // Inspect reads a file that is not the program's to change (one the user
    // offers as a catalogue): read-only and immutable, so that not even a
    // journal beside it is rolled back.
    enum class Access { Read, Create, Inspect };

    // Opens an existing file; never creates one. For Read, checks that the file
    // is a catalogue with every table and column the program uses; for Create,
    // that it is empty.
    static Result<Connection> open(const QString& path, Access access);
    // Opens an existing catalogue to change it: as for Read, once the file may be
    // written and `files` says that its folder may (SQLite writes its journal there).
    static Result<Connection> openForWriting(const QString& path, CatalogueFiles& files);

    Connection(Connection&&) noexcept = default;
    Connection& operator=(Connection&&) noexcept = default;
    ~Connection();

    Result<Cursor> execute(QUtf8StringView sql, std::initializer_list<QUtf8StringView> values = {});
    Result<Command> prepare(QUtf8StringView sql);
    // Runs a statement that takes no values and returns no rows (a create table).
    Status run(QUtf8StringView sql);

    Status begin();
    Status commit();
    void rollback();

    void close();
    bool isOpen() const { return m_db.isOpen(); }
    const QString& path() const { return m_path; }

private:
    static Result<Connection> create(const QString& path);
    static Result<Connection> openExisting(const QString& path, CatalogueFiles* forWriting);
    static Result<Connection> inspect(const QString& path);
    Connection(sqlite::Database db, QString path)
        : m_db(std::move(db))
        , m_path(std::move(path))
    {}
    Status checkSchema();
    void removeStaleJournal();

    sqlite::Database m_db;
    QString m_path;
    bool m_inTransaction = false;
};

// The user's message for a failed SQLite call on the catalogue at path.
CatalogueError errorFor(int sqliteCode, const QString& path, const QString& detail = {});

// How long a command waits for a catalogue that another program is writing.
inline constexpr int kBusyTimeoutMs = 2000;

} // namespace ondiva::catalogue
