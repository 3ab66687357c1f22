// The Like operator as the catalogue evaluates it, through SQL on a real connection.

#include "LikeReference.h"
#include "catalogue/Like.h"
#include "platform/database/Sqlite.h"

#include <QTest>

#include <optional>

using namespace ondiva;

namespace {

// The result of "value like pattern [escape e]"; nullopt for SQL NULL, -1 for an error.
std::optional<int> evaluate(const std::optional<QByteArray>& pattern, const std::optional<QByteArray>& value,
                            const std::optional<QByteArray>& escape = std::nullopt)
{
    sqlite::Database db;
    db.open(QStringLiteral(":memory:"), true);
    like::registerFunctions(db.get());
    const char* sql = escape ? "select ?2 like ?1 escape ?3" : "select ?2 like ?1";
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db.get(), sql, -1, &stmt, nullptr);
    sqlite::Statement statement(stmt);
    auto bind = [&](int index, const std::optional<QByteArray>& text) {
        if (text)
            sqlite3_bind_text(stmt, index, text->constData(), int(text->size()), SQLITE_TRANSIENT);
    };
    bind(1, pattern);
    bind(2, value);
    if (escape)
        bind(3, escape);
    if (statement.step() != SQLITE_ROW)
        return -1;
    if (statement.isNull(0))
        return std::nullopt;
    return sqlite3_column_int(stmt, 0);
}

} // namespace

class TestLike : public QObject {
    Q_OBJECT

private slots:
    void matches_data();
    void matches();
    void nullNeverMatches();
    void escapeCharacter();
    void compiledPatternAgreesWithSql();
    void agreesWithReference();
};

