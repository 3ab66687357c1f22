// Access files written by our writer, read back with libmdb (the reader of
// mdbtools): values byte-exact, NULL apart from empty text, rows in the order
// written, memos longer than a page, tables without rows, the catalog; every
// column type with its stored value, also as mdb-json reads it; values that
// are not of their column's type refused.

#ifdef ONDIVA_HAVE_LIBMDB
// glib first: mdbtools.h would include it inside its extern "C" block, where
// glib's C++ parts do not compile; both before Qt, whose keywords clash with glib.
#include <glib.h>
#include <mdbtools.h>
#endif

#include "AccessWriter.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace ondiva::accesswriter;

using Rows = std::vector<AccessRow>;
Q_DECLARE_METATYPE(Rows)
Q_DECLARE_METATYPE(AccessRow)
Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(ondiva::accesswriter::AccessColumn)
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

// Where two sets of rows first differ, or an empty text if they are the same.
std::string firstDifference(const Rows& got, const Rows& want)
{
    if (got.size() != want.size())
        return "got " + std::to_string(got.size()) + " rows, expected " + std::to_string(want.size());
    for (std::size_t i = 0; i < want.size(); ++i)
        for (std::size_t column = 0; column < want[i].size(); ++column) {
            const std::optional<std::string>& g = column < got[i].size() ? got[i][column] : std::nullopt;
            const std::optional<std::string>& w = want[i][column];
            if (g == w)
                continue;
            std::string message = "row " + std::to_string(i + 1) + " column " + std::to_string(column + 1) + ": ";
            if (!g || !w)
                return message + (g ? "got a value, expected NULL" : "got NULL, expected a value");
            const auto [gAt, wAt] = std::mismatch(g->begin(), g->end(), w->begin(), w->end());
            return message + "got " + std::to_string(g->size()) + " bytes, expected " + std::to_string(w->size()) +
                   "; from byte " + std::to_string(gAt - g->begin()) + " got \"" +
                   std::string(gAt, g->end()).substr(0, 40) + "\", expected \"" +
                   std::string(wAt, w->end()).substr(0, 40) + "\"";
        }
    return {};
}

#ifdef ONDIVA_HAVE_LIBMDB
constexpr std::size_t kBindSize = 1 << 20;

struct ReadBack {
    std::vector<std::string> tables;
    std::vector<std::string> columns; // of the first table
    Rows rows;
};

template <class Number>
std::string shortest(Number value)
{
    std::array<char, 64> text{};
    char* end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return std::string(text.data(), end);
}

std::string taken(char* text) // takes a text libmdb allocated
{
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

// A value as libmdb's accessors give it: integers in decimal; floats and a
// date's stored day count as their shortest text; Currency and Decimal as
// libmdb writes them; a GUID in its usual spelling; the bytes of Binary and
// OLE values; Text and Memo as bound. A Yes/No is its bit in the null mask.
std::optional<std::string> libmdbValue(MdbHandle* mdb, MdbColumn* column, const MdbField& field,
                                       const std::vector<char>& bound, int boundLength)
{
    if (column->col_type == MDB_BOOL)
        return field.is_null ? "0" : "1";
    if (field.is_null)
        return std::nullopt;
    unsigned char* page = mdb->pg_buf;
    const int at = field.start;
    switch (column->col_type) {
    case MDB_BYTE:
        return std::to_string(mdb_get_byte(page, at));
    case MDB_INT:
        return std::to_string(std::int16_t(mdb_get_int16(page, at)));
    case MDB_LONGINT:
        return std::to_string(std::int32_t(mdb_get_int32(page, at)));
    case MDB_FLOAT:
        return shortest(mdb_get_single(page, at));
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return shortest(mdb_get_double(page, at));
    case MDB_MONEY:
        return taken(mdb_money_to_string(mdb, at));
    case MDB_NUMERIC:
        return taken(mdb_numeric_to_string(mdb, at, column->col_scale, column->col_prec));
    case MDB_REPID:
        return "{" + taken(mdb_uuid_to_string_fmt(page, at, MDB_NOBRACES_4_2_2_2_6)) + "}";
    case MDB_BINARY:
        return std::string(reinterpret_cast<const char*>(page) + at, std::size_t(field.siz));
    case MDB_OLE: {
        std::size_t size = 0;
        void* bytes = mdb_ole_read_full(mdb, column, &size);
        std::string out(static_cast<const char*>(bytes), size);
        std::free(bytes);
        return out;
    }
    default:
        return std::string(bound.data(), std::size_t(boundLength));
    }
}

// The user tables of the catalog, and the columns and every row of the first one.
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
        std::vector<MdbColumn*> columns(count);
        std::vector<std::vector<char>> values(count, std::vector<char>(kBindSize));
        std::vector<int> lengths(count);
        for (unsigned i = 0; i < count; ++i) {
            columns[i] = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
            result.columns.push_back(columns[i]->name);
            mdb_bind_column(table, int(i) + 1, values[i].data(), &lengths[i]);
        }
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
                row[i] = libmdbValue(mdb, columns[i], fields[i], values[i], lengths[i]);
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
    void types_data();
    void types();
    void refusedValues_data();
    void refusedValues();
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
    QFAIL("libmdb is missing (Debian packages mdbtools and mdbtools-dev): scripts/setup.sh installs it");
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
    const std::string difference = firstDifference(read.rows, expected);
    QVERIFY2(difference.empty(), difference.c_str());
#endif
}

