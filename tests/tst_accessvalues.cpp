// The Access reader's text of stored values, at the edges where a
// general-purpose formatting would lose or change something; and the Windows
// reader's text of what an ODBC driver hands over, the same as the Linux
// reader's.

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

    // What an ODBC driver hands over, written as the Linux reader writes it.
    const QString scaled = u"odbc decimal"_s;
    const QString refused = u"<refused>"_s;
    QTest::newRow("ODBC currency, the most negative")
        << scaled << QByteArray("-922337203685477.5808") << 4 << u"-922337203685477.5808"_s;
    QTest::newRow("ODBC currency, the largest")
        << scaled << QByteArray("922337203685477.5807") << 4 << u"922337203685477.5807"_s;
    QTest::newRow("ODBC currency, zeros left out") << scaled << QByteArray("-12.34") << 4 << u"-12.3400"_s;
    QTest::newRow("ODBC currency, whole") << scaled << QByteArray("12") << 4 << u"12.0000"_s;
    QTest::newRow("ODBC decimal, below one without its zero") << scaled << QByteArray(".5") << 2 << u"0.50"_s;
    QTest::newRow("ODBC decimal, negative zero") << scaled << QByteArray("-0.000") << 2 << u"0.00"_s;
    QTest::newRow("ODBC decimal, plus sign and leading zeros") << scaled << QByteArray("+007.10") << 1 << u"7.1"_s;
    QTest::newRow("ODBC decimal, zeros beyond the scale") << scaled << QByteArray("1.2300") << 2 << u"1.23"_s;
    QTest::newRow("ODBC decimal, digits beyond the scale kept") << scaled << QByteArray("1.23456") << 2 << u"1.23456"_s;
    QTest::newRow("ODBC decimal, 28 digits")
        << scaled << QByteArray("-9999999999999999999999999999") << 0 << u"-9999999999999999999999999999"_s;
    QTest::newRow("ODBC decimal, 28 digits, all after the point")
        << scaled << QByteArray("0.9999999999999999999999999999") << 28 << u"0.9999999999999999999999999999"_s;
    QTest::newRow("ODBC decimal, an exponent") << scaled << QByteArray("1e5") << 0 << refused;
    QTest::newRow("ODBC decimal, a sign alone") << scaled << QByteArray("-") << 0 << refused;
    QTest::newRow("ODBC decimal, a point alone") << scaled << QByteArray(".") << 2 << refused;

    // A timestamp's fields: year, month, day, hour, minute, second, nanoseconds.
    const QString stamp = u"odbc timestamp"_s;
    QTest::newRow("ODBC date, day zero") << stamp << QByteArray("1899 12 30 0 0 0 0") << 0 << u"1899-12-30 00:00:00"_s;
    QTest::newRow("ODBC date, before day zero, time forward")
        << stamp << QByteArray("1899 12 29 6 0 0 0") << 0 << u"1899-12-29 06:00:00"_s;
    QTest::newRow("ODBC date, half a day into day zero")
        << stamp << QByteArray("1899 12 30 12 0 0 0") << 0 << u"1899-12-30 12:00:00"_s;
    QTest::newRow("ODBC date, months before with seconds")
        << stamp << QByteArray("1899 9 27 10 19 15 0") << 0 << u"1899-09-27 10:19:15"_s;
    QTest::newRow("ODBC date, year 100") << stamp << QByteArray("100 1 1 0 0 0 0") << 0 << u"0100-01-01 00:00:00"_s;
    QTest::newRow("ODBC date, 1900 has no leap day")
        << stamp << QByteArray("1900 3 1 0 0 0 0") << 0 << u"1900-03-01 00:00:00"_s;
    QTest::newRow("ODBC date, 2000 has one")
        << stamp << QByteArray("2000 2 29 0 0 0 0") << 0 << u"2000-02-29 00:00:00"_s;
    QTest::newRow("ODBC date, last second of 9999")
        << stamp << QByteArray("9999 12 31 23 59 59 0") << 0 << u"9999-12-31 23:59:59"_s;
    QTest::newRow("ODBC date, to the nearest second")
        << stamp << QByteArray("2024 2 29 12 0 0 600000000") << 0 << u"2024-02-29 12:00:01"_s;
    QTest::newRow("ODBC date, rounded into the next day")
        << stamp << QByteArray("1999 12 31 23 59 59 999000000") << 0 << u"2000-01-01 00:00:00"_s;
    QTest::newRow("ODBC date, before day zero, rounded into the next day")
        << stamp << QByteArray("1850 7 14 23 59 59 600000000") << 0 << u"1850-07-15 00:00:00"_s;

    const QString guid = u"odbc repid"_s;
    QTest::newRow("ODBC replication ID text, braces, lower case")
        << guid << QByteArray("{6f9619ff-8b86-d011-b42d-00c04fc964ff}") << 0
        << u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"_s;
    QTest::newRow("ODBC replication ID text, no braces") << guid << QByteArray("6F9619FF-8B86-D011-B42D-00C04FC964FF")
                                                         << 0 << u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"_s;
    QTest::newRow("ODBC replication ID text, no dashes")
        << guid << QByteArray("6F9619FF8B86D011B42D00C04FC964FF") << 0 << refused;
    QTest::newRow("ODBC replication ID text, not hexadecimal")
        << guid << QByteArray("{6F9619FF-8B86-D011-B42D-00C04FC964FG}") << 0 << refused;
    QTest::newRow("ODBC replication ID text, one brace")
        << guid << QByteArray("{6F9619FF-8B86-D011-B42D-00C04FC964FF") << 0 << refused;

    QTest::newRow("ODBC table name with brackets")
        << u"odbc name"_s << QByteArray("Voci ]strane[") << 0 << u"[Voci ]]strane[]"_s;
    const QString connection = u"odbc connection"_s;
    QTest::newRow("ODBC connection value, plain")
        << connection << QByteArray("C:\\Dati Ondiva\\qx.mdb") << 0 << u"C:\\Dati Ondiva\\qx.mdb"_s;
    QTest::newRow("ODBC connection value, semicolon and braces")
        << connection << QByteArray("C:\\a;b\\{x}.mdb") << 0 << u"{C:\\a;b\\{x}}.mdb}"_s;
    QTest::newRow("ODBC connection value, leading space") << connection << QByteArray(" qx.mdb") << 0 << u"{ qx.mdb}"_s;
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
    else if (type == u"jet3 text"_s)
        appendJet3Text(text, data, size_t(bytes.size()));
    else if (type == u"odbc decimal"_s && !appendScaled(text, bytes.toStdString(), scale))
        text = "<refused>";
    else if (type == u"odbc repid"_s && !appendReplicationIdText(text, bytes.toStdString()))
        text = "<refused>";
    else if (type == u"odbc name"_s)
        text = QString::fromStdWString(bracketedName(QString::fromUtf8(bytes).toStdWString())).toStdString();
    else if (type == u"odbc connection"_s)
        text = QString::fromStdWString(connectionValue(QString::fromUtf8(bytes).toStdWString())).toStdString();
    if (type == u"odbc timestamp"_s) {
        const QList<QByteArray> f = bytes.split(' ');
        appendDateTime(text, accessDays(f[0].toLongLong(), f[1].toUInt(), f[2].toUInt(), f[3].toUInt(), f[4].toUInt(),
                                        f[5].toUInt(), f[6].toUInt()));
    }
    // As bytes: a text is valid UTF-8 exactly as expected, never merely read so.
    QCOMPARE(QByteArray::fromStdString(text), expected.toUtf8());
}

