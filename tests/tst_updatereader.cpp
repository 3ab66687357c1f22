// The update-file reader: the file's shape, line ends, encodings and broken
// files, each read whole and in small chunks (a line end or a UTF-8 sequence
// split between two chunks must read the same).

#include "ReadInChunks.h"
#include "update/UpdateReader.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace ondiva::update;
using ondiva::catalogue::Table;
using Kind = UpdateReader::Error::Kind;
using ondiva::testing::readInChunks;

Q_DECLARE_METATYPE(UpdateReader::Encoding)

namespace {

// Keeps what the reader hands over as texts: the identifier, and each record as
// "<section letter><line>|field|field...".
class Recorder : public UpdateReader::Handler {
public:
    QString id = u"<none>"_s;
    QStringList records;
    int stopAfter = -1; // records to take before asking the reader to stop

    bool identifier(QUtf8StringView identifier) override
    {
        id = identifier.toString();
        return true;
    }
    bool record(const UpdateReader::Record& record) override
    {
        static constexpr char letters[] = {'A', 'W', 'M', 'G'};
        QString text = QChar::fromLatin1(letters[int(record.section)]) + QString::number(record.line);
        for (QUtf8StringView field : record.fields)
            text += u'|' + field.toString();
        records << text;
        return --stopAfter != 0;
    }
};

QString describe(const UpdateReader::Error& error)
{
    switch (error.kind) {
    case Kind::None:
        return u"ok"_s;
    case Kind::BadHeader:
        return u"bad header"_s;
    case Kind::MissingFields:
        return u"line %1: %2 of %3 fields"_s.arg(error.line).arg(error.fieldCount).arg(error.fieldsNeeded);
    case Kind::Truncated:
        return u"truncated after line %1, waiting for %2"_s.arg(error.line)
            .arg(QLatin1StringView(UpdateReader::endMarker(error.section)));
    case Kind::NulByte:
        return u"line %1: NUL"_s.arg(error.line);
    case Kind::LineTooLong:
        return u"line %1: too long"_s.arg(error.line);
    case Kind::InvalidUtf8:
        return u"line %1: not UTF-8"_s.arg(error.line);
    }
    return {};
}

// A file from lines in UTF-8, each followed by eol.
QByteArray file(const QStringList& lines, const QByteArray& eol = "\n")
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toUtf8() + eol;
    return bytes;
}

// A file whose sections are all empty, around the given records in one section.
QStringList around(Table section, const QStringList& records)
{
    QStringList lines{u"n.61"_s, u"ARTICOLI(BOF)"_s};
    const QStringList openings{QString(), u"Software per Windows"_s, u"Software per Mac"_s, u"Grooves"_s};
    for (Table table : ondiva::catalogue::kAllTables) {
        if (table != Table::Articoli)
            lines << openings[int(table)];
        if (table == section)
            lines << records;
        lines << QString::fromLatin1(UpdateReader::endMarker(table));
    }
    return lines;
}

const QStringList kEmpty = around(Table::Articoli, {});

} // namespace

class TestUpdateReader : public QObject {
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void windows1252Characters();
    void lineLengthLimit();
    void handlerStopsTheReader();
};