void TestAccessWriter::types_data()
{
    QTest::addColumn<JetVersion>("version");
    QTest::addColumn<AccessColumn>("column");
    QTest::addColumn<AccessRow>("written");
    QTest::addColumn<AccessRow>("read"); // as libmdb's accessors give the stored value (see libmdbValue)

    using Type = AccessColumn::Type;
    const std::optional<std::string> null;
    std::string bytes(255, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 37 + 11);
    std::string longBytes;
    while (longBytes.size() < 10000)
        longBytes += bytes;
    for (const JetVersion version : {JetVersion::Jet3, JetVersion::Jet4}) {
        const char* name = version == JetVersion::Jet3 ? "jet3" : "jet4";
        auto row = [&](const char* what, const AccessColumn& column, const AccessRow& written, const AccessRow& read) {
            QTest::addRow("%s: %s", name, what) << version << column << written << read;
        };
        auto same = [&](const char* what, const AccessColumn& column, const AccessRow& written) {
            row(what, column, written, written);
        };
        same("Byte", {"N°", Type::Byte}, {"0", "255", "42", null});
        same("Integer", {"Pagine #", Type::Integer}, {"-32768", "32767", "0", "-42", null});
        same("Long", {"Numero.progressivo", Type::Long}, {"-2147483648", "2147483647", "0", null});
        row("Boolean, never NULL", {"Esaurito?", Type::Boolean}, {"1", "0", null}, {"1", "0", "0"});
        same("Currency", {"Prezzo (€)", Type::Currency},
             {"-12.3400", "922337203685477.5807", "-922337203685477.5808", "0.0000", "-0.0001", null});
        same("Single", {"Peso %", Type::Single}, {"0.1", "-3.4028235e+38", "1e-45", "1e+10", "0", "-0", null});
        same("Double", {"Pi greco", Type::Double},
             {"3.141592653589793", "1e+300", "-2.2250738585072014e-308", "5e-324", "0", "-0", null});
        // Days since 1899-12-30; before it the whole part is negative and the time subtracted.
        row("DateTime as its stored day count", {"data-uscita", Type::DateTime},
            {"1899-12-30 00:00:00", "1899-12-30 06:00:00", "1899-12-29 06:00:00", "1899-12-29 23:59:59",
             "1850-07-14 06:30:00", "1999-12-31 23:59:59", "0100-01-01 00:00:00", "9999-12-31 23:59:59", null},
            {"0", "0.25", "-1.25", "-1.999988425925926", "-18066.270833333332", "36525.99998842592", "-657434",
             "2958465.999988426", null});
        same("Guid", {"Codice 'replica'", Type::Guid},
             {"{01234567-89AB-CDEF-0123-456789ABCDEF}", "{00000000-0000-0000-0000-000000000000}", null});
        same("Binary", {"Firma", Type::Binary}, {"", std::string("\0\x01\xFF", 3), bytes, null});
        same("Ole, in the row, on one LVAL page, over several", {"Copertina", Type::Ole},
             {"", std::string("\0OLE\xFF", 5), bytes.substr(0, 64), bytes.substr(0, 65), longBytes, null});
        if (version == JetVersion::Jet4) {
            same("Decimal(18, 4)", {"PREZZO", Type::Decimal, 18, 4},
                 {"-1234.5678", "99999999999999.9999", "0.0000", "-0.0001", null});
            same("Decimal(28, 0)", {"Tiratura", Type::Decimal, 28, 0},
                 {"9999999999999999999999999999", "-9999999999999999999999999999", "0", "-1", null});
            same("Decimal(5, 5)", {"Sconto", Type::Decimal, 5, 5}, {"0.12345", "-0.99999", "0.00000", null});
        }
    }
}

