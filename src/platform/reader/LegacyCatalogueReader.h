#pragma once

// platform/reader: reading an Access catalogue, through the reader process that the program starts and watches.

// Reads a catalogue kept in an earlier version's file format (a Microsoft
// Access file): the tables it holds, then the rows of chosen tables.

#include "platform/database/FieldValue.h"

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

// One value of a row, exactly as the file holds it: NULL, text in UTF-8 (dates,
// numbers, yes/no and replication IDs as their exact text) or raw bytes (OLE
// objects and binary columns).
using LegacyValue = FieldValue;

// One row, a value per column. Valid only during the call that receives it.
using LegacyRow = std::vector<LegacyValue>;

struct LegacyReadFailure {
    enum class Kind {
        Unreadable,    // damaged, of another kind, protected or encrypted
        ValueTooLong,  // a value longer than the reader can carry
        Crashed,       // the reader ended abnormally (most likely on a damaged file)
        TimedOut,      // the reader stopped answering and was ended
        ExtraRows,     // a table gave more rows than the file says it holds (table): damaged
        BadStream,     // the reader broke its own protocol: a fault of the reader, not of the file
        PipeFailed,    // the data could not travel between the reader and the program
        ReaderMissing, // the reader could not be started
        DriverMissing, // the system lacks the driver the reader reads Access files with
        Cancelled,     // the receiver asked to stop
    };
    LegacyReadFailure(Kind kind = Kind::Unreadable, QString detail = {}, QString table = {})
        : kind(kind)
        , detail(std::move(detail))
        , table(std::move(table))
    {}

    Kind kind;
    QString detail; // technical, for the details of a notice
    QString table;  // the table concerned, where one is
};

// Asked whether the reading is still wanted: several times a second while the
// reader works, whether or not anything arrives, so that the user can stop it.
class LegacyReadWatch {
public:
    virtual ~LegacyReadWatch() = default;
    // False stops the reading (Cancelled).
    virtual bool waiting() = 0;
};

class LegacyRowSink : public LegacyReadWatch {
public:
    // A row of the table at index `table` of the list asked for; false stops the reading.
    virtual bool row(int table, const LegacyRow& values) = 0;
};

// Both calls may be made from a thread other than the event thread.
class LegacyCatalogueReader {
public:
    virtual ~LegacyCatalogueReader() = default;
    virtual std::optional<LegacyReadFailure> listTables(const QString& path, std::vector<LegacyTable>& tables,
                                                        LegacyReadWatch& watch) = 0;
    // The rows of the named tables, each table in the order the file keeps its rows.
    // No table gives more rows than the file says it holds (ExtraRows).
    virtual std::optional<LegacyReadFailure> readTables(const QString& path, const QStringList& tables,
                                                        LegacyRowSink& sink) = 0;
};

} // namespace ondiva
