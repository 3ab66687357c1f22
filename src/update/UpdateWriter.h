#pragma once

#include "ImportOutcome.h"
#include "UpdateReader.h"
#include "catalogue/CatalogueConnection.h"

#include <optional>
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

    // Why the writer stopped the reader, if it did: the update was applied
    // before, or the catalogue failed.
    const std::optional<ImportOutcome>& stopped() const { return m_stopped; }

private:
    UpdateWriter(catalogue::Connection& connection, catalogue::Command recordApplied,
                 std::vector<catalogue::Command> inserts);

    catalogue::Connection* m_connection;
    catalogue::Command m_recordApplied;
    std::vector<catalogue::Command> m_inserts; // one per table, in catalogue::Table order
    std::optional<ImportOutcome> m_stopped;
};

} // namespace ondiva::update
