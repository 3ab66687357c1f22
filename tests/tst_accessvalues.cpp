// The Access reader's text of stored values, at the edges where a
// general-purpose formatting would lose or change something.

#include "accessreader/AccessValues.h"

#include <QTest>

#include <bit>
#include <limits>

using namespace ondiva::access;
using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray little(std::uint64_t value, int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes += char(value >> (8 * i));
    return bytes;
}

QByteArray stored(double value) { return little(std::bit_cast<std::uint64_t>(value), 8); }
QByteArray stored(float value) { return little(std::bit_cast<std::uint32_t>(value), 4); }

// A decimal's 17 bytes: the sign, then the magnitude's words, the most significant first.
QByteArray decimal(bool negative, std::array<std::uint32_t, 4> words)
{
    QByteArray bytes(1, negative ? char(0x80) : char(0));
    for (std::uint32_t word : words)
        bytes += little(word, 4);
    return bytes;
}

} // namespace

class TestAccessValues : public QObject {
    Q_OBJECT

private slots:
    void exactText_data();
    void exactText();
    void piecesOfLongValues_data();
    void piecesOfLongValues();
};

void TestAccessValues::exactText_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QString>("expected");
    const auto currency = [](std::int64_t value) { return little(std::uint64_t(value), 8); };

    QTest::newRow("currency, negative") << u"currency"_s << currency(-123400) << 0 << u"-12.3400"_s;
    QTest::newRow("currency, below one") << u"currency"_s << currency(5) << 0 << u"0.0005"_s;
    QTest::newRow("currency, the most negative")
        << u"currency"_s << currency(std::numeric_limits<std::int64_t>::min()) << 0 << u"-922337203685477.5808"_s;
    QTest::newRow("currency, the largest")
        << u"currency"_s << currency(std::numeric_limits<std::int64_t>::max()) << 0 << u"922337203685477.5807"_s;

    QTest::newRow("single, shorter than eight digits") << u"single"_s << stored(-0.00035134f) << 0 << u"-0.00035134"_s;
    QTest::newRow("single, one tenth") << u"single"_s << stored(1.1f) << 0 << u"1.1"_s;
    QTest::newRow("double, seventeen digits") << u"double"_s << stored(0.1 + 0.2) << 0 << u"0.30000000000000004"_s;
    QTest::newRow("double, large") << u"double"_s << stored(-8540982423.45) << 0 << u"-8540982423.45"_s;

    const QString date = u"datetime"_s;
    QTest::newRow("date, day zero") << date << stored(0.0) << 0 << u"1899-12-30 00:00:00"_s;
    QTest::newRow("date, before day zero, time forward") << date << stored(-1.25) << 0 << u"1899-12-29 06:00:00"_s;
    QTest::newRow("date, half a day before day zero") << date << stored(-0.5) << 0 << u"1899-12-30 12:00:00"_s;
    QTest::newRow("date, months before with seconds")
        << date << stored(-94.430034722222217) << 0 << u"1899-09-27 10:19:15"_s;
    QTest::newRow("date, rounded into the next day") << date << stored(1.9999999999) << 0 << u"1900-01-01 00:00:00"_s;
    QTest::newRow("date, rounded into day zero from before")
        << date << stored(-1.9999999999) << 0 << u"1899-12-30 00:00:00"_s;
    QTest::newRow("date, 1900 has no leap day") << date << stored(61.0) << 0 << u"1900-03-01 00:00:00"_s;
    QTest::newRow("date, 2000 has one") << date << stored(36585.0) << 0 << u"2000-02-29 00:00:00"_s;
    QTest::newRow("date, year 100") << date << stored(-657434.0) << 0 << u"0100-01-01 00:00:00"_s;
    QTest::newRow("date, last second of 9999") << date << stored(2958465.999988426) << 0 << u"9999-12-31 23:59:59"_s;
    QTest::newRow("date, beyond 9999 keeps its number") << date << stored(2958466.0) << 0 << u"2958466"_s;

    const QByteArray nines = decimal(false, {0, 0x204FCE5E, 0x3E250261, 0x0FFFFFFF}); // 10^28 - 1
    QTest::newRow("decimal, 28 digits") << u"decimal"_s << nines << 0 << u"9999999999999999999999999999"_s;
    QTest::newRow("decimal, 28 digits, negative, scale 4")
        << u"decimal"_s << decimal(true, {0, 0x204FCE5E, 0x3E250261, 0x0FFFFFFF}) << 4
        << u"-999999999999999999999999.9999"_s;
    QTest::newRow("decimal, below one, negative") << u"decimal"_s << decimal(true, {0, 0, 0, 5}) << 4 << u"-0.0005"_s;
    QTest::newRow("decimal, zero with a scale") << u"decimal"_s << decimal(true, {0, 0, 0, 0}) << 2 << u"0.00"_s;
    QTest::newRow("decimal, most significant word first")
        << u"decimal"_s << decimal(false, {0, 0, 1, 0}) << 0 << u"4294967296"_s;
    QTest::newRow("decimal, all 128 bits")
        << u"decimal"_s << decimal(false, {~0u, ~0u, ~0u, ~0u}) << 0 << u"340282366920938463463374607431768211455"_s;

    QTest::newRow("replication ID") << u"repid"_s << QByteArray::fromHex("000102030405060708090a0b0c0d0e0f") << 0
                                    << u"{03020100-0504-0706-0809-0A0B0C0D0E0F}"_s;

    const QString jet4 = u"jet4 text"_s;
    const auto bytes = [](const char* hex) { return QByteArray::fromHex(hex); };
    QTest::newRow("Jet 4 text, UTF-16") << jet4 << bytes("4300610066006600e800") << 0 << u"Caffè"_s;
    QTest::newRow("Jet 4 text, compressed") << jet4 << bytes("fffe43616666e8") << 0 << u"Caffè"_s;
    QTest::newRow("Jet 4 text, compressed, into UTF-16 and back") << jet4 << bytes("fffe61003a040062") << 0 << u"aкb"_s;
    QTest::newRow("Jet 4 text, compressed, ending in UTF-16") << jet4 << bytes("fffe61003a04") << 0 << u"aк"_s;
    QTest::newRow("Jet 4 text, beyond U+FFFF") << jet4 << bytes("3cd8b8df34d81edd") << 0 << u"🎸𝄞"_s;
    QTest::newRow("Jet 4 text, compressed, beyond U+FFFF") << jet4 << bytes("fffe78003cd8b8df") << 0 << u"x🎸"_s;
    QTest::newRow("Jet 4 text, U+FEFF first, in the compressed form")
        << jet4 << bytes("fffe00fffe6100") << 0 << u"\uFEFFa"_s;
    QTest::newRow("Jet 4 text, a NUL does not end it") << jet4 << bytes("610000006200") << 0 << u"a\0b"_s;
    QTest::newRow("Jet 4 text, lone high surrogate at the end") << jet4 << bytes("61003cd8") << 0 << u"a\uFFFD"_s;
    QTest::newRow("Jet 4 text, high surrogate before a letter") << jet4 << bytes("3cd86100") << 0 << u"\uFFFDa"_s;
    QTest::newRow("Jet 4 text, lone low surrogate") << jet4 << bytes("b8df6100") << 0 << u"\uFFFDa"_s;
    QTest::newRow("Jet 4 text, two high surrogates, then a low one")
        << jet4 << bytes("3cd83cd8b8df") << 0 << u"\uFFFD🎸"_s;
    QTest::newRow("Jet 4 text, odd length") << jet4 << bytes("610062") << 0 << u"a\uFFFD"_s;
    QTest::newRow("Jet 4 text, odd length after a high surrogate") << jet4 << bytes("3cd841") << 0 << u"\uFFFD\uFFFD"_s;
    QTest::newRow("Jet 4 text, compressed, odd length in UTF-16") << jet4 << bytes("fffe003a") << 0 << u"\uFFFD"_s;
    QTest::newRow("Jet 4 text, empty") << jet4 << QByteArray() << 0 << QString();
    QTest::newRow("Jet 4 text, compressed, empty") << jet4 << bytes("fffe") << 0 << QString();
    QTest::newRow("Jet 3 text, the upper half, undefined bytes as Windows reads them")
        << u"jet3 text"_s << bytes("41808d818f909d9fa0e8ff") << 0 << u"A€\u008D\u0081\u008F\u0090\u009DŸ\u00A0èÿ"_s;
}

