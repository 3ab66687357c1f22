// The benchmark suite. Every figure is measured in the same run as its
// baseline, on the same files, and printed with the ratio between the two.
//
//   ondiva_bench [--sizes 10000,100000,1000000] [--repeats 5] [--data DIR]
//
// Sections: engine (search without the window, against the sqlite3 shell's
// built-in LIKE), path (Enter in the real window until the count shows, against
// the shell printing the same rows), memory (the result list's bytes per row,
// against the UTF-8 size of the rows), import (an update file, against the
// shell's .import of the same records), convert (an Access catalogue, against
// mdb-export), bring (File ▸ Open earlier catalogue…, against dd), startup
// (until the window is shown).

#include "CatalogueGenerator.h"
#include "Harness.h"
#include "catalogue/Statements.h"
#include "platform/controls/FileDialog.h"
#include "platform/controls/Label.h"
#include "platform/controls/MessageBox.h"
#include "platform/controls/OptionButton.h"
#include "platform/controls/QtInputFile.h"
#include "platform/controls/QtMessageBox.h"
#include "platform/controls/ResultList.h"
#include "platform/files/SystemCatalogueFiles.h"
#include "platform/controls/TextBox.h"
#include "search/PaneSearch.h"
#include "shell/MainWindow.h"
#include "shell/ResultListWidget.h"
#include "shell/ResultTableModel.h"
#include "update/UpdateImport.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include <malloc.h>

#include <cstdio>

using namespace ondiva;
using namespace ondiva::bench;
using namespace Qt::Literals::StringLiterals;