void TestLike::matches_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("expected");

    // Letter case, ASCII and beyond.
    QTest::newRow("ascii lower term") << QByteArray("%reverb%") << QByteArray("Reverb Hall") << true;
    QTest::newRow("ascii upper term") << QByteArray("%REVERB%") << QByteArray("il reverb") << true;
    QTest::newRow("È finds è") << QByteArray("%CAFFÈ%") << QByteArray("caffè nero") << true;
    QTest::newRow("è finds È") << QByteArray("%caffè%") << QByteArray("CAFFÈ NERO") << true;
    QTest::newRow("mixed case") << QByteArray("%Caffè%") << QByteArray("cAfFÈ") << true;
    QTest::newRow("Ü finds ü") << QByteArray("%ÜBER%") << QByteArray("über alles") << true;
    QTest::newRow("Σ finds σ") << QByteArray("%ΣΟΦΙΑ%") << QByteArray("σοφια") << true;
    QTest::newRow("Kelvin sign finds k") << QByteArray("%k%") << QByteArray("5 \u212A") << true;
    QTest::newRow("long s finds S") << QByteArray("%S%") << QByteArray("ſ") << true;
    QTest::newRow("ascii term in a long accented value")
        << QByteArray("%zibaldone%") << QByteArray("Città perché più virtù ZIBALDONE qualità") << true;
    QTest::newRow("ascii term just missing")
        << QByteArray("%zibaldone%") << QByteArray("Città perché più virtù zibaldon qualità e più") << false;
    QTest::newRow("Ж finds ж") << QByteArray("%ЖУК%") << QByteArray("жук") << true;
    QTest::newRow("accent is not case") << QByteArray("%caffe%") << QByteArray("caffè") << false;
    QTest::newRow("à is not a") << QByteArray("%tà%") << QByteArray("ta") << false;
    QTest::newRow("short non-ascii term") << QByteArray("%tà%") << QByteArray("Città") << true;

    // Wildcards.
    QTest::newRow("% inside") << QByteArray("a%c") << QByteArray("abbbc") << true;
    QTest::newRow("% inside, tail missing") << QByteArray("a%c") << QByteArray("abcd") << false;
    QTest::newRow("_ is a character, not a byte") << QByteArray("_") << QByteArray("è") << true;
    QTest::newRow("two _ need two characters") << QByteArray("__") << QByteArray("è") << false;
    QTest::newRow("_ inside a term") << QByteArray("%c_ff_%") << QByteArray("Il CAFFÈ") << true;
    QTest::newRow("%_% needs a character") << QByteArray("%_%") << QByteArray("") << false;
    QTest::newRow("%_% on one character") << QByteArray("%_%") << QByteArray("x") << true;
    QTest::newRow("_ at the end") << QByteArray("%ab_") << QByteArray("xxabè") << true;
    QTest::newRow("term with % acts as pattern")
        << QByteArray("%del%parte%") << QByteArray("Del suono, parte 2") << true;
    QTest::newRow("pieces in order") << QByteArray("%parte%del%") << QByteArray("Del suono, parte 2") << false;
    QTest::newRow("repeated piece") << QByteArray("%ab%ab%") << QByteArray("abab") << true;
    QTest::newRow("repeated piece overlap") << QByteArray("%ab%ab%") << QByteArray("aba") << false;
    QTest::newRow("head and tail do not overlap") << QByteArray("a%a") << QByteArray("a") << false;
    QTest::newRow("head and tail") << QByteArray("a%a") << QByteArray("aa") << true;

    // The empty term, and exact patterns.
    QTest::newRow("empty term, empty value") << QByteArray("%%") << QByteArray("") << true;
    QTest::newRow("empty term, any value") << QByteArray("%%") << QByteArray("qualcosa") << true;
    QTest::newRow("no wildcard, case differs") << QByteArray("abc") << QByteArray("ABC") << true;
    QTest::newRow("no wildcard, longer value") << QByteArray("abc") << QByteArray("abcd") << false;

    // Containment in issue numbers.
    QTest::newRow("1 in 1") << QByteArray("%1%") << QByteArray("1") << true;
    QTest::newRow("1 in 10") << QByteArray("%1%") << QByteArray("10") << true;
    QTest::newRow("1 in 21") << QByteArray("%1%") << QByteArray("21") << true;
    QTest::newRow("1 not in 2") << QByteArray("%1%") << QByteArray("2") << false;

    // Apostrophes, spaces and tabs are ordinary characters.
    QTest::newRow("D'Angelo") << QByteArray("%d'angelo%") << QByteArray("Giulia D'Angelo") << true;
    QTest::newRow("D'Angelo needs the apostrophe") << QByteArray("%D'Angelo%") << QByteArray("Giulia DAngelo") << false;
    QTest::newRow("L'arte") << QByteArray("%L'arte%") << QByteArray("L'arte del campionamento") << true;
    QTest::newRow("inner spaces kept") << QByteArray("%del campionamento%") << QByteArray("L'arte del campionamento")
                                       << true;
    QTest::newRow("two inner spaces") << QByteArray("%del  campionamento%") << QByteArray("L'arte del campionamento")
                                      << false;
    QTest::newRow("tab in term") << QByteArray("%a\tb%") << QByteArray("xa\tby") << true;

    // Bytes that are not UTF-8 are characters of their own.
    QTest::newRow("invalid byte in value") << QByteArray("%a%")
                                           << QByteArray("\xff"
                                                         "a")
                                           << true;
    QTest::newRow("_ matches an invalid byte") << QByteArray("_") << QByteArray("\xff") << true;
    QTest::newRow("stray continuation byte is not è") << QByteArray("%\xa8%") << QByteArray("è") << false;
    QTest::newRow("stray byte finds itself") << QByteArray("%\xa8%") << QByteArray("x\xa8y") << true;
}

void TestLike::matches()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, value);
    QFETCH(bool, expected);
    QCOMPARE(evaluate(pattern, value), std::optional<int>(expected ? 1 : 0));
}