void TestAccessValues::exactText()
{
    QFETCH(QString, type);
    QFETCH(QByteArray, bytes);
    QFETCH(int, scale);
    QFETCH(QString, expected);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    std::string text;
    if (type == u"currency"_s)
        appendCurrency(text, std::int64_t(littleEndian(data, 8)));
    else if (type == u"single"_s)
        appendSingle(text, std::bit_cast<float>(std::uint32_t(littleEndian(data, 4))));
    else if (type == u"double"_s)
        appendDouble(text, std::bit_cast<double>(littleEndian(data, 8)));
    else if (type == u"datetime"_s)
        appendDateTime(text, std::bit_cast<double>(littleEndian(data, 8)));
    else if (type == u"decimal"_s)
        appendDecimal(text, data, scale);
    else if (type == u"repid"_s)
        appendReplicationId(text, data);
    else if (type == u"jet4 text"_s)
        appendJet4Text(text, data, size_t(bytes.size()));
    else
        appendJet3Text(text, data, size_t(bytes.size()));
    // As bytes: a text is valid UTF-8 exactly as expected, never merely read so.
    QCOMPARE(QByteArray::fromStdString(text), expected.toUtf8());
}

// What the ODBC reader keeps of each piece of a long value: only the value's
// own bytes, never what an earlier piece left in the buffer.
void TestAccessValues::piecesOfLongValues_data()
{
    QTest::addColumn<bool>("complete");
    QTest::addColumn<int>("length"); // -1: the driver gave no total
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<int>("terminator");
    QTest::addColumn<int>("bytes"); // -1: cannot be told
    QTest::addColumn<bool>("last");
    const QByteArray stale("abcXXXXXXX\0", 11); // "abc" then an earlier piece's bytes
    QTest::newRow("fits") << true << 3 << stale << 1 << 3 << true;
    QTest::newRow("fits, with a warning about something else") << false << 3 << stale << 1 << 3 << true;
    QTest::newRow("fills the buffer exactly") << true << 10 << stale << 1 << 10 << true;
    QTest::newRow("truncated") << false << 25 << stale << 1 << 10 << false;
    QTest::newRow("truncated, no total") << false << -1 << stale << 1 << 10 << false;
    QTest::newRow("last, no total: up to the terminator")
        << true << -1 << QByteArray("abc\0XXXXXX\0", 11) << 1 << 3 << true;
    // 'a', U+0100, then the terminator: the zero bytes between them are no terminator.
    QTest::newRow("last, no total, UTF-16") << true << -1 << QByteArray("a\0\0\x01\0\0XXXX\0\0", 12) << 2 << 4 << true;
    QTest::newRow("last, no total, binary") << true << -1 << stale << 0 << -1 << true;
}

void TestAccessValues::piecesOfLongValues()
{
    QFETCH(bool, complete);
    QFETCH(int, length);
    QFETCH(QByteArray, written);
    QFETCH(int, terminator);
    QFETCH(int, bytes);
    QFETCH(bool, last);
    const ValuePiece piece =
        valuePiece(complete, length < 0 ? std::nullopt : std::optional<std::size_t>(length), written.constData(),
                   std::size_t(written.size() - terminator), std::size_t(terminator));
    QCOMPARE(piece.known, bytes >= 0);
    if (bytes >= 0) {
        QCOMPARE(int(piece.bytes), bytes);
        QCOMPARE(piece.last, last);
    }
}

QTEST_GUILESS_MAIN(TestAccessValues)
#include "tst_accessvalues.moc"
