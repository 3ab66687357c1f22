// Access files written by our writer, read back with libmdb (the reader of
// mdbtools): values byte-exact, NULL apart from empty text, rows in the order
// written, memos longer than a page, tables without rows, the catalog.

#ifdef ONDIVA_HAVE_LIBMDB
// glib first: mdbtools.h would include it inside its extern "C" block, where
// glib's C++ parts do not compile; both before Qt, whose keywords clash with glib.
#include <glib.h>
#include <mdbtools.h>
#endif

#include "AccessWriter.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <optional>
#include <string>
#include <vector>

using namespace ondiva::accesswriter;

using Rows = std::vector<AccessRow>;
Q_DECLARE_METATYPE(Rows)
Q_DECLARE_METATYPE(ondiva::accesswriter::JetVersion)

namespace {

std::string repeated(const std::string& piece, std::size_t characters)
{
    std::string out;
    while (accessTextLength(out) < characters)
        out += piece;
    while (accessTextLength(out) > characters) { // drop whole characters from the end
        while ((static_cast<unsigned char>(out.back()) & 0xC0) == 0x80)
            out.pop_back();
        out.pop_back();
    }
    return out;
}

#ifdef ONDIVA_HAVE_LIBMDB
constexpr std::size_t kBindSize = 1 << 20;

struct ReadBack {
    std::vector<std::string> tables;
    Rows rows;
};

// The user tables of the catalog, and every row of the first one.
ReadBack readBack(const std::string& path)
{
    ReadBack result;
    MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (!mdb)
        return result;
    mdb_set_bind_size(mdb, kBindSize);
    mdb_read_catalog(mdb, MDB_TABLE);
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (mdb_is_user_table(entry))
            result.tables.push_back(entry->object_name);
    }
    MdbTableDef* table =
        result.tables.empty() ? nullptr : mdb_read_table_by_name(mdb, result.tables[0].data(), MDB_TABLE);
    if (table) {
        mdb_read_columns(table);
        mdb_rewind_table(table);
        const unsigned count = table->num_cols;
        std::vector<std::vector<char>> values(count, std::vector<char>(kBindSize));
        std::vector<int> lengths(count);
        for (unsigned i = 0; i < count; ++i)
            mdb_bind_column(table, int(i) + 1, values[i].data(), &lengths[i]);
        std::vector<MdbField> fields(count);
        while (mdb_fetch_row(table)) {
            // A bound column gives NULL and empty text alike (length 0): the
            // row's null mask, read by cracking the row again, tells them apart.
            int start = 0;
            size_t size = 0;
            mdb_find_row(mdb, int(table->cur_row) - 1, &start, &size);
            mdb_crack_row(table, start & 0x1FFF, size, fields.data());
            AccessRow& row = result.rows.emplace_back(count);
            for (unsigned i = 0; i < count; ++i)
                if (!fields[i].is_null)
                    row[i] = std::string(values[i].data(), std::size_t(lengths[i]));
        }
        mdb_free_tabledef(table);
    }
    mdb_close(mdb);
    return result;
}
#endif

} // namespace

class TestAccessWriter : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
};

