#pragma once

#include "UpdateReader.h"
#include "catalogue/CatalogueConnection.h"

#include <QByteArray>
#include <vector>

namespace ondiva::update {

// Writes what an UpdateReader reads into the catalogue: on the identifier it
// checks whether the update was applied before and, if not, records it; then
// it inserts each record into its section's table. It stops the reader at the
// first failure. The caller owns the transaction: nothing here commits.
class UpdateWriter : public UpdateReader::Handler {
public:
    // Prepares the statements on a connection open for writing.
    static Result<UpdateWriter> create(catalogue::Connection& connection);

    bool identifier(QUtf8StringView identifier) override;
    bool record(const UpdateReader::Record& record) override;

    // The identifier of the update being written (UTF-8).
    const QByteArray& updateIdentifier() const { return m_identifier; }
    // The catalogue already records this very identifier; nothing was written.
    bool alreadyApplied() const { return m_alreadyApplied; }
    // The first failure of the catalogue, if any.
    const Status& status() const { return m_status; }

private:
    UpdateWriter(catalogue::Connection& connection, catalogue::Command recordApplied,
                 std::vector<catalogue::Command> inserts);

    catalogue::Connection* m_connection;
    catalogue::Command m_recordApplied;
    std::vector<catalogue::Command> m_inserts; // one per table, in catalogue::Table order
    QByteArray m_identifier;
    bool m_alreadyApplied = false;
    Status m_status = Done{};
};

} // namespace ondiva::update
