#include "LegacyConversion.h"

#include "CatalogueConnection.h"
#include "LegacyFormat.h"
#include "platform/ConversionProgress.h"
#include "platform/Sqlite.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>

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

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// The n-th name the original may be kept under, beside the catalogue.
QString keptCandidate(const QString& cataloguePath, int n)
{
    const QFileInfo info(cataloguePath);
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    const QString number = n > 1 ? u'-' + QString::number(n) : QString();
    return info.dir().filePath(info.completeBaseName() + u"-originale-access"_s + number + suffix);
}

// A column name as the new catalogue's statements may carry it. The names come
// from the Access file, and a name cannot travel as a bound value, so only
// letters, digits, spaces and underscores are kept; any other character
// becomes an underscore. The result is then always safe inside double quotes.
QString safeColumnName(const QString& name)
{
    QString safe;
    safe.reserve(name.size());
    for (QChar c : name)
        safe += c.isLetterOrNumber() || c == u' ' || c == u'_' ? c : u'_';
    return safe.trimmed().isEmpty() ? u"COLONNA"_s : safe;
}

qsizetype indexOf(const QStringList& names, QAnyStringView name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (QAnyStringView::compare(names[i], name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// One of the five tables: where it is in the Access file and the columns it gets.
struct TablePlan {
    const TableSchema* schema;
    QString sourceName;
    qint64 declaredRows;
    QStringList columns; // safe, distinct names, in the Access file's order
};

QByteArray createStatement(const TablePlan& plan)
{
    QByteArray sql = QByteArray("create table ") + plan.schema->name + " (";
    for (qsizetype i = 0; i < plan.columns.size(); ++i)
        sql += (i ? ", \"" : "\"") + plan.columns[i].toUtf8() + "\" text";
    return sql + ')';
}

QByteArray insertStatement(const TablePlan& plan)
{
    QByteArray columns;
    QByteArray values;
    for (qsizetype i = 0; i < plan.columns.size(); ++i) {
        columns += (i ? ", \"" : "\"") + plan.columns[i].toUtf8() + '"';
        values += (i ? ", ?" : "?") + QByteArray::number(i + 1);
    }
    return QByteArray("insert into ") + plan.schema->name + " (" + columns + ") values (" + values + ')';
}

// Writes the rows the reader hands over into the new catalogue.
class RowWriter : public LegacyRowSink {
public:
    RowWriter(std::vector<sqlite::Statement>& inserts, ConversionProgress& progress, QString cataloguePath)
        : m_inserts(inserts)
        , m_progress(progress)
        , m_path(std::move(cataloguePath))
    {}

    bool row(int table, const LegacyRow& values) override
    {
        sqlite::Statement& insert = m_inserts[size_t(table)];
        insert.reset();
        for (size_t i = 0; i < values.size(); ++i) {
            const int index = int(i) + 1;
            if (values[i].kind == LegacyValue::Kind::Null) {
                insert.bindNull(index);
                continue;
            }
            // The value stays valid until the step below, so SQLite need not copy it.
            const char* data = values[i].data.data() ? values[i].data.data() : "";
            if (values[i].kind == LegacyValue::Kind::Bytes)
                sqlite3_bind_blob64(insert.get(), index, data, values[i].data.size(), SQLITE_STATIC);
            else
                sqlite3_bind_text64(insert.get(), index, data, values[i].data.size(), SQLITE_STATIC, SQLITE_UTF8);
        }
        const int rc = insert.step();
        insert.reset();
        if (rc != SQLITE_DONE) {
            sqlite3* db = sqlite3_db_handle(insert.get());
            m_error = errorFor(rc, m_path, QString::fromUtf8(sqlite3_errmsg(db)));
            return false;
        }
        ++rows[size_t(table)];
        ++m_done;
        return m_done % kRowsPerProgressStep != 0 || keepGoing();
    }
    bool waiting() override { return keepGoing(); }

    bool cancelled() const { return m_cancelled; }
    const std::optional<CatalogueError>& error() const { return m_error; }
    std::array<qint64, kRequiredTables.size()> rows{};

private:
    bool keepGoing()
    {
        m_cancelled = !m_progress.advance(m_done);
        return !m_cancelled;
    }

    std::vector<sqlite::Statement>& m_inserts;
    ConversionProgress& m_progress;
    QString m_path;
    qint64 m_done = 0;
    bool m_cancelled = false;
    std::optional<CatalogueError> m_error;
};

ConversionOutcome failed(Kind kind)
{
    ConversionOutcome outcome;
    outcome.kind = kind;
    return outcome;
}

ConversionOutcome writeFailed(CatalogueError error)
{
    ConversionOutcome outcome = failed(Kind::WriteFailed);
    outcome.writeError = std::move(error);
    return outcome;
}

ConversionOutcome fileFailed(FileStatus status)
{
    ConversionOutcome outcome = failed(Kind::FileFailed);
    outcome.fileStatus = std::move(status);
    return outcome;
}

ConversionOutcome readFailed(const LegacyReadFailure& failure)
{
    ConversionOutcome outcome =
        failed(failure.kind == LegacyReadFailure::Kind::Cancelled ? Kind::Cancelled : Kind::ReaderFailed);
    outcome.readFailure = failure;
    return outcome;
}

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
        return failed(Kind::FolderReadOnly);

    std::vector<LegacyTable> tables;
    if (std::optional<LegacyReadFailure> failure = m_reader.listTables(m_path, tables))
        return readFailed(*failure);

    // The five tables and their columns, found without regard to letter case.
    ConversionOutcome outcome;
    std::vector<TablePlan> plans;
    std::vector<bool> used(tables.size(), false);
    qint64 totalRows = 0;
    for (const TableSchema& schema : kRequiredTables) {
        const auto found = std::find_if(tables.begin(), tables.end(), [&](const LegacyTable& table) {
            return table.name.compare(QLatin1StringView(schema.name), Qt::CaseInsensitive) == 0;
        });
        if (found == tables.end()) {
            outcome.kind = Kind::MissingTable;
            outcome.table = QLatin1StringView(schema.name);
            return outcome;
        }
        for (const char* column : schema.usedColumns()) {
            if (indexOf(found->columns, QLatin1StringView(column)) < 0) {
                outcome.kind = Kind::MissingColumn;
                outcome.table = QLatin1StringView(schema.name);
                outcome.column = QLatin1StringView(column);
                return outcome;
            }
        }
        used[size_t(found - tables.begin())] = true;
        TablePlan plan{&schema, found->name, found->rows, {}};
        for (const QString& column : found->columns) {
            QString safe = safeColumnName(column);
            for (int n = 2; indexOf(plan.columns, safe) >= 0; ++n)
                safe = safeColumnName(column) + u'_' + QString::number(n);
            if (safe != column)
                outcome.renamedColumns << u"%1.%2 → %3"_s.arg(QLatin1StringView(schema.name), column, safe);
            plan.columns << safe;
        }
        plans.push_back(std::move(plan));
        totalRows += found->rows;
    }
    for (size_t i = 0; i < tables.size(); ++i) {
        if (!used[i])
            outcome.otherTables << tables[i].name;
    }

    QString temporary;
    if (FileStatus created = m_files.createBeside(m_path, temporaryTag(), temporary); !created)
        return fileFailed(created);
    auto discard = qScopeGuard([&] { m_files.remove(temporary); });

    {
        sqlite::Database db;
        int rc = db.open(temporary, true);
        const auto dbError = [&](int code) { return writeFailed(errorFor(code, m_path, db.errorMessage())); };
        if (rc != SQLITE_OK)
            return dbError(rc);
        sqlite3_extended_result_codes(db.get(), 1);
        // The file is thrown away unless it is complete: no journal is needed
        // while it is written, and it is forced to disk once, at the end.
        for (const char* pragma : {"pragma journal_mode = off", "pragma synchronous = off", "begin"}) {
            if ((rc = db.exec(pragma)) != SQLITE_OK)
                return dbError(rc);
        }
        std::vector<sqlite::Statement> inserts;
        for (const TablePlan& plan : plans) {
            if ((rc = db.exec(createStatement(plan).constData())) != SQLITE_OK)
                return dbError(rc);
            inserts.push_back(db.prepare(QUtf8StringView(insertStatement(plan)), &rc));
            if (rc != SQLITE_OK)
                return dbError(rc);
        }

        m_progress.start(totalRows);
        const auto finishProgress = qScopeGuard([this] { m_progress.finish(); });
        RowWriter writer(inserts, m_progress, m_path);
        QStringList names;
        for (const TablePlan& plan : plans)
            names << plan.sourceName;
        const std::optional<LegacyReadFailure> failure = m_reader.readTables(m_path, names, writer);
        if (writer.cancelled())
            return failed(Kind::Cancelled);
        if (writer.error())
            return writeFailed(*writer.error());
        if (failure)
            return readFailed(*failure);
        // A damaged file can end early without a word: every table must give
        // as many rows as the file itself counts.
        for (size_t i = 0; i < plans.size(); ++i) {
            if (writer.rows[i] != plans[i].declaredRows) {
                outcome.kind = Kind::RowsMissing;
                outcome.table = QLatin1StringView(plans[i].schema->name);
                outcome.declaredRows = plans[i].declaredRows;
                outcome.rows = writer.rows;
                return outcome;
            }
        }
        if ((rc = db.exec("commit")) != SQLITE_OK)
            return dbError(rc);
        outcome.rows = writer.rows;
    }

    // The new file must be a catalogue the program can use before it takes the old one's place.
    if (Result<Connection> check = Connection::open(temporary, Connection::Access::Read); !check)
        return writeFailed(check.error());
    if (FileStatus synced = m_files.sync(temporary); !synced)
        return fileFailed(synced);

    // First the original gets a second name, so that its bytes exist under
    // some name at every moment; then the new catalogue takes its name.
    QString kept;
    for (int n = 1;; ++n) {
        kept = keptCandidate(m_path, n);
        const FileStatus status = m_files.keepAs(m_path, kept);
        if (status)
            break;
        if (status.kind != FileStatus::Kind::Exists || n >= kMaxKeptNames)
            return fileFailed(status);
    }
    if (FileStatus replaced = m_files.replace(temporary, m_path); !replaced) {
        m_files.remove(kept);
        return fileFailed(replaced);
    }
    discard.dismiss();
    outcome.kind = Kind::Converted;
    outcome.keptAs = kept;
    return outcome;
}

Notice noticeFor(const ConversionOutcome& outcome, const QString& cataloguePath)
{
    const QString path = shown(cataloguePath);
    const QString unchanged = u" Il catalogo non è stato modificato."_s;
    const QString damagedAdvice = u" Ripararlo con «Compatta e ripristina database» di Microsoft Access e riavviare il "
                                  u"programma."_s;
    switch (outcome.kind) {
    case Kind::Converted: {
        const QLocale italian(QLocale::Italian, QLocale::Italy);
        QString text = u"Il catalogo è stato convertito nel nuovo formato.\n\nRighe trasferite:"_s;
        for (size_t i = 0; i < kRequiredTables.size(); ++i)
            text += u"\n%1: %2"_s.arg(QLatin1StringView(kRequiredTables[i].name), italian.toString(outcome.rows[i]));
        text += u"\n\nIl file di Access originale è conservato, senza modifiche, con il nome «%1»."_s.arg(
            QFileInfo(outcome.keptAs).fileName());
        if (!outcome.otherTables.isEmpty())
            text += u"\n\nNon sono state trasferite, perché il programma non le usa, le tabelle: %1. Restano nel "
                    u"file originale."_s.arg(outcome.otherTables.join(u", "_s));
        if (!outcome.renamedColumns.isEmpty())
            text +=
                u"\n\nAlcune colonne hanno un nome nuovo, perché il loro conteneva caratteri non ammessi: %1."_s.arg(
                    outcome.renamedColumns.join(u", "_s));
        return {text, {}};
    }
    case Kind::Cancelled:
        return {u"Conversione annullata. Il catalogo non è stato modificato: resta nel formato di Microsoft Access, "
                u"e al prossimo avvio il programma proporrà di nuovo di convertirlo."_s,
                {}};
    case Kind::FolderReadOnly:
        return {u"Impossibile convertire il catalogo «%1»: la cartella che lo contiene è di sola lettura. Spostare il "
                u"programma e il catalogo in una cartella in cui si può scrivere, o renderla scrivibile, e riavviare "
                u"il programma."_s.arg(path) +
                    unchanged,
                {}};
    case Kind::ReaderFailed: {
        const QString detail = outcome.readFailure.detail;
        switch (outcome.readFailure.kind) {
        case LegacyReadFailure::Kind::Unreadable:
            return {u"Impossibile leggere il catalogo «%1»: il file di Access è danneggiato, oppure è protetto da una "
                    u"password o cifrato. Se ha una password, toglierla con Microsoft Access; se è danneggiato, "
                    u"ripararlo con «Compatta e ripristina database». Poi riavviare il programma."_s.arg(path) +
                        unchanged,
                    detail};
        case LegacyReadFailure::Kind::ValueTooLong:
            return {u"Impossibile convertire il catalogo «%1»: contiene un valore troppo lungo per essere trasferito."_s
                            .arg(path) +
                        unchanged,
                    detail};
        case LegacyReadFailure::Kind::Crashed:
        case LegacyReadFailure::Kind::ExtraRows:
        case LegacyReadFailure::Kind::BadStream:
        case LegacyReadFailure::Kind::PipeFailed:
            return {u"Impossibile leggere il catalogo «%1»: la lettura del file di Access si è interrotta, "
                    u"probabilmente perché il file è danneggiato."_s.arg(path) +
                        damagedAdvice + unchanged,
                    detail};
        case LegacyReadFailure::Kind::TimedOut:
            return {u"Impossibile leggere il catalogo «%1»: la lettura del file di Access non procedeva più ed è stata "
                    u"fermata; il file è probabilmente danneggiato."_s.arg(path) +
                        damagedAdvice + unchanged,
                    detail};
        case LegacyReadFailure::Kind::ReaderMissing:
            return {u"Impossibile convertire il catalogo: manca il lettore dei file di Access "
                    u"(«ondiva-accessreader»), che deve trovarsi accanto al programma. Reinstallare il programma."_s +
                        unchanged,
                    detail};
        case LegacyReadFailure::Kind::Cancelled:
            break;
        }
        return {u"Conversione annullata."_s + unchanged, detail};
    }
    case Kind::MissingTable:
        return {u"Impossibile convertire il catalogo «%1»: nel file di Access manca la tabella %2, quindi non è un "
                u"catalogo di Ondiva Magazine."_s.arg(path, outcome.table) +
                    unchanged,
                {}};
    case Kind::MissingColumn:
        return {u"Impossibile convertire il catalogo «%1»: nella tabella %2 del file di Access manca la colonna %3, "
                u"quindi non è un catalogo di Ondiva Magazine."_s.arg(path, outcome.table, outcome.column) +
                    unchanged,
                {}};
    case Kind::RowsMissing: {
        const auto table = std::find_if(kRequiredTables.begin(), kRequiredTables.end(), [&](const TableSchema& t) {
            return outcome.table == QLatin1StringView(t.name);
        });
        const qint64 read = table == kRequiredTables.end() ? 0 : outcome.rows[size_t(table - kRequiredTables.begin())];
        const QLocale italian(QLocale::Italian, QLocale::Italy);
        return {u"Impossibile convertire il catalogo «%1»: il file di Access è danneggiato (la tabella %2 dovrebbe "
                u"avere %3 righe, ma se ne leggono %4)."_s.arg(
                    path, outcome.table, italian.toString(outcome.declaredRows), italian.toString(read)) +
                    damagedAdvice + unchanged,
                {}};
    }
    case Kind::WriteFailed:
        return {u"Impossibile convertire il catalogo. "_s + outcome.writeError.message + unchanged,
                outcome.writeError.detail};
    case Kind::FileFailed:
        break;
    }
    const QString folder = shown(QFileInfo(cataloguePath).absolutePath());
    switch (outcome.fileStatus.kind) {
    case FileStatus::Kind::NoSpace:
        return {u"Impossibile convertire il catalogo: lo spazio sul disco della cartella «%1» è esaurito. Liberare "
                u"spazio e riavviare il programma."_s.arg(folder) +
                    unchanged,
                outcome.fileStatus.detail};
    case FileStatus::Kind::Denied:
        return {u"Impossibile convertire il catalogo: non si hanno i permessi per scrivere nella cartella «%1»."_s.arg(
                    folder) +
                    unchanged,
                outcome.fileStatus.detail};
    default:
        break;
    }
    return {u"Impossibile convertire il catalogo: errore nello scrivere nella cartella «%1»."_s.arg(folder) + unchanged,
            outcome.fileStatus.detail};
}

void offerConversion(const QString& cataloguePath, const QString& title, MessageBox& messages,
                     LegacyCatalogueReader& reader, CatalogueFiles& files, ConversionProgress& progress)
{
    LegacyConversion::tidy(cataloguePath, files);
    const std::optional<AccessFormat> format = accessFormatOfFile(cataloguePath);
    if (!format)
        return;
    LegacyConversion conversion(cataloguePath, reader, files, progress);
    const QString question =
        u"Il catalogo «%1» è un file di Microsoft Access (%2), il formato delle versioni precedenti del programma.\n\n"
        u"Convertirlo ora nel nuovo formato? Il file originale sarà conservato, senza modifiche, nella stessa "
        u"cartella con il nome «%3»."_s.arg(shown(cataloguePath), formatName(*format),
                                            QFileInfo(conversion.keptName()).fileName());
    if (messages.show(question, MessageBox::YesNo | MessageBox::IconQuestion, title) != MessageBox::AnswerYes)
        return;
    const ConversionOutcome outcome = conversion.run();
    const Notice notice = noticeFor(outcome, cataloguePath);
    const int icon = outcome.kind == Kind::Converted ? MessageBox::IconInformation : MessageBox::IconCritical;
    messages.show(notice.text, MessageBox::Ok | icon, title, notice.details);
}

} // namespace ondiva::catalogue
