#include "LegacyConversion.h"

#include "CatalogueConnection.h"
#include "LegacyFormat.h"
#include "platform/ConversionProgress.h"
#include "platform/MarkedWritable.h"

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
constexpr int kMaxKeptNames = 1000;

// The n-th name the original may be kept under, beside the catalogue.
QString keptCandidate(const QString& cataloguePath, int n)
{
    const QFileInfo info(cataloguePath);
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    const QString number = n > 1 ? u'-' + QString::number(n) : QString();
    return info.dir().filePath(info.completeBaseName() + u"-originale-access"_s + number + suffix);
}

bool contains(const QStringList& names, QAnyStringView name)
{
    return std::any_of(names.begin(), names.end(), [&](const QString& candidate) {
        return QAnyStringView::compare(candidate, name, Qt::CaseInsensitive) == 0;
    });
}

// Whether two files hold the same bytes; false if either cannot be read.
bool sameBytes(const QString& a, const QString& b)
{
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) || first.size() != second.size())
        return false;
    constexpr qint64 kChunk = 1 << 16;
    while (!first.atEnd()) {
        const QByteArray chunk = first.read(kChunk);
        if (chunk.isEmpty() || second.read(kChunk) != chunk)
            return false;
    }
    return second.atEnd();
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

} // namespace

LegacyConversion::LegacyConversion(QString cataloguePath, LegacyCatalogueReader& reader, CatalogueFiles& files,
                                   ConversionProgress& progress)
    : m_path(std::move(cataloguePath))
    , m_reader(reader)
    , m_files(files)
    , m_progress(progress)
{}

QString LegacyConversion::keptName() const
{
    for (int n = 1; n < kMaxKeptNames; ++n) {
        if (!m_files.exists(keptCandidate(m_path, n)))
            return keptCandidate(m_path, n);
    }
    return keptCandidate(m_path, kMaxKeptNames);
}

void LegacyConversion::tidy(const QString& cataloguePath, CatalogueFiles& files)
{
    for (const QString& leftover : files.filesBeside(cataloguePath, temporaryTag()))
        files.remove(leftover);
    // Killed between keeping the original and putting the new catalogue in
    // its place, a conversion leaves the original under both names.
    if (!accessFormatOfFile(cataloguePath))
        return;
    for (int n = 1; n < kMaxKeptNames && files.exists(keptCandidate(cataloguePath, n)); ++n) {
        if (files.sameFile(keptCandidate(cataloguePath, n), cataloguePath))
            files.remove(keptCandidate(cataloguePath, n));
    }
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
    // Listing may take long (on Windows it counts every table's rows): the user can stop it too.
    struct Listing : LegacyReadWatch {
        explicit Listing(ConversionProgress& progress)
            : progress(progress)
        {}
        bool waiting() override { return progress.advance(0); }
        ConversionProgress& progress;
    } listing(m_progress);
    std::vector<LegacyTable> tables;
    if (std::optional<LegacyReadFailure> failure = m_reader.listTables(m_path, tables, listing))
        return ConversionOutcome::readFailed(*failure);
    if (!m_progress.advance(0)) // cancelled as the listing ended
        return ConversionOutcome::failed(Kind::Cancelled);
    ConversionOutcome outcome;
    auto planned = planFor(tables, outcome.otherTables);
    if (auto* refused = std::get_if<ConversionOutcome>(&planned))
        return std::move(*refused);
    const std::vector<TablePlan>& plans = std::get<std::vector<TablePlan>>(planned);

    Result<Connection> db = Connection::open(temporary, Connection::Access::Create);
    if (!db)
        return ConversionOutcome::writeFailed(db.error());
    if (Status begun = db->begin(); !begun)
        return ConversionOutcome::writeFailed(begun.error());
    std::vector<Command> inserts;
    qint64 totalRows = 0;
    for (const TablePlan& plan : plans) {
        if (Status created = db->run(QUtf8StringView(createTableStatement(*plan.schema, plan.columns))); !created)
            return ConversionOutcome::writeFailed(created.error());
        Result<Command> insert = db->prepare(QUtf8StringView(insertRowStatement(*plan.schema, plan.columns)));
        if (!insert)
            return ConversionOutcome::writeFailed(insert.error());
        inserts.push_back(std::move(*insert));
        totalRows += plan.declaredRows;
    }

    m_progress.start(totalRows);
    RowWriter writer(inserts, plans, m_progress);
    QStringList names;
    for (const TablePlan& plan : plans)
        names << plan.sourceName;
    const std::optional<LegacyReadFailure> failure = m_reader.readTables(m_path, names, writer);
    if (writer.cancelled())
        return ConversionOutcome::failed(Kind::Cancelled);
    if (writer.error())
        return ConversionOutcome::writeFailed(*writer.error());
    if (writer.badRow())
        return ConversionOutcome::readFailed({LegacyReadFailure::Kind::BadStream, u"a row unlike its table"_s});
    if (failure)
        return ConversionOutcome::readFailed(*failure);
    // A damaged file can end early without a word: every table must give as
    // many rows as the file itself counts (more is refused by the reader).
    outcome.rows = writer.rows;
    for (size_t i = 0; i < plans.size(); ++i) {
        if (writer.rows[i] != plans[i].declaredRows) {
            outcome.kind = Kind::RowsMissing;
            outcome.table = QLatin1StringView(plans[i].schema->name);
            outcome.declaredRows = plans[i].declaredRows;
            return outcome;
        }
    }
    inserts.clear();
    if (Status committed = db->commit(); !committed)
        return ConversionOutcome::writeFailed(committed.error());
    return outcome;
}