void TestUpdateReader::read_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QString>("error");
    QTest::addColumn<UpdateReader::Encoding>("encoding");
    const auto utf8 = UpdateReader::Encoding::Utf8;
    const auto cp1252 = UpdateReader::Encoding::Windows1252;

    // --- shapes --------------------------------------------------------------------------------------------------
    QTest::newRow("all sections empty") << file(kEmpty) << u"n.61"_s << QStringList() << u"ok"_s << utf8;
    QTest::newRow("one record in each section")
        << file({u"n.61"_s, u"ARTICOLI(BOF)"_s, u"Titolo\tAutore\t61"_s, u"ARTICOLI(EOF)"_s, u"Win"_s,
                 u"Prog\tFreeware\t61"_s, u"SOFTWARE_WIN(EOF)"_s, u"Mac"_s, u"MacProg\tDemo\t61"_s,
                 u"SOFTWARE_MAC(EOF)"_s, u"Grooves"_s, u"Funk\t61"_s, u"GROOVES(EOF)"_s})
        << u"n.61"_s
        << QStringList{u"A3|Titolo|Autore|61"_s, u"W6|Prog|Freeware|61"_s, u"M9|MacProg|Demo|61"_s, u"G12|Funk|61"_s}
        << u"ok"_s << utf8;
    QTest::newRow("opening lines empty or like markers")
        << file({u"n.61"_s, u"ARTICOLI(BOF)"_s, u"ARTICOLI(EOF)"_s, QString(), u"SOFTWARE_WIN(EOF)"_s,
                 u"GROOVES(EOF)"_s, u"SOFTWARE_MAC(EOF)"_s, u"ARTICOLI(BOF)"_s, u"GROOVES(EOF)"_s})
        << u"n.61"_s << QStringList() << u"ok"_s << utf8;
    QTest::newRow("record containing a marker")
        << file(around(Table::Articoli, {u"ARTICOLI(EOF)\tA\t1"_s, u" ARTICOLI(EOF)\tB\t2"_s})) << u"n.61"_s
        << QStringList{u"A3|ARTICOLI(EOF)|A|1"_s, u"A4| ARTICOLI(EOF)|B|2"_s} << u"ok"_s << utf8;
    QTest::newRow("trailing tab and extra fields")
        << file(around(Table::SoftwareMac, {u"a\tb\t"_s, u"a\tb\tc\t"_s, u"a\tb\tc\td\te"_s})) << u"n.61"_s
        << QStringList{u"M7|a|b|"_s, u"M8|a|b|c"_s, u"M9|a|b|c"_s} << u"ok"_s << utf8;
    QTest::newRow("empty fields and spaces kept")
        << file(around(Table::Grooves, {u"\t"_s, u" \t "_s, u"\t\t\t"_s, u"  Bossa  \t 61 "_s})) << u"n.61"_s
        << QStringList{u"G9||"_s, u"G10| | "_s, u"G11||"_s, u"G12|  Bossa  | 61 "_s} << u"ok"_s << utf8;
    QTest::newRow("apostrophes and quotes")
        << file(around(Table::Articoli, {u"L'arte dell'eco \"vero\"\tD'Angelo\t61"_s})) << u"n.61"_s
        << QStringList{u"A3|L'arte dell'eco \"vero\"|D'Angelo|61"_s} << u"ok"_s << utf8;
    QTest::newRow("identifier loses spaces only")
        << file(QStringList{u"  \tn.61 \t  "_s} + kEmpty.mid(1)) << u"\tn.61 \t"_s << QStringList() << u"ok"_s << utf8;
    QTest::newRow("empty identifier") << file(QStringList{u"   "_s} + kEmpty.mid(1)) << QString() << QStringList()
                                      << u"ok"_s << utf8;
    QTest::newRow("nothing after the end is read")
        << file(kEmpty) + QByteArray("junk\0\xFF\xFE\n\n\t\n", 9) << u"n.61"_s << QStringList() << u"ok"_s << utf8;

    // --- line ends -----------------------------------------------------------------------------------------------
    const QStringList one = around(Table::SoftwareWin, {u"Prog\tTipo\t61"_s});
    const QStringList oneRecord{u"W5|Prog|Tipo|61"_s};
    QTest::newRow("windows line ends") << file(one, "\r\n") << u"n.61"_s << oneRecord << u"ok"_s << utf8;
    QTest::newRow("old mac line ends") << file(one, "\r") << u"n.61"_s << oneRecord << u"ok"_s << utf8;
    QTest::newRow("mixed line ends") << QByteArray("n.61\rARTICOLI(BOF)\r\nARTICOLI(EOF)\n\r"
                                                   "Prog\tTipo\t61\nSOFTWARE_WIN(EOF)\r\n\r\n"
                                                   "SOFTWARE_MAC(EOF)\r\rGROOVES(EOF)")
                                     << u"n.61"_s << oneRecord << u"ok"_s << utf8;
    QTest::newRow("no line end after the last line")
        << file(one).chopped(1) << u"n.61"_s << oneRecord << u"ok"_s << utf8;
    QTest::newRow("CR CR is an empty line") << file(kEmpty, "\r").replace("ARTICOLI(BOF)\r", "ARTICOLI(BOF)\r\r")
                                            << u"<none>"_s << QStringList() << u"line 3: 0 of 3 fields"_s << utf8;

    // --- encodings -----------------------------------------------------------------------------------------------
    const QStringList accented = around(Table::Articoli, {u"Perché più città\tNiccolò D'Alò\t61"_s});
    const QStringList accentedRecord{u"A3|Perché più città|Niccolò D'Alò|61"_s};
    QTest::newRow("utf-8") << file(accented) << u"n.61"_s << accentedRecord << u"ok"_s << utf8;
    QTest::newRow("utf-8 with byte order mark")
        << "\xEF\xBB\xBF" + file(accented) << u"n.61"_s << accentedRecord << u"ok"_s << utf8;
    QTest::newRow("utf-8 with byte order mark and spaces")
        << "\xEF\xBB\xBF  " + file(accented) << u"n.61"_s << accentedRecord << u"ok"_s << utf8;
    QTest::newRow("windows-1252")
        << file(accented, "\r\n").replace("é", "\xE9").replace("ù", "\xF9").replace("à", "\xE0").replace("ò", "\xF2")
        << u"n.61"_s << accentedRecord << u"ok"_s << cp1252;
    QTest::newRow("one byte decides for the whole file")
        << file(around(Table::Grooves, {u"Città\t61"_s, u"Caff\xE8\t61"_s})).replace("\xC3\xA8", "\xE8") << u"n.61"_s
        << QStringList{u"G9|CittÃ\u00A0|61"_s, u"G10|Caffè|61"_s} << u"ok"_s << cp1252;
    QTest::newRow("not utf-8 only in an opening line") << file(kEmpty).replace("Software per Mac", "Software \x96 Mac")
                                                       << u"n.61"_s << QStringList() << u"ok"_s << cp1252;
    QTest::newRow("byte order mark in a windows-1252 file")
        << "\xEF\xBB\xBF" + file(accented).replace("\xC3\xA9", "\xE9") << u"ï»¿n.61"_s
        << QStringList{u"A3|Perch\u00E9 piÃ¹ cittÃ\u00A0|NiccolÃ² D'AlÃ²|61"_s} << u"ok"_s << cp1252;
    QTest::newRow("utf-8 split between lines")
        << file(QStringList{u"n.61\xC3"_s} + kEmpty.mid(1)).replace("\xC3\x83", "\xC3") << u"n.61Ã"_s << QStringList()
        << u"ok"_s << cp1252;

    // --- broken files --------------------------------------------------------------------------------------------
    QTest::newRow("empty file") << QByteArray() << u"<none>"_s << QStringList() << u"bad header"_s << utf8;
    QTest::newRow("identifier only") << QByteArray("n.61\r\n") << u"<none>"_s << QStringList() << u"bad header"_s
                                     << utf8;
    QTest::newRow("lower-case header") << file(kEmpty).replace("ARTICOLI(BOF)", "articoli(bof)") << u"<none>"_s
                                       << QStringList() << u"bad header"_s << utf8;
    QTest::newRow("header with a space") << file(kEmpty).replace("ARTICOLI(BOF)", "ARTICOLI(BOF) ") << u"<none>"_s
                                         << QStringList() << u"bad header"_s << utf8;
    QTest::newRow("ends after the header") << file(kEmpty.mid(0, 2)) << u"<none>"_s << QStringList()
                                           << u"truncated after line 2, waiting for ARTICOLI(EOF)"_s << utf8;
    QTest::newRow("ends after ARTICOLI(EOF)") << file(kEmpty.mid(0, 3)) << u"<none>"_s << QStringList()
                                              << u"truncated after line 3, waiting for SOFTWARE_WIN(EOF)"_s << utf8;
    QTest::newRow("ends inside the mac section")
        << file(around(Table::SoftwareMac, {u"a\tb\tc"_s}).mid(0, 7)) << u"<none>"_s << QStringList()
        << u"truncated after line 7, waiting for SOFTWARE_MAC(EOF)"_s << utf8;
    QTest::newRow("ends before GROOVES(EOF)") << file(kEmpty.mid(0, 8)) + "Funk\t61" << u"<none>"_s << QStringList()
                                              << u"truncated after line 9, waiting for GROOVES(EOF)"_s << utf8;
    QTest::newRow("marker with a trailing space") << file(kEmpty).replace("GROOVES(EOF)", "GROOVES(EOF) ")
                                                  << u"<none>"_s << QStringList() << u"line 9: 1 of 2 fields"_s << utf8;
    QTest::newRow("two fields for articles") << file(around(Table::Articoli, {u"a\tb\tc"_s, u"Titolo\tAutore"_s}))
                                             << u"<none>"_s << QStringList() << u"line 4: 2 of 3 fields"_s << utf8;
    QTest::newRow("one field for software") << file(around(Table::SoftwareWin, {u"Prog"_s})) << u"<none>"_s
                                            << QStringList() << u"line 5: 1 of 3 fields"_s << utf8;
    QTest::newRow("one field for a groove") << file(around(Table::Grooves, {u"Funk"_s})) << u"<none>"_s << QStringList()
                                            << u"line 9: 1 of 2 fields"_s << utf8;
    QTest::newRow("empty line in a section")
        << file(around(Table::SoftwareMac, {u"a\tb\tc"_s, QString(), u"a\tb\tc"_s}), "\r\n") << u"<none>"_s
        << QStringList() << u"line 8: 0 of 3 fields"_s << utf8;
    QTest::newRow("NUL in a record") << file(around(Table::Grooves, {u"Fu\u0000nk\t61"_s})) << u"<none>"_s
                                     << QStringList() << u"line 9: NUL"_s << utf8;
    QTest::newRow("binary junk") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\x01\0", 20) << u"<none>"_s
                                 << QStringList() << u"bad header"_s << utf8;
    QTest::newRow("NULs on the first line")
        << QByteArray("\0\0\0\0n.61\nARTICOLI(BOF)\n", 23) << u"<none>"_s << QStringList() << u"line 1: NUL"_s << utf8;
}

