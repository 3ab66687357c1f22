// The benchmark suite. Every figure is measured in the same run as its
// baseline, on the same files, and printed with the ratio between the two.
//
//   ondiva_bench [--sizes 10000,100000,1000000] [--repeats 5] [--data DIR]

#include "CatalogueGenerator.h"
#include "Harness.h"
#include "platform/Label.h"
#include "platform/MessageBox.h"
#include "platform/OptionButton.h"
#include "platform/ResultList.h"
#include "platform/TextBox.h"
#include "search/PaneSearch.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

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
    int show(const QString& text, int, const QString&) override
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
        const double ours = medianSeconds(repeats, [&] { search.run(*query.pane, view); });

        const auto& schema = query.pane->schema();
        const QString sql = u"select * from %1 where %2 like '%%3%'"_s.arg(
            QLatin1StringView(schema.name), QLatin1StringView(schema.columns[size_t(query.option)]),
            QString(query.term).replace(u'\'', u"''"_s));
        const double shell = medianSeconds(repeats, [&] { runProcess(u"sqlite3"_s, {catalogue, sql}); });
        report.add({u"engine"_s,
                    u"%1 rows %2.%3 '%4' (%5 found)"_s.arg(rows)
                        .arg(QLatin1StringView(schema.name), QLatin1StringView(schema.columns[size_t(query.option)]),
                             query.term)
                        .arg(list.rows),
                    ours, shell, u"s"_s});
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({u"sizes"_s, u"Rows per table, comma-separated."_s, u"list"_s, u"10000,100000,1000000"_s});
    parser.addOption({u"repeats"_s, u"Runs per figure (the median is kept)."_s, u"n"_s, u"5"_s});
    parser.addOption({u"data"_s, u"Folder for generated files (kept between runs)."_s, u"dir"_s,
                      QDir::temp().filePath(u"ondiva-bench"_s)});
    parser.addOption({u"term"_s, u"Run only the engine queries for this term."_s, u"term"_s});
    parser.process(app);

    const QString dataDir = parser.value(u"data"_s);
    QDir().mkpath(dataDir);
    const int repeats = std::max(1, parser.value(u"repeats"_s).toInt());
    Report report;
    for (const QString& size : parser.value(u"sizes"_s).split(u',', Qt::SkipEmptyParts)) {
        const std::size_t rows = size.toULongLong();
        const QString catalogue = ensureCatalogue(dataDir, rows);
        benchEngine(report, catalogue, rows, repeats, parser.value(u"term"_s));
    }
    std::printf("BENCH engine_median_ratio=%.3f engine_max_ratio=%.3f\n", report.medianRatio(u"engine"_s),
                report.maxRatio(u"engine"_s));
    return 0;
}