ConversionOutcome LegacyConversion::swapIn(const QString& temporary, ConversionOutcome outcome)
{
    // First the original gets a second name, so that its bytes exist under
    // some name at every moment; then the new catalogue takes its name.
    QString kept;
    for (int n = 1;; ++n) {
        kept = keptCandidate(m_path, n);
        const FileStatus status = m_files.keepAs(m_path, kept);
        if (status)
            break;
        if (status.kind != FileStatus::Kind::Exists || n >= kMaxKeptNames)
            return ConversionOutcome::fileFailed(status);
    }
    if (FileStatus synced = m_files.syncFolder(kept); !synced)
        return keepOnlyIfNeeded(kept, ConversionOutcome::fileFailed(synced));
    if (FileStatus renamed = m_files.rename(temporary, m_path); !renamed) {
        if (m_files.exists(temporary))
            return keepOnlyIfNeeded(kept, ConversionOutcome::fileFailed(renamed));
        // The rename took effect although it reported an error: the new
        // catalogue has the name, and the original is only under the kept one.
        outcome.unconfirmed = true;
        outcome.unconfirmedDetail = renamed.detail;
    } else if (FileStatus synced = m_files.syncFolder(m_path); !synced) {
        // Converted: the swap stands, and is never undone by dropping the kept original.
        outcome.unconfirmed = true;
        outcome.unconfirmedDetail = synced.detail;
    }
    outcome.kind = Kind::Converted;
    outcome.keptAs = kept;
    return outcome;
}

ConversionOutcome LegacyConversion::keepOnlyIfNeeded(const QString& kept, ConversionOutcome failed)
{
    // A swap that failed leaves the original's second name ours to take back,
    // but only while the catalogue's name verifiably still holds the original:
    // the same file, or, where keepAs had to copy, the same bytes. A file system
    // that replaces a file by removing it first (some network and FUSE ones) may
    // have lost that name on the way, and the second is then the original's only one.
    if (m_files.sameFile(m_path, kept) || sameBytes(m_path, kept))
        m_files.remove(kept);
    else
        failed.keptAs = kept;
    return failed;
}

} // namespace ondiva::catalogue