void TestUpdateReader::read()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, identifier);
    QFETCH(QStringList, records);
    QFETCH(QString, error);
    QFETCH(UpdateReader::Encoding, encoding);

    for (qsizetype chunk : {file.size() + 1, qsizetype(1), qsizetype(2), qsizetype(5)}) {
        Recorder recorder;
        const auto outcome = readInChunks(file, recorder, chunk > file.size() ? 0 : chunk);
        const QByteArray where = "chunk " + QByteArray::number(chunk);
        QVERIFY2(outcome.state != UpdateReader::State::Stopped, where.constData());
        QCOMPARE(describe(outcome.error), error);
        QCOMPARE(outcome.state == UpdateReader::State::Complete, error == u"ok"_s);
        QCOMPARE(recorder.id, identifier);
        QCOMPARE(recorder.records, records);
        if (outcome.state == UpdateReader::State::Complete)
            QCOMPARE(outcome.encoding, encoding);
    }
}

// The upper half of Windows-1252, written out by hand: 0x80-0x9F with the five
// undefined bytes as the control characters of the same number, then Latin-1.
void TestUpdateReader::windows1252Characters()
{
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high += char(b);
    const QString expected =
        u"€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ"_s + QString::fromLatin1(high.mid(0x20));
    Recorder recorder;
    const auto outcome = readInChunks(file(around(Table::Grooves, {u"X\t61"_s})).replace("X", high), recorder);
    QCOMPARE(outcome.encoding, UpdateReader::Encoding::Windows1252);
    QCOMPARE(recorder.records, QStringList(u"G9|"_s + expected + u"|61"_s));
}

