#pragma once

// Temporary catalogue files for tests: the real schema, filled with given rows.

#include "platform/database/Sqlite.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <initializer_list>
#include <optional>
#include <vector>

namespace ondiva::testing {

using Row = std::vector<std::optional<QString>>; // std::nullopt stands for NULL

class TestCatalogue {
public:
    TestCatalogue();

    QString path() const { return m_path; }
    QString dir() const { return m_dir.path(); }

    // Appends rows to a table; each row has one value per listed column.
    void insert(const char* table, const QStringList& columns, const std::vector<Row>& rows);
    // Runs any SQL on the file (schema changes for failure tests).
    void exec(const QString& sql);
    // All rows of a table as texts, columns joined by "|", NULL as "<NULL>".
    QStringList dump(const QString& table, const QStringList& columns);
    qsizetype rowCount(const QString& table);

private:
    QTemporaryDir m_dir;
    QString m_path;
};

// Creates a catalogue at path from the real schema.
void createCatalogue(const QString& path);

} // namespace ondiva::testing
