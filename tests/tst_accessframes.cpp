// The frames in which the Access reader hands a file to the program: decoded
// whole in chunks of any size, and every stream out of the protocol's order
// refused, whether it arrives at once or a byte at a time.

#include "accessframes/AccessFrames.h"

#include <QTest>

using namespace ondiva::access;
using namespace Qt::Literals::StringLiterals;
using State = FrameReader::State;

Q_DECLARE_METATYPE(ondiva::access::FrameReader::State)

namespace {

// Builds a stream frame by frame, in any order at all.
class Stream {
public:
    Stream& table(std::string_view name, std::vector<std::string_view> columns, std::uint64_t rows = 1)
    {
        m_out.begin(FrameType::Table);
        m_out.u32(std::uint32_t(columns.size()));
        m_out.text(name);
        for (std::string_view column : columns)
            m_out.text(column);
        m_out.u64(rows);
        m_out.end();
        return *this;
    }
    Stream& row(std::vector<Value> values)
    {
        m_out.begin(FrameType::Row);
        for (const Value& value : values)
            m_out.value(value);
        m_out.end();
        return *this;
    }
    Stream& endTable() { return frame(FrameType::EndTable, {}); }
    Stream& done() { return frame(FrameType::Done, {}); }
    Stream& failure(std::uint8_t reason)
    {
        m_out.begin(FrameType::Failure);
        m_out.byte(reason);
        m_out.text("why");
        m_out.end();
        return *this;
    }
    Stream& frame(FrameType type, std::string_view payload)
    {
        m_out.begin(type);
        m_out.bytes() += payload;
        m_out.end();
        return *this;
    }
    Stream& raw(std::string_view bytes)
    {
        m_out.bytes() += bytes;
        return *this;
    }
    FrameWriter& writer() { return m_out; }
    operator QByteArray() { return QByteArray::fromStdString(m_out.bytes()); }

private:
    FrameWriter m_out;
};

// Everything the decoder hands over, as text.
struct Recorder : FrameHandler {
    QStringList seen;
    bool table(std::string_view name, const std::vector<std::string_view>& columns, std::uint64_t rows) override
    {
        seen << u"T %1 %2 %3"_s.arg(QLatin1StringView(name)).arg(columns.size()).arg(rows);
        return true;
    }
    bool row(const std::vector<Value>& values) override
    {
        QStringList cells;
        for (const Value& v : values) {
            const QByteArray data(v.data.data(), qsizetype(v.data.size()));
            cells << (v.kind == ValueKind::Null   ? u"-"_s
                      : v.kind == ValueKind::Text ? QString::fromLatin1(data.toHex())
                                                  : u"b"_s + QString::fromLatin1(data.toHex()));
        }
        seen << cells.join(u'|');
        return true;
    }
    bool endTable() override
    {
        seen << u"E"_s;
        return true;
    }
    void failure(FailureReason reason, std::string_view) override { seen << u"F%1"_s.arg(int(reason)); }
    void done() override { seen << u"D"_s; }
};

Request requestFor(const QStringList& asked)
{
    if (asked.isEmpty())
        return Request::listing();
    std::vector<std::string> names;
    for (const QString& name : asked)
        names.push_back(name.toStdString());
    return Request::dump(std::move(names));
}

} // namespace

class TestAccessFrames : public QObject {
    Q_OBJECT

private slots:
    void framesSurviveAnyChunking();
    void streamsOutOfOrderAreRefused_data();
    void streamsOutOfOrderAreRefused();
};

void TestAccessFrames::framesSurviveAnyChunking()
{
    Stream stream;
    stream.table("T", {"a", "b", "c"}, 2);
    const std::string odd("\0\xff\t\n'\"E\x05", 8);
    std::vector<std::string> values;
    for (int i = 0; i < 2; ++i) {
        values.push_back(odd + std::string(size_t(i) * 70000, 'x'));
        stream.row({{}, {ValueKind::Text, {}}, {ValueKind(1 + i), values.back()}});
    }
    const std::string bytes = stream.endTable().done().writer().bytes();

    QStringList whole;
    for (size_t chunk : {bytes.size(), size_t(1), size_t(2), size_t(5), size_t(4093)}) {
        Recorder recorder;
        FrameReader reader(recorder, Request::dump({"T"}));
        for (size_t at = 0; at < bytes.size(); at += chunk)
            reader.feed(std::string_view(bytes).substr(at, chunk));
        QCOMPARE(reader.state(), State::Done);
        if (whole.isEmpty())
            whole = recorder.seen;
        QCOMPARE(recorder.seen, whole);
    }
    QCOMPARE(whole.size(), 5);
    QCOMPARE(whole[1], u"-||"_s + QString::fromLatin1(QByteArray::fromStdString(odd).toHex()));
    QVERIFY(whole[2].startsWith(u"-||b"_s + QString::fromLatin1(QByteArray::fromStdString(odd).toHex())));

    // A row whose kind marker is none of NULL, text or bytes is no frame of ours.
    std::string broken = bytes;
    broken[broken.find('R') + 5] = 7;
    Recorder recorder;
    FrameReader reader(recorder, Request::dump({"T"}));
    reader.feed(broken);
    QCOMPARE(reader.state(), State::Malformed);
}