// What the ODBC reader keeps of each piece of a long value: only the value's
// own bytes, never what an earlier piece left in the buffer.
void TestAccessValues::piecesOfLongValues_data()
{
    QTest::addColumn<QStringList>("warnings"); // the SQLSTATEs with the piece; none for SQL_SUCCESS
    QTest::addColumn<int>("length");           // -1: the driver gave no total
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<int>("terminator");
    QTest::addColumn<int>("bytes"); // -1: cannot be told
    QTest::addColumn<bool>("last");
    const QByteArray stale("abcXXXXXXX\0", 11); // "abc" then an earlier piece's bytes
    const QStringList none;
    const QStringList truncated{u"01004"_s};
    const QStringList other{u"01000"_s};
    QTest::newRow("fits") << none << 3 << stale << 1 << 3 << true;
    QTest::newRow("fits, with a warning about something else") << other << 3 << stale << 1 << 3 << true;
    QTest::newRow("fills the buffer exactly") << none << 10 << stale << 1 << 10 << true;
    QTest::newRow("truncated") << truncated << 25 << stale << 1 << 10 << false;
    QTest::newRow("truncated, no total") << truncated << -1 << stale << 1 << 10 << false;
    QTest::newRow("truncated, no total, among other warnings")
        << QStringList{u"01S07"_s, u"01004"_s} << -1 << stale << 1 << 10 << false;
    QTest::newRow("longer than the buffer, no word of truncation: one more call")
        << none << 25 << stale << 1 << 10 << false;
    QTest::newRow("last, no total: up to the terminator")
        << none << -1 << QByteArray("abc\0XXXXXX\0", 11) << 1 << 3 << true;
    QTest::newRow("last, no total, a warning about something else: up to the terminator")
        << other << -1 << QByteArray("abc\0XXXXXX\0", 11) << 1 << 3 << true;
    // 'a', U+0100, then the terminator: the zero bytes between them are no terminator.
    QTest::newRow("last, no total, UTF-16") << none << -1 << QByteArray("a\0\0\x01\0\0XXXX\0\0", 12) << 2 << 4 << true;
    QTest::newRow("last, no total, binary") << none << -1 << stale << 0 << -1 << true;
    QTest::newRow("last, no total, binary, a warning about something else") << other << -1 << stale << 0 << -1 << true;
}

void TestAccessValues::piecesOfLongValues()
{
    QFETCH(QStringList, warnings);
    QFETCH(int, length);
    QFETCH(QByteArray, written);
    QFETCH(int, terminator);
    QFETCH(int, bytes);
    QFETCH(bool, last);
    std::vector<std::string> states;
    for (const QString& state : warnings)
        states.push_back(state.toStdString());
    const ValuePiece piece =
        valuePiece(states, length < 0 ? std::nullopt : std::optional<std::size_t>(length), written.constData(),
                   std::size_t(written.size() - terminator), std::size_t(terminator));
    QCOMPARE(piece.known, bytes >= 0);
    if (bytes >= 0) {
        QCOMPARE(int(piece.bytes), bytes);
        QCOMPARE(piece.last, last);
    }
}

QTEST_GUILESS_MAIN(TestAccessValues)
#include "tst_accessvalues.moc"
