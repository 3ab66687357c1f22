#pragma once

// platform/database: the SQLite layer the catalogue is read and written through.

// A small RAII layer over SQLite's C API: a database handle and a prepared
// statement that release themselves on every way out.

#include "platform/database/FieldValue.h"

#include <sqlite3.h>

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <QUrl>
#include <QUtf8StringView>

#include <memory>
#include <utility>

namespace ondiva::sqlite {

struct DatabaseCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};

using DatabaseHandle = std::unique_ptr<sqlite3, DatabaseCloser>;

// One prepared statement. Values are bound by position (1-based, as in SQLite).
class Statement {
public:
    Statement() = default;
    explicit Statement(sqlite3_stmt* stmt)
        : m_stmt(stmt)
    {}

    bool isValid() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt.get(); }

    int bindText(int index, QUtf8StringView text)
    {
        // An empty view may carry a null pointer, which SQLite would store as NULL.
        const char* data = text.data() ? text.data() : "";
        return sqlite3_bind_text64(m_stmt.get(), index, data, sqlite3_uint64(text.size()), SQLITE_TRANSIENT,
                                   SQLITE_UTF8);
    }
    int bindText(int index, const QString& text) { return bindText(index, QUtf8StringView(text.toUtf8())); }
    int bindNull(int index) { return sqlite3_bind_null(m_stmt.get(), index); }
    // Binds a value without copying it: it must stay valid until the statement is reset.
    int bindStatic(int index, const FieldValue& value)
    {
        const char* data = value.data.data() ? value.data.data() : "";
        switch (value.kind) {
        case FieldValue::Kind::Null:
            break;
        case FieldValue::Kind::Text:
            return sqlite3_bind_text64(m_stmt.get(), index, data, value.data.size(), SQLITE_STATIC, SQLITE_UTF8);
        case FieldValue::Kind::Bytes:
            return sqlite3_bind_blob64(m_stmt.get(), index, data, value.data.size(), SQLITE_STATIC);
        }
        return bindNull(index);
    }

    // Steps once: SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return sqlite3_step(m_stmt.get()); }
    int reset() { return sqlite3_reset(m_stmt.get()); }
    void clearBindings() { sqlite3_clear_bindings(m_stmt.get()); }

    int columnCount() const { return sqlite3_column_count(m_stmt.get()); }
    QUtf8StringView columnName(int column) const
    {
        const char* name = sqlite3_column_name(m_stmt.get(), column);
        return name ? QUtf8StringView(name) : QUtf8StringView();
    }
    bool isNull(int column) const { return sqlite3_column_type(m_stmt.get(), column) == SQLITE_NULL; }
    // The column's value as UTF-8 text; NULL reads as the empty text. Valid until the next step.
    QUtf8StringView text(int column) const
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt.get(), column));
        if (!data)
            return {};
        return QUtf8StringView(data, sqlite3_column_bytes(m_stmt.get(), column));
    }

private:
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> m_stmt;
};

// An open database connection.
class Database {
public:
    Database() = default;

    // Opens an existing file; never creates one (an empty file becomes an empty
    // database). Returns the SQLite result code;
    // on failure the handle (if any) is kept so that errorMessage() can explain.
    int open(const QString& path, bool writable)
    {
        sqlite3* raw = nullptr;
        const int flags = (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
        const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, flags, nullptr);
        m_db.reset(raw);
        return rc;
    }

    // Opens a file that is not ours to change for reading only, as immutable:
    // SQLite takes no lock on it and neither looks at nor rolls back a journal
    // beside it, so the file and everything around it stay exactly as they are.
    int openImmutable(const QString& path)
    {
        sqlite3* raw = nullptr;
        const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded() + "?immutable=1";
        const int rc = sqlite3_open_v2(uri.constData(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                                       nullptr);
        m_db.reset(raw);
        return rc;
    }

    bool isOpen() const { return m_db != nullptr; }
    sqlite3* get() const { return m_db.get(); }
    void close() { m_db.reset(); }

    // Prepares one statement; rc receives the SQLite result code.
    Statement prepare(QUtf8StringView sql, int* rc = nullptr) const
    {
        sqlite3_stmt* raw = nullptr;
        const int code = sqlite3_prepare_v3(m_db.get(), sql.data(), int(sql.size()), 0, &raw, nullptr);
        if (rc)
            *rc = code;
        return Statement(raw);
    }

    // Runs statements that take no values (transaction control, pragmas).
    int exec(const char* sql) const { return sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr); }

    QString errorMessage() const { return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db.get())) : QString(); }
    int extendedErrorCode() const { return m_db ? sqlite3_extended_errcode(m_db.get()) : SQLITE_ERROR; }

private:
    DatabaseHandle m_db;
};

} // namespace ondiva::sqlite