void TestAccessWriter::roundTrip_data()
{
    QTest::addColumn<JetVersion>("version");
    QTest::addColumn<Rows>("written"); // columns Titolo (Text), Testo (Memo), Numero (Long)
    QTest::addColumn<Rows>("expected");

    const std::string cp1252 = "€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ";
    const Rows italian{{"caffè perché l'angelo", "\"virgolette\" e\ttab\nriga", "42"},
                       {"", "", "-7"},
                       {std::nullopt, std::nullopt, std::nullopt},
                       {"più", std::nullopt, "2147483647"}};
    const Rows windows1252{{cp1252, repeated(cp1252, 200), "0"}};
    const Rows longMemos{{"300", repeated("àèìòù", 300), "1"},
                         {"100000", repeated("Ondiva è già… ", 100000), "2"},
                         {"short", "breve", "3"}};
    Rows ordered;
    for (int i = 1; i <= 3000; ++i)
        ordered.push_back(
            {"riga " + std::to_string(i), i % 3 ? std::optional<std::string>() : "memo", std::to_string(i)});
    // Rows of 220 to 310 bytes: in Jet 3 their offsets need a jump table, some with a dummy entry.
    Rows boundaries;
    for (std::size_t length = 170; length <= 255; ++length)
        boundaries.push_back({repeated("a", length), repeated("b", 30), std::to_string(length)});

    for (const JetVersion version : {JetVersion::Jet3, JetVersion::Jet4}) {
        const bool jet3 = version == JetVersion::Jet3;
        const char* name = jet3 ? "jet3" : "jet4";
        auto row = [&](const char* what) -> QTestData& { return QTest::addRow("%s: %s", name, what) << version; };
        row("Italian text, quotes, tab, newline, empty and NULL") << italian << italian;
        row("every Windows-1252 character of 0x80-0x9F") << windows1252 << windows1252;
        const Rows scripts{{"Ελληνικά Кириллица 日本語", "Ελληνικά Кириллица 日本語 " + repeated("ж", 100), "5"}};
        const Rows scriptsJet3{{"???????? ????????? ???", "???????? ????????? ??? " + repeated("?", 100), "5"}};
        row("Greek, Cyrillic, Japanese") << scripts << (jet3 ? scriptsJet3 : scripts);
        const Rows bom{{"\xEF\xBB\xBFtitolo", "\xEF\xBB\xBFtesto", "6"}};
        const Rows bomJet3{{"?titolo", "?testo", "6"}};
        row("text starting with U+FEFF") << bom << (jet3 ? bomJet3 : bom);
        row("memos of 300 and 100,000 characters") << longMemos << longMemos;
        row("3000 rows over many pages") << ordered << ordered;
        row("rows across 256-byte boundaries") << boundaries << boundaries;
        row("no rows") << Rows{} << Rows{};
    }
}

void TestAccessWriter::roundTrip()
{
#ifndef ONDIVA_HAVE_LIBMDB
    QSKIP("libmdb is not installed (Debian packages mdbtools and mdbtools-dev): run scripts/setup.sh");
#else
    QFETCH(JetVersion, version);
    QFETCH(Rows, written);
    QFETCH(Rows, expected);

    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("test.mdb")).toStdString();
    std::size_t next = 0;
    std::vector<AccessTable> tables;
    tables.push_back({"articoli",
                      {{"Titolo", AccessColumn::Type::Text},
                       {"Testo", AccessColumn::Type::Memo},
                       {"Numero", AccessColumn::Type::Long}},
                      [&](AccessRow& row) {
                          if (next == written.size())
                              return false;
                          row = written[next++];
                          return true;
                      }});
    tables.push_back({"Ondiva", {{"Vuota", AccessColumn::Type::Text}}, [](AccessRow&) { return false; }});
    const std::string error = writeAccessFile(path, version, std::move(tables));
    QVERIFY2(error.empty(), error.c_str());

    const ReadBack read = readBack(path);
    QCOMPARE(read.tables, (std::vector<std::string>{"articoli", "Ondiva"}));
    QCOMPARE(read.rows.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        for (std::size_t column = 0; column < 3; ++column) {
            const std::optional<std::string>& got = read.rows[i][column];
            const std::optional<std::string>& want = expected[i][column];
            if (got == want)
                continue;
            std::string message = "row " + std::to_string(i + 1) + " column " + std::to_string(column + 1) + ": ";
            if (!got || !want) {
                message += got ? "got a value, expected NULL" : "got NULL, expected a value";
            } else {
                const auto [g, w] = std::mismatch(got->begin(), got->end(), want->begin(), want->end());
                const std::size_t at = std::size_t(g - got->begin());
                message += "got " + std::to_string(got->size()) + " bytes, expected " + std::to_string(want->size()) +
                           "; from byte " + std::to_string(at) + " got \"" + std::string(g, got->end()).substr(0, 40) +
                           "\", expected \"" + std::string(w, want->end()).substr(0, 40) + "\"";
            }
            QFAIL(message.c_str());
        }
#endif
}

QTEST_GUILESS_MAIN(TestAccessWriter)
#include "tst_accesswriter.moc"
