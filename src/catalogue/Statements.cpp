#include "Statements.h"

#include <QByteArray>

namespace ondiva::catalogue {
namespace {

QByteArray searchText(const TableSchema& table, int column)
{
    return QByteArray("select * from ") + table.name + " where " + table.columns[size_t(column)] + " like ?1";
}

QByteArray insertText(const TableSchema& table)
{
    QByteArray columns;
    QByteArray values;
    for (int i = 0; i < table.columnCount; ++i) {
        if (i > 0) {
            columns += ", ";
            values += ", ";
        }
        columns += table.columns[size_t(i)];
        values += "?" + QByteArray::number(i + 1);
    }
    return QByteArray("insert into ") + table.name + " (" + columns + ") values (" + values + ")";
}

// Every statement's text, built once from the schemas above.
struct Texts {
    std::array<std::array<QByteArray, kMaxColumns>, kItemTables.size()> search;
    std::array<QByteArray, kItemTables.size()> insert;
    QByteArray appliedCheck = searchText(kAggiornamenti, 0);
    QByteArray recordApplied = insertText(kAggiornamenti);

    Texts()
    {
        for (size_t t = 0; t < kItemTables.size(); ++t) {
            for (int c = 0; c < kItemTables[t].columnCount; ++c)
                search[t][size_t(c)] = searchText(kItemTables[t], c);
            insert[t] = insertText(kItemTables[t]);
        }
    }
};

const Texts& texts()
{
    static const Texts built;
    return built;
}

QUtf8StringView view(const QByteArray& text) { return QUtf8StringView(text.constData(), text.size()); }

} // namespace

QUtf8StringView searchStatement(Table table, int column)
{
    Q_ASSERT(column >= 0 && column < schemaOf(table).columnCount);
    return view(texts().search[size_t(table)][size_t(column)]);
}

QUtf8StringView insertStatement(Table table) { return view(texts().insert[size_t(table)]); }

QUtf8StringView appliedCheckStatement() { return view(texts().appliedCheck); }

QUtf8StringView recordAppliedStatement() { return view(texts().recordApplied); }

QByteArray quotedIdentifier(const QString& name)
{
    return '"' + name.toUtf8().replace('"', "\"\"") + '"';
}

QByteArray createTableStatement(const TableSchema& table, const QStringList& columns)
{
    QByteArray sql = QByteArray("create table ") + table.name + " (";
    for (qsizetype i = 0; i < columns.size(); ++i)
        sql += (i ? ", " : "") + quotedIdentifier(columns[i]) + " text";
    return sql + ')';
}

QByteArray insertRowStatement(const TableSchema& table, const QStringList& columns)
{
    QByteArray names;
    QByteArray values;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        names += (i ? ", " : "") + quotedIdentifier(columns[i]);
        values += (i ? ", ?" : "?") + QByteArray::number(i + 1);
    }
    return QByteArray("insert into ") + table.name + " (" + names + ") values (" + values + ')';
}

} // namespace ondiva::catalogue