namespace {

// Controls that only hold what the search needs, so the engine is measured alone.
struct Box : TextBox {
    QString value;
    QString text() const override { return value; }
};
struct Option : OptionButton {
    bool selected = false;
    bool isSelected() const override { return selected; }
};
struct CountingList : ResultList {
    qsizetype rows = 0;
    qsizetype bytes = 0;
    void clear() override { rows = bytes = 0; }
    void addRow(QUtf8StringView row) override
    {
        ++rows;
        bytes += row.size();
    }
    qsizetype count() const override { return rows; }
};
struct Caption : Label {
    QString caption;
    void setCaption(const QString& text) override { caption = text; }
};
struct Messages : MessageBox {
    int show(const QString& text, int, const QString&, const QString& = {}) override
    {
        std::fprintf(stderr, "bench: %s\n", qPrintable(text));
        return AnswerOk;
    }
};

struct Query {
    const search::PaneDefinition* pane;
    int option;
    QString term;
};

QString dataFile(const QString& dir, const QString& name) { return QDir(dir).filePath(name); }

QString ensureCatalogue(const QString& dir, std::size_t rows)
{
    const QString path = dataFile(dir, u"catalogue-%1.mdb"_s.arg(rows));
    if (!QFileInfo::exists(path)) {
        QFile schema(QStringLiteral(ONDIVA_SCHEMA_FILE));
        schema.open(QIODevice::ReadOnly);
        if (!CatalogueGenerator::writeCatalogue(path.toStdString(), schema.readAll().toStdString(), rows))
            qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

void benchEngine(Report& report, const QString& catalogue, std::size_t rows, int repeats, const QString& only)
{
    using search::kArticlesPane;
    using search::kWindowsPane;
    const std::vector<Query> queries{
        {&kArticlesPane, 0, u"zibaldone"_s}, {&kArticlesPane, 0, u"suono"_s}, {&kArticlesPane, 0, u"caffè"_s},
        {&kArticlesPane, 0, u"CAFFÈ"_s},     {&kArticlesPane, 0, QString()},  {&kArticlesPane, 1, u"d'angelo"_s},
        {&kWindowsPane, 1, u"suono"_s},      {&kArticlesPane, 2, u"299"_s},   {&kArticlesPane, 2, u"1"_s},
    };
    Messages messages;
    search::PaneSearch search(catalogue, messages, u"bench"_s);
    for (const Query& query : queries) {
        if (!only.isEmpty() && query.term != only)
            continue;
        Box box;
        box.value = query.term;
        std::array<Option, 3> options;
        options[size_t(query.option)].selected = true;
        CountingList list;
        Caption count;
        const search::PaneView view{box, {&options[0], &options[1], &options[2]}, list, count};
        const auto& schema = query.pane->schema();
        const QString sql = u"select * from %1 where %2 like '%%3%'"_s.arg(
            QLatin1StringView(schema.name), QLatin1StringView(schema.columns[size_t(query.option)]),
            QString(query.term).replace(u'\'', u"''"_s));
        const auto [ours, shell] = medianPair(
            repeats, [&] { search.run(*query.pane, view); },
            [&] {
                runProcess(u"sqlite3"_s, {catalogue, sql});
            });
        report.add({u"engine"_s,
                    u"%1 rows %2.%3 '%4' (%5 found)"_s.arg(rows)
                        .arg(QLatin1StringView(schema.name), QLatin1StringView(schema.columns[size_t(query.option)]),
                             query.term)
                        .arg(list.rows),
                    ours, shell, u"s"_s});
    }
}

// Heap bytes in use, for what a structure holds.
qint64 heapInUse() { return qint64(mallinfo2().uordblks) + qint64(mallinfo2().hblkhd); }

qint64 residentKiB()
{
    QFile status(u"/proc/self/status"_s);
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

void pressEnter(QWidget* box)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &press);
    QCoreApplication::sendEvent(box, &release);
}

// The whole user path: Enter in the articles box with the empty term, until the
// count label shows every row and the window has painted; against the shell
// printing the same rows.
void benchUserPath(Report& report, const QString& catalogue, std::size_t rows, int repeats)
{
    Messages messages;
    const auto files = systemCatalogueFiles();
    shell::MainWindow window(catalogue, *files, messages);
    window.show();
    auto* box = window.findChild<QLineEdit*>(u"InputText"_s);
    auto* count = window.findChild<QLabel*>(u"Label4"_s);
    QCoreApplication::processEvents();
    const auto [ours, shell] = medianPair(
        repeats,
        [&] {
            pressEnter(box);
            QCoreApplication::processEvents();
            if (count->text() != QString::number(rows))
                qFatal("the count label shows %s", qPrintable(count->text()));
        },
        [&] {
            runProcess(u"sqlite3"_s, {catalogue, u"select * from ARTICOLI where ARTICOLO like '%%'"_s});
        });
    report.add({u"path"_s, u"%1 rows: Enter to count, all rows listed"_s.arg(rows), ours, shell, u"s"_s});
}

// What the result list holds for every row of the articles table.
void benchListMemory(Report& report, const QString& catalogue, std::size_t rows)
{
    Messages messages;
    const auto files = systemCatalogueFiles();
    std::unique_ptr<shell::MainWindow> window = std::make_unique<shell::MainWindow>(catalogue, *files, messages);
    auto* list = window->findChild<shell::ResultListWidget*>(u"List1"_s);
    // The rows' own size: what the search hands to the list.
    CountingList counting;
    Box box;
    std::array<Option, 3> options;
    Caption caption;
    search::PaneSearch(catalogue, messages, u"bench"_s)
        .run(search::kArticlesPane, {box, {&options[0], &options[1], &options[2]}, counting, caption});

    // One search that finds nothing first, so what the window sets up once is not counted.
    auto* input = window->findChild<QLineEdit*>(u"InputText"_s);
    input->setText(u"nessun titolo contiene questo"_s);
    pressEnter(input);
    QCoreApplication::processEvents();
    input->clear();

    const qint64 before = heapInUse();
    pressEnter(input);
    QCoreApplication::processEvents();
    const qint64 held = heapInUse() - before;
    if (list->count() != qsizetype(rows))
        qFatal("the list holds %lld rows", qlonglong(list->count()));
    report.add({u"memory"_s, u"%1 rows: list bytes per row (UTF-8 bytes per row as baseline)"_s.arg(rows),
                double(held) / double(rows), double(counting.bytes) / double(rows), u"B"_s});

    // A search that finds nothing gives the room back, all but a bounded slack.
    input->setText(u"nessun titolo contiene questo"_s);
    pressEnter(input);
    QCoreApplication::processEvents();
    if (list->count() != 0)
        qFatal("the empty search lists %lld rows", qlonglong(list->count()));
    const qint64 kept = heapInUse() - before;
    report.add({u"memory"_s, u"after an empty search: bytes the list still holds (slack allowed as baseline)"_s,
                double(std::max<qint64>(kept, 0)), double(shell::ResultTableModel::kSlackBytes) * 2, u"B"_s});
}

// Sorting a result list of every article by a text column and by the issue
// column, against sorting the same cells as QStrings with Qt's own
// case-insensitive comparison.
void benchSort(Report& report, const QString& catalogue, std::size_t rows, int repeats)
{
    shell::ResultTableModel model({u"a"_s, u"b"_s, u"c"_s});
    Box box;
    std::array<Option, 3> options;
    Caption caption;
    Messages messages;
    struct ModelList : ResultList {
        shell::ResultTableModel* model;
        void clear() override { model->clear(); }
        void addRow(QUtf8StringView row) override { model->appendRow(row); }
        qsizetype count() const override
        {
            model->flushPending();
            return model->rowCount();
        }
    } list;
    list.model = &model;
    search::PaneSearch(catalogue, messages, u"bench"_s)
        .run(search::kArticlesPane, {box, {&options[0], &options[1], &options[2]}, list, caption});
    for (int column : {0, 2}) {
        std::vector<QString> cells;
        cells.reserve(size_t(model.rowCount()));
        for (int row = 0; row < model.rowCount(); ++row)
            cells.push_back(model.cellText(row, column));
        const auto [ours, qt] = medianPair(
            repeats,
            [&] {
                model.sort(-1);
                model.sort(column);
            },
            [&] {
                std::vector<QString> copy = cells;
                std::stable_sort(copy.begin(), copy.end(), [](const QString& a, const QString& b) {
                    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
                });
            });
        report.add({u"sort"_s,
                    u"%1 rows by column %2 (QString case-insensitive sort as baseline)"_s.arg(rows).arg(column + 1),
                    ours * 1000, qt * 1000, u"ms"_s});
    }
}

// Converting an Access catalogue of `rows` rows in each item table, as the
// program does at start-up (its reader process included), against mdb-export
// of the same four tables to /dev/null: reading with the same library is the floor.
void benchConvert(Report& report, const QString& dataDir, std::size_t rows, int repeats)
{
    const QString access = dataFile(dataDir, u"access-%1.mdb"_s.arg(rows));
    if (!QFileInfo::exists(access) &&
        runProcess(QStringLiteral(ONDIVA_MAKEACCESS), {u"jet4"_s, ensureCatalogue(dataDir, rows), access}) < 0)
        qFatal("cannot write %s", qPrintable(access));
    QTemporaryDir work;
    const QString catalogue = work.filePath(u"qx.mdb"_s);
    const auto fresh = [&] {
        for (const QString& name : QDir(work.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(work.filePath(name));
        QFile::link(access, catalogue); // the conversion never writes to the original
        if (!QFile::exists(catalogue) && !QFile::copy(access, catalogue))
            qFatal("cannot lay out %s", qPrintable(catalogue));
    };
    const QStringList arguments{QStringLiteral(ONDIVA_ACCESS_READER), catalogue};
    std::vector<double> ours;
    std::vector<double> floor;
    for (int i = 0; i < std::max(1, repeats); ++i) {
        fresh();
        ours.push_back(runProcess(QStringLiteral(ONDIVA_CONVERT_CHILD), arguments));
        double exported = 0;
        for (const catalogue::TableSchema& table : catalogue::kItemTables)
            exported += runProcess(u"mdb-export"_s, {access, QLatin1StringView(table.name)});
        floor.push_back(exported);
    }
    std::sort(ours.begin(), ours.end());
    std::sort(floor.begin(), floor.end());
    report.add({u"convert"_s, u"%1 rows per table x 4: conversion (mdb-export of the tables as baseline)"_s.arg(rows),
                ours[ours.size() / 2], floor[floor.size() / 2], u"s"_s});

    fresh();
    QProcess child;
    child.start(QStringLiteral(ONDIVA_CONVERT_CHILD), arguments);
    child.waitForFinished(600000);
    const QByteArray peaks = child.readAllStandardError();
    const auto peakOf = [&](const char* key) {
        const qsizetype at = peaks.indexOf(key);
        return at < 0 ? 0.0 : peaks.mid(at + qsizetype(qstrlen(key))).split(' ').value(0).trimmed().toDouble() / 1024;
    };
    report.add({u"convert"_s, u"%1 rows per table: peak resident memory of the converting process"_s.arg(rows),
                peakOf("peak_kib="), 0, u"MB"_s});
    report.add({u"convert"_s, u"%1 rows per table: peak resident memory of the reader process"_s.arg(rows),
                peakOf("reader_peak_kib="), 0, u"MB"_s});
}

// Bringing a catalogue in (File ▸ Open earlier catalogue…: copied, synced, read
// back against the source, checked whole, swapped in) against dd copying the
// same file and syncing it.
void benchBring(Report& report, const QString& catalogue, std::size_t rows, int repeats)
{
    QTemporaryDir work;
    const QString target = work.filePath(u"qx.mdb"_s);
    const QString copy = work.filePath(u"copy.mdb"_s);
    std::vector<double> ours;
    std::vector<double> floor;
    for (int i = 0; i < std::max(1, repeats); ++i) {
        for (const QString& name : QDir(work.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(work.filePath(name));
        if (!QFile::copy(ensureCatalogue(QFileInfo(catalogue).path(), 0), target))
            qFatal("cannot lay out %s", qPrintable(target));
        ours.push_back(runProcess(QStringLiteral(ONDIVA_CONVERT_CHILD), {u"bring"_s, catalogue, target}));
        floor.push_back(
            runProcess(u"dd"_s, {u"if="_s + catalogue, u"of="_s + copy, u"bs=1M"_s, u"conv=fsync"_s, u"status=none"_s}));
    }
    std::sort(ours.begin(), ours.end());
    std::sort(floor.begin(), floor.end());
    report.add({u"bring"_s,
                u"%1 rows per table (%2 MB): bringing the catalogue in (dd with fsync as baseline)"_s.arg(rows).arg(
                    QFileInfo(catalogue).size() >> 20),
                ours[ours.size() / 2], floor[floor.size() / 2], u"s"_s});
}

struct ChosenFile : FileDialog {
    QString path;
    QString name;
    void setFilter(const QString&) override {}
    void setFileName(const QString& preset) override { name = preset; }
    void showOpen() override { name = path; }
    QString fileName() const override { return name; }
};
struct YesToAll : MessageBox {
    QString last;
    int show(const QString& text, int, const QString&, const QString& = {}) override
    {
        last = text;
        return AnswerYes;
    }
};

// Importing an update file into an empty catalogue, against the shell's .import
// of the same records as TSV into an empty copy of the tables.
void benchImport(Report& report, const QString& dataDir, std::size_t records, int repeats)
{
    const std::size_t perTable = std::max<std::size_t>(1, records / 4);
    const QString dir = dataFile(dataDir, u"import-%1"_s.arg(records));
    QDir().mkpath(dir);
    const QString update = dataFile(dir, u"update.txt"_s);
    if (!QFileInfo::exists(update)) {
        CatalogueGenerator::writeUpdateFile(update.toStdString(), "n.300", perTable);
        CatalogueGenerator::writeTsvFiles(dir.toStdString(), perTable);
    }
    const QString empty = ensureCatalogue(dataDir, 0);
    const QString work = dataFile(dir, u"qx.mdb"_s);
    auto fresh = [&] {
        QFile::remove(work);
        QFile::copy(empty, work);
    };

    ChosenFile dialog;
    dialog.path = update;
    YesToAll messages;
    QtInputFile input;
    const auto files = systemCatalogueFiles();
    std::vector<double> ours, shell;
    for (int i = 0; i <= repeats; ++i) { // the first run of each only warms up
        fresh();
        QElapsedTimer timer;
        timer.start();
        update::UpdateImport(work, *files, dialog, messages, input).run();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (!messages.last.contains(u"successo"_s))
            qFatal("import failed: %s", qPrintable(messages.last));
        fresh();
        QString script = u".mode tabs\n"_s;
        for (const char* table : {"ARTICOLI", "SOFTWARE_WIN", "SOFTWARE_MAC", "GROOVES"})
            script += u".import '%1' %2\n"_s.arg(dataFile(dir, QString::fromLatin1(table) + u".tsv"_s),
                                                 QLatin1StringView(table));
        QFile scriptFile(dataFile(dir, u"import.sql"_s));
        scriptFile.open(QIODevice::WriteOnly | QIODevice::Truncate);
        scriptFile.write(script.toUtf8());
        scriptFile.close();
        const double baseline = runProcess(u"sqlite3"_s, {work}, scriptFile.fileName());
        if (i > 0) {
            ours.push_back(seconds);
            shell.push_back(baseline);
        }
    }
    std::sort(ours.begin(), ours.end());
    std::sort(shell.begin(), shell.end());
    report.add(
        {u"import"_s, u"%1 records"_s.arg(perTable * 4), ours[ours.size() / 2], shell[shell.size() / 2], u"s"_s});
}

// Start-up: this program started again as the real program would start, until
// its window is shown; the child reports its resident memory once idle.
int startupChild(const QString& catalogue)
{
    int argc = 1;
    char name[] = "ondiva";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QtMessageBox messages;
    const auto files = systemCatalogueFiles();
    shell::MainWindow window(catalogue, *files, messages);
    messages.setParentWidget(&window);
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    std::printf("%lld\n", qlonglong(residentKiB()));
    return 0;
}

void benchStartup(Report& report, const QString& self, const QString& catalogue, int repeats)
{
    std::vector<double> times;
    qint64 rss = 0;
    for (int i = 0; i <= repeats; ++i) {
        QProcess child;
        QElapsedTimer timer;
        timer.start();
        child.start(self, {u"--startup-child"_s, catalogue});
        child.waitForFinished(-1);
        if (i > 0)
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        rss = child.readAllStandardOutput().trimmed().toLongLong();
    }
    std::sort(times.begin(), times.end());
    report.add({u"startup"_s, u"until the window is shown (target 300 ms)"_s, times[times.size() / 2], 0, u"ms"_s});
    report.add({u"startup"_s, u"resident memory once shown (target 60 MB)"_s, double(rss) / 1024.0, 0, u"MB"_s});
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--startup-child") == 0)
        return startupChild(QString::fromLocal8Bit(argv[2]));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({u"sizes"_s, u"Rows per table, comma-separated."_s, u"list"_s, u"10000,100000,1000000"_s});
    parser.addOption(
        {u"imports"_s, u"Records per update file, comma-separated."_s, u"list"_s, u"1000,100000,1000000"_s});
    parser.addOption({u"conversions"_s, u"Rows per table of the Access catalogues converted, comma-separated."_s,
                      u"list"_s, u"10000,100000"_s});
    parser.addOption({u"repeats"_s, u"Runs per figure (the median is kept)."_s, u"n"_s, u"5"_s});
    parser.addOption({u"data"_s, u"Folder for generated files (kept between runs)."_s, u"dir"_s,
                      QDir::temp().filePath(u"ondiva-bench"_s)});
    parser.addOption({u"term"_s, u"Run only the engine queries for this term."_s, u"term"_s});
    parser.addOption({u"sections"_s, u"Sections to run, comma-separated."_s, u"list"_s,
                      u"engine,path,memory,sort,import,convert,bring,startup"_s});
    parser.process(app);
    const QStringList sections = parser.value(u"sections"_s).split(u',');

    const QString dataDir = parser.value(u"data"_s);
    QDir().mkpath(dataDir);
    const int repeats = std::max(1, parser.value(u"repeats"_s).toInt());
    Report report;
    QString largest;
    std::size_t largestRows = 0;
    for (const QString& size : parser.value(u"sizes"_s).split(u',', Qt::SkipEmptyParts)) {
        const std::size_t rows = size.toULongLong();
        const QString catalogue = ensureCatalogue(dataDir, rows);
        if (sections.contains(u"engine"_s))
            benchEngine(report, catalogue, rows, repeats, parser.value(u"term"_s));
        if (rows >= largestRows) {
            largestRows = rows;
            largest = catalogue;
        }
    }
    if (parser.isSet(u"term"_s))
        return 0;
    if (sections.contains(u"path"_s))
        benchUserPath(report, largest, largestRows, repeats);
    if (sections.contains(u"memory"_s))
        benchListMemory(report, largest, largestRows);
    if (sections.contains(u"sort"_s))
        benchSort(report, largest, largestRows, repeats);
    if (sections.contains(u"import"_s)) {
        for (const QString& records : parser.value(u"imports"_s).split(u',', Qt::SkipEmptyParts))
            benchImport(report, dataDir, records.toULongLong(), repeats);
    }
    if (sections.contains(u"convert"_s)) {
        for (const QString& rows : parser.value(u"conversions"_s).split(u',', Qt::SkipEmptyParts))
            benchConvert(report, dataDir, rows.toULongLong(), repeats);
    }
    if (sections.contains(u"bring"_s))
        benchBring(report, largest, largestRows, repeats);
    if (sections.contains(u"startup"_s))
        benchStartup(report, QCoreApplication::applicationFilePath(), ensureCatalogue(dataDir, 0), repeats);

    auto value = [&](const QString& section, int nth) {
        int seen = 0;
        for (const Figure& f : report.figures()) {
            if (f.section == section && seen++ == nth)
                return f;
        }
        return Figure{};
    };
    Figure lastImport;
    for (const Figure& f : report.figures()) {
        if (f.section == u"import"_s)
            lastImport = f;
    }
    std::printf("BENCH engine_median_ratio=%.3f engine_max_ratio=%.3f path_ratio=%.3f list_memory_ratio=%.3f "
                "import_ratio=%.3f startup_ms=%.0f idle_rss_mb=%.1f\n",
                report.medianRatio(u"engine"_s), report.maxRatio(u"engine"_s), value(u"path"_s, 0).ratio(),
                value(u"memory"_s, 0).ratio(), lastImport.ratio(), value(u"startup"_s, 0).value,
                value(u"startup"_s, 1).value);
    return 0;
}
