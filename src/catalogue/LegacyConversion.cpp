#include "LegacyConversion.h"

#include "CatalogueConnection.h"
#include "CatalogueSwap.h"
#include "LegacyFormat.h"
#include "platform/controls/ConversionProgress.h"
#include "platform/files/MarkedWritable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <optional>
#include <variant>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::catalogue {

using Kind = ConversionOutcome::Kind;

namespace {

// What the unfinished new catalogue is called beside qx.mdb: "qx.mdb.conversione-…".
const QString& temporaryTag()
{
    static const QString tag = u".conversione-"_s;
    return tag;
}

constexpr qint64 kRowsPerProgressStep = 4096;

bool contains(const QStringList& names, QAnyStringView name)
{
    return std::any_of(names.begin(), names.end(), [&](const QString& candidate) {
        return QAnyStringView::compare(candidate, name, Qt::CaseInsensitive) == 0;
    });
}

// One of the five tables: where it is in the Access file and its columns, whose
// names are kept exactly.
struct TablePlan {
    const TableSchema* schema;
    QString sourceName;
    qint64 declaredRows;
    QStringList columns;
};

// The five tables found in the Access file without regard to letter case, each
// with every column the program uses; otherwise why the file is no catalogue.
std::variant<std::vector<TablePlan>, ConversionOutcome> planFor(const std::vector<LegacyTable>& tables,
                                                                QStringList& otherTables)
{
    std::vector<TablePlan> plans;
    std::vector<bool> used(tables.size(), false);
    for (const TableSchema& schema : kRequiredTables) {
        const auto found = std::find_if(tables.begin(), tables.end(), [&](const LegacyTable& table) {
            return table.name.compare(QLatin1StringView(schema.name), Qt::CaseInsensitive) == 0;
        });
        ConversionOutcome refused;
        refused.table = QLatin1StringView(schema.name);
        if (found == tables.end()) {
            refused.kind = Kind::MissingTable;
            return refused;
        }
        for (const char* column : schema.usedColumns()) {
            if (!contains(found->columns, QLatin1StringView(column))) {
                refused.kind = Kind::MissingColumn;
                refused.column = QLatin1StringView(column);
                return refused;
            }
        }
        used[size_t(found - tables.begin())] = true;
        plans.push_back({&schema, found->name, found->rows, found->columns});
    }
    for (size_t i = 0; i < tables.size(); ++i) {
        if (!used[i])
            otherTables << tables[i].name;
    }
    return plans;
}

// Writes the rows the reader hands over into the new catalogue.
class RowWriter : public LegacyRowSink {
public:
    RowWriter(std::vector<Command>& inserts, const std::vector<TablePlan>& plans, ConversionProgress& progress)
        : m_inserts(inserts)
        , m_plans(plans)
        , m_progress(progress)
    {}

    bool row(int table, const LegacyRow& values) override
    {
        // The reader checks the stream already; a row that does not fit its table would still be no row of it.
        if (table < 0 || size_t(table) >= m_plans.size() || values.size() != size_t(m_plans[size_t(table)].columns.size())) {
            m_badRow = true;
            return false;
        }
        if (Status written = m_inserts[size_t(table)].run(std::span<const FieldValue>(values)); !written) {
            m_error = written.error();
            return false;
        }
        ++rows[size_t(table)];
        ++m_done;
        return m_done % kRowsPerProgressStep != 0 || keepGoing();
    }
    bool waiting() override { return keepGoing(); }

    bool cancelled() const { return m_cancelled; }
    bool badRow() const { return m_badRow; }
    const std::optional<CatalogueError>& error() const { return m_error; }
    std::array<qint64, kRequiredTables.size()> rows{};

private:
    bool keepGoing()
    {
        m_cancelled = !m_progress.advance(m_done);
        return !m_cancelled;
    }

    std::vector<Command>& m_inserts;
    const std::vector<TablePlan>& m_plans;
    ConversionProgress& m_progress;
    qint64 m_done = 0;
    bool m_cancelled = false;
    bool m_badRow = false;
    std::optional<CatalogueError> m_error;
};

// The Access file's tables, listed (which may take long: on Windows it counts
// every table's rows, and the user can stop it too) and matched to the five.
std::variant<std::vector<TablePlan>, ConversionOutcome> listAndPlan(LegacyCatalogueReader& reader, const QString& path,
                                                                    ConversionProgress& progress,
                                                                    QStringList& otherTables)
{
    struct Listing : LegacyReadWatch {
        explicit Listing(ConversionProgress& progress)
            : progress(progress)
        {}
        bool waiting() override { return progress.advance(0); }
        ConversionProgress& progress;
    } listing(progress);
    std::vector<LegacyTable> tables;
    if (std::optional<LegacyReadFailure> failure = reader.listTables(path, tables, listing))
        return ConversionOutcome::readFailed(*failure);
    if (!progress.advance(0)) // cancelled as the listing ended
        return ConversionOutcome::failed(Kind::Cancelled);
    return planFor(tables, otherTables);
}

// The five tables made in the new catalogue, each with its insert prepared.
std::optional<ConversionOutcome> createTables(Connection& db, const std::vector<TablePlan>& plans,
                                              std::vector<Command>& inserts)
{
    for (const TablePlan& plan : plans) {
        if (Status created = db.run(QUtf8StringView(createTableStatement(*plan.schema, plan.columns))); !created)
            return ConversionOutcome::writeFailed(created.error());
        Result<Command> insert = db.prepare(QUtf8StringView(insertRowStatement(*plan.schema, plan.columns)));
        if (!insert)
            return ConversionOutcome::writeFailed(insert.error());
        inserts.push_back(std::move(*insert));
    }
    return std::nullopt;
}

// Every row of the five tables carried over, counted into outcome.rows; a
// damaged file can end early without a word, so every table must give as many
// rows as the file itself counts (more is refused by the reader).
std::optional<ConversionOutcome> copyRows(LegacyCatalogueReader& reader, const QString& path,
                                          const std::vector<TablePlan>& plans, std::vector<Command>& inserts,
                                          ConversionProgress& progress, ConversionOutcome& outcome)
{
    qint64 totalRows = 0;
    QStringList names;
    for (const TablePlan& plan : plans) {
        totalRows += plan.declaredRows;
        names << plan.sourceName;
    }
    progress.start(totalRows);
    RowWriter writer(inserts, plans, progress);
    const std::optional<LegacyReadFailure> failure = reader.readTables(path, names, writer);
    if (writer.cancelled())
        return ConversionOutcome::failed(Kind::Cancelled);
    if (writer.error())
        return ConversionOutcome::writeFailed(*writer.error());
    if (writer.badRow())
        return ConversionOutcome::readFailed({LegacyReadFailure::Kind::BadStream, u"a row unlike its table"_s});
    if (failure)
        return ConversionOutcome::readFailed(*failure);
    outcome.rows = writer.rows;
    for (size_t i = 0; i < plans.size(); ++i) {
        if (writer.rows[i] != plans[i].declaredRows) {
            outcome.kind = Kind::RowsMissing;
            outcome.table = QLatin1StringView(plans[i].schema->name);
            outcome.declaredRows = plans[i].declaredRows;
            return outcome;
        }
    }
    return std::nullopt;
}

} // namespace