void TestLike::nullNeverMatches()
{
    QCOMPARE(evaluate(QByteArray("%%"), std::nullopt), std::nullopt);
    QCOMPARE(evaluate(QByteArray("%"), std::nullopt), std::nullopt);
    QCOMPARE(evaluate(std::nullopt, QByteArray("x")), std::nullopt);
}

void TestLike::escapeCharacter()
{
    QCOMPARE(evaluate(QByteArray("%10!%%"), QByteArray("sconto 10% oggi"), QByteArray("!")), std::optional<int>(1));
    QCOMPARE(evaluate(QByteArray("%10!%%"), QByteArray("sconto 100 oggi"), QByteArray("!")), std::optional<int>(0));
    QCOMPARE(evaluate(QByteArray("a!_c"), QByteArray("abc"), QByteArray("!")), std::optional<int>(0));
    QCOMPARE(evaluate(QByteArray("a!_c"), QByteArray("A_C"), QByteArray("!")), std::optional<int>(1));
    QCOMPARE(evaluate(QByteArray("%è%"), QByteArray("è"), QByteArray("è")), std::optional<int>(0));
    QCOMPARE(evaluate(QByteArray("%"), QByteArray("x"), QByteArray("ab")), std::optional<int>(-1));
}

void TestLike::compiledPatternAgreesWithSql()
{
    // A statement reuses the compiled pattern across rows: every row must get its own answer.
    sqlite::Database db;
    db.open(QStringLiteral(":memory:"), true);
    like::registerFunctions(db.get());
    sqlite3_exec(db.get(),
                 "create table t(v text); insert into t values ('Caffè'),('tè'),(NULL),('CAFFÈ LATTE'),('cafe')",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db.get(), "select v from t where v like ?1", -1, &stmt, nullptr);
    sqlite::Statement statement(stmt);
    statement.bindText(1, QUtf8StringView("%caffè%"));
    QStringList found;
    while (statement.step() == SQLITE_ROW)
        found << statement.text(0).toString();
    QCOMPARE(found, QStringList({QStringLiteral("Caffè"), QStringLiteral("CAFFÈ LATTE")}));

    const like::Pattern pattern("%caffè%");
    QVERIFY(pattern.matches("CAFFÈ"));
    QVERIFY(!pattern.matches("caffe"));
}

void TestLike::agreesWithReference()
{
    // Random patterns and values over a small alphabet that provokes every path:
    // wildcards, the escape, letters in two cases, multi-byte and invalid bytes.
    const std::vector<QByteArray> alphabet{"a", "A", "k",      "s", "%",    "_",    "!",    "è", "È", "σ",
                                           "Σ", "ς", "\u212A", "ſ", "\xc3", "\xa8", "\xff", " ", "'"};
    quint32 state = 12345;
    auto random = [&](quint32 n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    };
    auto text = [&](quint32 maxLength) {
        QByteArray out;
        for (quint32 i = random(maxLength + 1); i > 0; --i)
            out += alphabet[random(quint32(alphabet.size()))];
        return out;
    };
    for (int i = 0; i < 20000; ++i) {
        const QByteArray pattern = text(6);
        // Long values too, which the ASCII search scans sixteen bytes at a time.
        const QByteArray value = text(i % 2 ? 8 : 48);
        const char32_t escape = random(4) == 0 ? U'!' : 0;
        const std::string_view p(pattern.constData(), size_t(pattern.size()));
        const std::string_view v(value.constData(), size_t(value.size()));
        const bool expected = testing::referenceLike(p, v, escape);
        if (like::Pattern(p, escape).matches(v) != expected)
            QFAIL(qPrintable(QStringLiteral("pattern %1 value %2 escape %3: expected %4")
                                 .arg(QString::fromLatin1(pattern.toHex()), QString::fromLatin1(value.toHex()))
                                 .arg(int(escape))
                                 .arg(expected)));
    }
}

QTEST_GUILESS_MAIN(TestLike)
#include "tst_like.moc"
