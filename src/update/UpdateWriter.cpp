#include "UpdateWriter.h"

#include "catalogue/Statements.h"

namespace ondiva::update {

using namespace catalogue;

UpdateWriter::UpdateWriter(Connection& connection, Command recordApplied, std::vector<Command> inserts)
    : m_connection(&connection)
    , m_recordApplied(std::move(recordApplied))
    , m_inserts(std::move(inserts))
{}

Result<UpdateWriter> UpdateWriter::create(Connection& connection)
{
    Result<Command> recordApplied = connection.prepare(recordAppliedStatement());
    if (!recordApplied)
        return recordApplied.error();
    std::vector<Command> inserts;
    inserts.reserve(kAllTables.size());
    for (Table table : kAllTables) {
        Result<Command> insert = connection.prepare(insertStatement(table));
        if (!insert)
            return insert.error();
        inserts.push_back(std::move(*insert));
    }
    return UpdateWriter(connection, std::move(*recordApplied), std::move(inserts));
}

bool UpdateWriter::identifier(QUtf8StringView identifier)
{
    const auto fail = [this](const CatalogueError& error) {
        m_stopped = ImportOutcome::catalogueFailed(error);
        return false;
    };
    // The Like finds every identifier that contains this one, whatever the case of
    // its letters; only an identical one means the update is already in.
    const QByteArray pattern = '%' + QByteArray(identifier.data(), identifier.size()) + '%';
    Result<Cursor> applied = m_connection->execute(appliedCheckStatement(), {QUtf8StringView(pattern)});
    if (!applied)
        return fail(applied.error());
    const int column = applied->columnIndex(kAppliedColumn);
    while (!applied->atEnd()) {
        const QUtf8StringView recorded = applied->field(column);
        if (QByteArrayView(recorded.data(), recorded.size()) == QByteArrayView(identifier.data(), identifier.size())) {
            m_stopped = ImportOutcome::alreadyApplied(identifier.toString());
            return false;
        }
        if (Status next = applied->next(); !next)
            return fail(next.error());
    }
    if (Status recorded = m_recordApplied.run({identifier}); !recorded)
        return fail(recorded.error());
    return true;
}

bool UpdateWriter::record(const UpdateReader::Record& record)
{
    if (Status inserted = m_inserts[size_t(record.section)].run(record.fields); !inserted) {
        m_stopped = ImportOutcome::catalogueFailed(inserted.error());
        return false;
    }
    return true;
}

} // namespace ondiva::update