void TestAccessWriter::types()
{
#ifndef ONDIVA_HAVE_LIBMDB
    QFAIL("libmdb is missing (Debian packages mdbtools and mdbtools-dev): scripts/setup.sh installs it");
#else
    QFETCH(JetVersion, version);
    QFETCH(AccessColumn, column);
    QFETCH(AccessRow, written);
    QFETCH(AccessRow, read);

    // The column under test beside a Text and a Yes/No column, all with punctuation in their names.
    const std::vector<AccessColumn> columns{
        column, {"Nota \"speciale\" - 1", AccessColumn::Type::Text}, {"Sì/No", AccessColumn::Type::Boolean}};
    Rows rows;
    Rows expected;
    for (std::size_t i = 0; i < written.size(); ++i) {
        const std::string text = "riga " + std::to_string(i + 1);
        const std::string yes = i % 2 ? "1" : "0";
        rows.push_back({written[i], text, yes});
        expected.push_back({read[i], text, yes});
    }
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("types.mdb")).toStdString();
    std::size_t next = 0;
    std::vector<AccessTable> tables;
    tables.push_back({"tipi", columns, [&](AccessRow& row) {
                          if (next == rows.size())
                              return false;
                          row = rows[next++];
                          return true;
                      }});
    const std::string error = writeAccessFile(path, version, std::move(tables));
    QVERIFY2(error.empty(), error.c_str());

    const ReadBack back = readBack(path);
    QCOMPARE(back.columns, (std::vector<std::string>{columns[0].name, columns[1].name, columns[2].name}));
    const std::string difference = firstDifference(back.rows, expected);
    QVERIFY2(difference.empty(), difference.c_str());

    // mdb-json: one object per row, NULL left out; integers, Yes/No (1 or 0) and text compared.
    const QString json = QStandardPaths::findExecutable(QStringLiteral("mdb-json"));
    if (json.isEmpty())
        QFAIL("mdb-json is missing (Debian package mdbtools): scripts/setup.sh installs it");
    QProcess process;
    process.start(json, {QString::fromStdString(path), QStringLiteral("tipi")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
    lines.removeAll(QByteArray());
    QCOMPARE(std::size_t(lines.size()), expected.size());
    const bool integral = column.type == AccessColumn::Type::Byte || column.type == AccessColumn::Type::Integer ||
                          column.type == AccessColumn::Type::Long || column.type == AccessColumn::Type::Boolean;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QJsonParseError parseError{};
        const QJsonObject object = QJsonDocument::fromJson(lines[qsizetype(i)], &parseError).object();
        QVERIFY2(parseError.error == QJsonParseError::NoError, qPrintable(parseError.errorString()));
        QCOMPARE(object.value(QString::fromStdString(columns[1].name)).toString().toStdString(), *expected[i][1]);
        QCOMPARE(object.value(QString::fromStdString(columns[2].name)).toInteger(-1), std::stoll(*expected[i][2]));
        const QJsonValue value = object.value(QString::fromStdString(column.name));
        if (!expected[i][0])
            QVERIFY(value.isUndefined());
        else if (integral)
            QCOMPARE(value.toInteger(-1), std::stoll(*expected[i][0]));
    }
#endif
}

