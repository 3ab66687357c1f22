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
    Result<Command> recordApplied = connection.prepare(kRecordApplied);
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
    m_identifier = QByteArray(identifier.data(), identifier.size());
    // The Like finds every identifier that contains this one, whatever the case of
    // its letters; only an identical one means the update is already in.
    const QByteArray pattern = '%' + m_identifier + '%';
    Result<Cursor> applied = m_connection->execute(kAppliedCheck, {QUtf8StringView(pattern)});
    if (!applied) {
        m_status = applied.error();
        return false;
    }
    const int column = applied->columnIndex(kAppliedColumn);
    while (!applied->atEnd()) {
        const QUtf8StringView recorded = applied->field(column);
        if (QByteArrayView(recorded.data(), recorded.size()) == QByteArrayView(m_identifier)) {
            m_alreadyApplied = true;
            return false;
        }
        if (Status next = applied->next(); !next) {
            m_status = next;
            return false;
        }
    }
    if (Status recorded = m_recordApplied.run({identifier}); !recorded) {
        m_status = recorded;
        return false;
    }
    return true;
}

bool UpdateWriter::record(const UpdateReader::Record& record)
{
    Command& insert = m_inserts[size_t(record.section)];
    const auto& f = record.fields;
    Status inserted = f.size() == 3 ? insert.run({f[0], f[1], f[2]}) : insert.run({f[0], f[1]});
    if (!inserted) {
        m_status = inserted;
        return false;
    }
    return true;
}

} // namespace ondiva::update