void TestAccessFrames::streamsOutOfOrderAreRefused_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("asked"); // the tables of a dump; none for a listing
    QTest::addColumn<State>("ends");
    const QStringList ab{u"A"_s, u"B"_s};
    const QStringList listing;
    const Value x{ValueKind::Text, "x"};
    const auto header = [](char type, std::uint32_t length) {
        return std::string{type, char(length), char(length >> 8), char(length >> 16), char(length >> 24)};
    };

    QTest::newRow("row before any table") << QByteArray(Stream().row({x}).done()) << ab << State::Malformed;
    QTest::newRow("row with too few values")
        << QByteArray(Stream().table("A", {"a", "b"}).row({x})) << ab << State::Malformed;
    QTest::newRow("row with too many values")
        << QByteArray(Stream().table("A", {"a"}).row({x, x})) << ab << State::Malformed;
    QTest::newRow("value of an unknown kind")
        << QByteArray(Stream().table("A", {"a"}).row({{ValueKind(3), "x"}})) << ab << State::Malformed;
    QTest::newRow("value longer than its row")
        << QByteArray(Stream().table("A", {"a"}).frame(FrameType::Row, std::string("\1\xff\0\0\0x", 6))) << ab
        << State::Malformed;
    QTest::newRow("table not asked for") << QByteArray(Stream().table("C", {"a"})) << ab << State::Malformed;
    QTest::newRow("tables in another order") << QByteArray(Stream().table("B", {"a"})) << ab << State::Malformed;
    QTest::newRow("name asked for in another case") << QByteArray(Stream().table("a", {"a"})) << ab << State::Malformed;
    QTest::newRow("a table twice") << QByteArray(Stream().table("A", {"a"}).endTable().table("A", {"a"})) << ab
                                   << State::Malformed;
    QTest::newRow("a table beyond those asked")
        << QByteArray(Stream().table("A", {}).endTable().table("B", {}).endTable().table("A", {})) << ab
        << State::Malformed;
    QTest::newRow("a table inside a table")
        << QByteArray(Stream().table("A", {"a"}).table("B", {"a"})) << ab << State::Malformed;
    QTest::newRow("rows in a listing") << QByteArray(Stream().table("A", {"a"}).row({x})) << listing
                                       << State::Malformed;
    QTest::newRow("EndTable without Table") << QByteArray(Stream().endTable()) << listing << State::Malformed;
    QTest::newRow("EndTable with a payload")
        << QByteArray(Stream().table("A", {}).frame(FrameType::EndTable, "x")) << listing << State::Malformed;
    QTest::newRow("Done inside a table") << QByteArray(Stream().table("A", {"a"}).done()) << listing
                                         << State::Malformed;
    QTest::newRow("Done with a payload") << QByteArray(Stream().frame(FrameType::Done, "x")) << listing
                                         << State::Malformed;
    QTest::newRow("tables missing before Done")
        << QByteArray(Stream().table("A", {"a"}).endTable().done()) << ab << State::Malformed;
    QTest::newRow("two Done") << QByteArray(Stream().done().done()) << listing << State::Malformed;
    QTest::newRow("bytes after Done") << QByteArray(Stream().done().raw(std::string_view("\0", 1))) << listing
                                      << State::Malformed;
    QTest::newRow("bytes after a failure") << QByteArray(Stream().failure(1).raw("D")) << listing << State::Malformed;
    QTest::newRow("failure of no known reason") << QByteArray(Stream().failure(0)) << listing << State::Malformed;
    QTest::newRow("failure of a reason yet to come")
        << QByteArray(Stream().failure(kLastFailureReason + 1)) << listing << State::Malformed;
    QTest::newRow("frame of an unknown type")
        << QByteArray(Stream().frame(FrameType('X'), {})) << listing << State::Malformed;
    QTest::newRow("frame longer than any may be")
        << QByteArray(Stream().raw(header('R', kMaxFrameLength + 1))) << listing << State::Malformed;
    QTest::newRow("column count far beyond its frame")
        << QByteArray(
               Stream().frame(FrameType::Table, std::string("\xff\xff\xff\x7f\1\0\0\0A", 9) + std::string(8, '\0')))
        << ab << State::Malformed;
    QTest::newRow("column count one beyond its frame")
        << QByteArray(
               Stream().frame(FrameType::Table, std::string("\2\0\0\0\1\0\0\0A\0\0\0\0", 13) + std::string(8, '\0')))
        << ab << State::Malformed;
    QTest::newRow("more rows than declared")
        << QByteArray(Stream().table("A", {"a"}, 2).row({x}).row({x}).row({x}).endTable()) << ab << State::ExtraRows;
    QTest::newRow("a row where none was declared")
        << QByteArray(Stream().table("A", {"a"}, 0).row({x})) << ab << State::ExtraRows;
    Stream dropped;
    dropped.table("A", {"a", "b"}).writer().begin(FrameType::Row);
    dropped.writer().value(x);
    dropped.writer().discard();
    QTest::newRow("failure after a row dropped half-built") << QByteArray(dropped.failure(4)) << ab << State::Failed;
}

void TestAccessFrames::streamsOutOfOrderAreRefused()
{
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, asked);
    QFETCH(State, ends);
    for (const qsizetype chunk : {stream.size(), qsizetype(1)}) {
        Recorder recorder;
        FrameReader reader(recorder, requestFor(asked));
        for (qsizetype at = 0; at < stream.size(); at += chunk)
            reader.feed(std::string_view(stream.constData() + at, size_t(std::min(chunk, stream.size() - at))));
        QCOMPARE(reader.state(), ends);
        if (ends == State::ExtraRows) {
            QCOMPARE(reader.table(), std::string("A"));
            QVERIFY(!recorder.seen.contains(u"E"_s));
        }
        QVERIFY2(recorder.seen.count(u"D"_s) <= 1, qPrintable(recorder.seen.join(u' ')));
    }
}

QTEST_GUILESS_MAIN(TestAccessFrames)
#include "tst_accessframes.moc"