void TestAccessWriter::refusedValues_data()
{
    QTest::addColumn<JetVersion>("version");
    QTest::addColumn<AccessColumn>("column");
    QTest::addColumn<std::string>("value");
    QTest::addColumn<std::string>("error"); // a part of the error expected

    using Type = AccessColumn::Type;
    auto row = [](const char* what, JetVersion version, const AccessColumn& column, const std::string& value,
                  const std::string& error) { QTest::newRow(what) << version << column << value << error; };
    const JetVersion jet4 = JetVersion::Jet4;
    row("Decimal in Jet 3", JetVersion::Jet3, {"PREZZO", Type::Decimal, 18, 4}, "1.0000", "Jet 4 files only");
    row("Decimal of precision 29", jet4, {"PREZZO", Type::Decimal, 29, 0}, "1", "precision of 1 to 28");
    row("Decimal short of its scale", jet4, {"PREZZO", Type::Decimal, 18, 4}, "1.5", "is not a Decimal");
    row("Decimal past its precision", jet4, {"PREZZO", Type::Decimal, 6, 2}, "12345.00", "is not a Decimal");
    row("Decimal -0", jet4, {"PREZZO", Type::Decimal, 18, 4}, "-0.0000", "is not a Decimal");
    row("Byte 256", jet4, {"N", Type::Byte}, "256", "is not a Byte");
    row("Byte -1", jet4, {"N", Type::Byte}, "-1", "is not a Byte");
    row("Integer 32768", jet4, {"N", Type::Integer}, "32768", "is not a 16-bit integer");
    row("Long with a leading zero", jet4, {"N", Type::Long}, "007", "is not a 32-bit integer");
    row("Long with a plus", jet4, {"N", Type::Long}, "+7", "is not a 32-bit integer");
    row("Boolean true", jet4, {"N", Type::Boolean}, "true", "is not a Boolean");
    row("Currency with two decimals", jet4, {"N", Type::Currency}, "1.50", "is not a Currency");
    row("Currency past 64 bits", jet4, {"N", Type::Currency}, "922337203685477.5808", "is not a Currency");
    row("Single not the shortest", jet4, {"N", Type::Single}, "0.10", "is not a Single");
    row("Single out of range", jet4, {"N", Type::Single}, "1e+39", "is not a Single");
    row("Double not the shortest", jet4, {"N", Type::Double}, "3.14159265358979312", "is not a Double");
    row("Double infinite", jet4, {"N", Type::Double}, "inf", "is not a Double");
    row("DateTime 30 February", jet4, {"N", Type::DateTime}, "2000-02-30 00:00:00", "is not a date");
    row("DateTime with a T", jet4, {"N", Type::DateTime}, "1999-12-31T23:59:59", "is not a date");
    row("DateTime before year 100", jet4, {"N", Type::DateTime}, "0099-12-31 23:59:59", "is not a date");
    row("Guid in lower case", jet4, {"N", Type::Guid}, "{01234567-89ab-cdef-0123-456789abcdef}", "is not a GUID");
    row("Binary of 256 bytes", jet4, {"N", Type::Binary}, std::string(256, 'x'), "longer than 255");
}

void TestAccessWriter::refusedValues()
{
    QFETCH(JetVersion, version);
    QFETCH(AccessColumn, column);
    QFETCH(std::string, value);
    QFETCH(std::string, error);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("refused.mdb"));
    bool given = false;
    std::vector<AccessTable> tables;
    tables.push_back({"t", {column}, [&](AccessRow& row) {
                          row[0] = value;
                          return !std::exchange(given, true);
                      }});
    const std::string got = writeAccessFile(path.toStdString(), version, std::move(tables));
    QVERIFY2(got.find(error) != std::string::npos, got.c_str());
    QVERIFY(!QFile::exists(path));
}

QTEST_GUILESS_MAIN(TestAccessWriter)
#include "tst_accesswriter.moc"