LegacyConversion::LegacyConversion(QString cataloguePath, LegacyCatalogueReader& reader, CatalogueFiles& files,
                                   ConversionProgress& progress)
    : m_path(std::move(cataloguePath))
    , m_reader(reader)
    , m_files(files)
    , m_progress(progress)
{}

QString LegacyConversion::keptName() const { return firstFreeKeptName(m_path, kKeptAccessOriginal, m_files); }

void LegacyConversion::tidy(const QString& cataloguePath, CatalogueFiles& files)
{
    for (const QString& leftover : files.filesBeside(cataloguePath, temporaryTag()))
        files.remove(leftover);
    // Killed between keeping the original and putting the new catalogue in
    // its place, a conversion leaves the original under both names.
    if (!accessFormatOfFile(cataloguePath))
        return;
    removeSecondNames(cataloguePath, kKeptAccessOriginal, files);
}

ConversionOutcome LegacyConversion::run()
{
    if (!m_files.folderWritable(m_path))
        return ConversionOutcome::failed(Kind::FolderReadOnly);
    // Replacing a file marked read-only would change what the user meant to keep
    // as it is (and Windows refuses it, but only once all the rows are written).
    if (!markedWritable(QFileInfo(m_path)))
        return ConversionOutcome::failed(Kind::FileReadOnly);

    QString temporary;
    if (FileStatus created = m_files.createBeside(m_path, temporaryTag(), temporary); !created)
        return ConversionOutcome::fileFailed(created);
    auto discard = qScopeGuard([&] { m_files.remove(temporary); });

    ConversionOutcome outcome = write(temporary);
    if (outcome.kind != Kind::Converted)
        return outcome;
    // The new file must be a catalogue the program can use before it takes the old one's place.
    if (Result<Connection> check = Connection::open(temporary, Connection::Access::Read); !check)
        return ConversionOutcome::writeFailed(check.error());
    if (FileStatus synced = m_files.sync(temporary); !synced)
        return ConversionOutcome::fileFailed(synced);

    outcome = swapIn(temporary, std::move(outcome));
    if (outcome.kind == Kind::Converted)
        discard.dismiss(); // the name is the catalogue's now
    return outcome;
}

ConversionOutcome LegacyConversion::write(const QString& temporary)
{
    ConversionOutcome outcome;
    auto planned = listAndPlan(m_reader, m_path, m_progress, outcome.otherTables);
    if (auto* refused = std::get_if<ConversionOutcome>(&planned))
        return std::move(*refused);
    const std::vector<TablePlan>& plans = std::get<std::vector<TablePlan>>(planned);

    Result<Connection> db = Connection::open(temporary, Connection::Access::Create);
    if (!db)
        return ConversionOutcome::writeFailed(db.error());
    if (Status begun = db->begin(); !begun)
        return ConversionOutcome::writeFailed(begun.error());
    std::vector<Command> inserts;
    if (std::optional<ConversionOutcome> failed = createTables(*db, plans, inserts))
        return std::move(*failed);
    if (std::optional<ConversionOutcome> failed = copyRows(m_reader, m_path, plans, inserts, m_progress, outcome))
        return std::move(*failed);
    inserts.clear();
    if (Status committed = db->commit(); !committed)
        return ConversionOutcome::writeFailed(committed.error());
    return outcome;
}

ConversionOutcome LegacyConversion::swapIn(const QString& temporary, ConversionOutcome outcome)
{
    SwapResult swapped = catalogue::swapIn(m_files, m_path, temporary, kKeptAccessOriginal);
    if (!swapped.status) {
        ConversionOutcome failed = ConversionOutcome::fileFailed(swapped.status);
        failed.keptAs = swapped.keptAs;
        return failed;
    }
    outcome.kind = Kind::Converted;
    outcome.keptAs = swapped.keptAs;
    outcome.unconfirmed = swapped.unconfirmed;
    outcome.unconfirmedDetail = swapped.unconfirmedDetail;
    return outcome;
}

} // namespace ondiva::catalogue