void TestUpdateReader::lineLengthLimit()
{
    for (qsizetype extra : {0, 1}) {
        const QByteArray title(UpdateReader::kMaxLineLength - 3 + extra, 'x');
        const QByteArray bytes = file(around(Table::Grooves, {u"X\t61"_s})).replace("X", title);
        Recorder recorder;
        const auto outcome = readInChunks(bytes, recorder);
        QCOMPARE(describe(outcome.error), extra ? u"line 9: too long"_s : u"ok"_s);
        // Arriving in pieces, the line is refused before it is held whole.
        Recorder pieces;
        QCOMPARE(describe(readInChunks(bytes, pieces, 4096).error), describe(outcome.error));
    }
}

void TestUpdateReader::handlerStopsTheReader()
{
    Recorder recorder;
    recorder.stopAfter = 2;
    const auto outcome =
        readInChunks(file(around(Table::Articoli, {u"a\tb\t1"_s, u"c\td\t2"_s, u"e\tf\t3"_s})), recorder);
    QCOMPARE(outcome.state, UpdateReader::State::Stopped);
    QCOMPARE(recorder.records, QStringList({u"A3|a|b|1"_s, u"A4|c|d|2"_s}));
}

QTEST_GUILESS_MAIN(TestUpdateReader)
#include "tst_updatereader.moc"
