#pragma once

// Reads a catalogue kept in an earlier version's file format (a Microsoft
// Access file): the tables it holds, then the rows of chosen tables.

#include <QString>
#include <QStringList>

#include <optional>
#include <string_view>
#include <vector>

namespace ondiva {

struct LegacyTable {
    QString name;
    QStringList columns;
    qint64 rows = 0; // as the file records it
};

// One row: per column, UTF-8 text or NULL. Valid only during the call that receives it.
using LegacyRow = std::vector<std::optional<std::string_view>>;

struct LegacyReadFailure {
    enum class Kind {
        Unreadable,    // damaged, of another kind, protected or encrypted
        ValueTooLong,  // a value longer than the reader can carry
        Crashed,       // the reader ended abnormally
        TimedOut,      // the reader stopped answering and was ended
        ReaderMissing, // the reader could not be started
        Cancelled,     // the receiver asked to stop
    };
    Kind kind = Kind::Unreadable;
    QString detail; // technical, for the details of a notice
};

class LegacyRowSink {
public:
    virtual ~LegacyRowSink() = default;
    // A row of the table at index `table` of the list asked for; false stops the reading.
    virtual bool row(int table, const LegacyRow& values) = 0;
    // Called now and then while no rows arrive; false stops the reading.
    virtual bool waiting() = 0;
};

class LegacyCatalogueReader {
public:
    virtual ~LegacyCatalogueReader() = default;
    virtual std::optional<LegacyReadFailure> listTables(const QString& path, std::vector<LegacyTable>& tables) = 0;
    // The rows of the named tables, each table in the order the file keeps its rows.
    virtual std::optional<LegacyReadFailure> readTables(const QString& path, const QStringList& tables,
                                                        LegacyRowSink& sink) = 0;
};

} // namespace ondiva
