#include "AccessChildReader.h"

#include "accessframes/AccessFrames.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

using namespace Qt::Literals::StringLiterals;

namespace ondiva {

using access::FailureReason;
using Kind = LegacyReadFailure::Kind;

namespace {

constexpr int kPollMs = 50;

QString fromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

LegacyValue::Kind kindOf(access::ValueKind kind)
{
    switch (kind) {
    case access::ValueKind::Null:
        break;
    case access::ValueKind::Text:
        return LegacyValue::Kind::Text;
    case access::ValueKind::Bytes:
        return LegacyValue::Kind::Bytes;
    }
    return LegacyValue::Kind::Null;
}

// What a failure the reader reported means to the program.
LegacyReadFailure reported(FailureReason reason, const QString& message, const QString& table)
{
    switch (reason) {
    case FailureReason::CannotOpen:
    case FailureReason::NoCatalog:
    case FailureReason::NoSuchTable:
        break;
    case FailureReason::BadValue:
        return {Kind::Unreadable, message, table};
    case FailureReason::ValueTooLong:
        return {Kind::ValueTooLong, message, table};
    case FailureReason::TooManyRows:
        return {Kind::ExtraRows, message, table};
    case FailureReason::NoDriver:
        return {Kind::DriverMissing, message};
    case FailureReason::Usage:
        // The program and its reader disagree on how to talk: no fault of the file.
        return {Kind::BadStream, message};
    }
    return {Kind::Unreadable, message};
}

// A reader that ends before sending a single frame, yet did not die of a fault
// of its own, never ran: our readers answer every request, if only with a
// failure. Windows' loader ends a program it cannot load (a DLL missing, an
// image of the wrong kind) with its own status, and a 64-bit-only Wine ends a
// 32-bit program with 0.
bool couldNotRun(const QProcess& reader)
{
    constexpr quint32 kDllNotFound = 0xC0000135;        // STATUS_DLL_NOT_FOUND
    constexpr quint32 kInvalidImageFormat = 0xC000007B; // STATUS_INVALID_IMAGE_FORMAT
    constexpr quint32 kEntryPointNotFound = 0xC0000139; // STATUS_ENTRYPOINT_NOT_FOUND
    const auto status = quint32(reader.exitCode());
    if (reader.exitStatus() == QProcess::NormalExit && status == 0)
        return true;
    return status == kDllNotFound || status == kInvalidImageFormat || status == kEntryPointNotFound;
}

} // namespace

// What the reader's frames come to: the list of tables, or rows handed to a sink.
class AccessChildReader::Frames : public access::FrameHandler {
public:
    explicit Frames(LegacyRowSink* sink)
        : m_sink(sink)
    {}

    std::vector<LegacyTable> tables;
    FailureReason reason = FailureReason::CannotOpen;
    QString message;

    LegacyRowSink* sink() const { return m_sink; }

    bool table(std::string_view name, const std::vector<std::string_view>& columns, std::uint64_t rows) override
    {
        LegacyTable table{fromUtf8(name), {}, qint64(rows)};
        for (std::string_view column : columns)
            table.columns << fromUtf8(column);
        tables.push_back(std::move(table));
        return true;
    }
    bool row(const std::vector<access::Value>& values) override
    {
        if (!m_sink)
            return true;
        m_row.resize(values.size());
        for (size_t i = 0; i < values.size(); ++i)
            m_row[i] = LegacyValue{kindOf(values[i].kind), values[i].data};
        // The decoder lets through only the tables asked for, in their order.
        return m_sink->row(int(tables.size()) - 1, m_row);
    }
    bool endTable() override { return true; }
    void failure(FailureReason failed, std::string_view text) override
    {
        reason = failed;
        message = fromUtf8(text);
    }
    void done() override {}

private:
    LegacyRowSink* m_sink;
    LegacyRow m_row;
};

AccessChildReader::AccessChildReader(QStringList readerPrograms, int silenceTimeoutMs)
    : m_programs(std::move(readerPrograms))
    , m_silenceTimeoutMs(silenceTimeoutMs)
{}

QStringList AccessChildReader::besideProgram()
{
    const QString folder = QCoreApplication::applicationDirPath();
#ifdef Q_OS_WIN
    // Windows' own Access driver exists for 32-bit programs only; the Access
    // Database Engine may bring a 64-bit one.
    return {folder + u"/ondiva-accessreader.exe"_s, folder + u"/ondiva-accessreader64.exe"_s};
#else
    return {folder + u"/ondiva-accessreader"_s};
#endif
}

std::optional<LegacyReadFailure> AccessChildReader::listTables(const QString& path, std::vector<LegacyTable>& tables,
                                                               LegacyReadWatch& watch)
{
    std::optional<LegacyReadFailure> failed;
    for (m_chosen = 0; m_chosen < m_programs.size(); ++m_chosen) {
        Frames frames(nullptr);
        std::optional<LegacyReadFailure> failure = run(m_programs[m_chosen], path, nullptr, frames, watch);
        if (!failure) {
            tables = std::move(frames.tables);
            return std::nullopt;
        }
        if (failure->kind != Kind::ReaderMissing && failure->kind != Kind::DriverMissing)
            return failure; // this reader runs and has read the file: its word stands
        // A missing driver says what to install: it outweighs a reader that would not start.
        if (!failed || failure->kind == Kind::DriverMissing)
            failed = std::move(failure);
    }
    m_chosen = 0;
    return failed ? failed : LegacyReadFailure{Kind::ReaderMissing, u"no reader program"_s};
}

std::optional<LegacyReadFailure> AccessChildReader::readTables(const QString& path, const QStringList& tables,
                                                               LegacyRowSink& sink)
{
    if (m_programs.isEmpty())
        return LegacyReadFailure{Kind::ReaderMissing, u"no reader program"_s};
    Frames frames(&sink);
    return run(m_programs[m_chosen], path, &tables, frames, sink);
}

namespace {

// One run of a reader program: started, its stream read until it ends, the
// reader then waited for, and what it all came to. Every wait is bounded by
// the silence time-out, and the watch is asked every kPollMs whether the
// reading is still wanted. Signals of a process waited on without an event
// loop arrive right away, in this thread.
class ReaderRun {
public:
    ReaderRun(QString program, int silenceTimeoutMs, LegacyReadWatch& watch)
        : m_program(std::move(program))
        , m_silenceTimeoutMs(silenceTimeoutMs)
        , m_watch(watch)
    {
        m_sinceAsked.start();
    }

    std::optional<LegacyReadFailure> start(const QStringList& arguments);
    // Feeds the reader's output to the decoder until the stream ends or the reader does.
    std::optional<LegacyReadFailure> readStream(access::FrameReader& decoder);
    // Once the stream has ended, waits for the reader to end; whatever it still
    // sends meanwhile breaks the protocol.
    std::optional<LegacyReadFailure> awaitEnd(access::FrameReader& decoder);
    // What the stream came to; readerSaid is the reader's own failure, when it sent one.
    std::optional<LegacyReadFailure> verdict(const access::FrameReader& decoder, LegacyReadFailure readerSaid,
                                             const QString& failedTable, qint64 declaredRows);

private:
    LegacyReadFailure stop(LegacyReadFailure failure)
    {
        m_reader.kill();
        m_reader.waitForFinished();
        return failure;
    }
    bool stillWanted()
    {
        if (m_wanted && m_sinceAsked.hasExpired(kPollMs)) {
            m_wanted = m_watch.waiting();
            m_sinceAsked.restart();
        }
        return m_wanted;
    }
    void feed(access::FrameReader& decoder)
    {
        const QByteArray bytes = m_reader.readAll();
        decoder.feed(std::string_view(bytes.constData(), size_t(bytes.size())));
    }
    // The reader ended without saying it was done: why.
    LegacyReadFailure endedEarly();

    QString m_program;
    int m_silenceTimeoutMs;
    LegacyReadWatch& m_watch;
    QProcess m_reader;
    QElapsedTimer m_sinceAsked;
    QElapsedTimer m_silence;
    bool m_wanted = true;
    bool m_readFailed = false;
    bool m_heard = false;
};

using State = access::FrameReader::State;

std::optional<LegacyReadFailure> ReaderRun::start(const QStringList& arguments)
{
    m_reader.setProgram(m_program);
    m_reader.setArguments(arguments);
    // libmdb's warnings are not ours to show, and an unread pipe could stall it.
    m_reader.setStandardErrorFile(QProcess::nullDevice());
    m_reader.setStandardInputFile(QProcess::nullDevice());
    QObject::connect(&m_reader, &QProcess::errorOccurred, [this](QProcess::ProcessError error) {
        if (error != QProcess::ReadError)
            return;
        // Qt's waits try a pipe that fails again and again for as long as the
        // reader lives, and a reader whose output is no longer read never ends
        // by itself: ending it ends them.
        m_readFailed = true;
        m_reader.kill();
    });
    m_reader.start(QIODevice::ReadOnly);
    if (!m_reader.waitForStarted())
        return LegacyReadFailure{Kind::ReaderMissing, u"%1: %2"_s.arg(m_program, m_reader.errorString())};
    return std::nullopt;
}

std::optional<LegacyReadFailure> ReaderRun::readStream(access::FrameReader& decoder)
{
    m_silence.start();
    while (decoder.state() == State::Reading && !m_readFailed) {
        if (!stillWanted())
            return stop({Kind::Cancelled, {}});
        if (m_reader.bytesAvailable() == 0 && !m_reader.waitForReadyRead(kPollMs)) {
            if (m_reader.state() == QProcess::NotRunning && m_reader.bytesAvailable() == 0)
                break;
            if (m_silence.hasExpired(m_silenceTimeoutMs))
                return stop({Kind::TimedOut, u"no answer for %1 ms"_s.arg(m_silenceTimeoutMs)});
            continue;
        }
        m_silence.restart();
        m_heard = true;
        feed(decoder);
    }
    if (m_readFailed && decoder.state() == State::Reading)
        return stop({Kind::PipeFailed, u"the reader's output could not be read"_s});
    return std::nullopt;
}

std::optional<LegacyReadFailure> ReaderRun::awaitEnd(access::FrameReader& decoder)
{
    if (decoder.state() != State::Done && decoder.state() != State::Failed)
        return std::nullopt;
    m_silence.restart();
    while (m_reader.state() != QProcess::NotRunning) {
        if (!stillWanted())
            return stop({Kind::Cancelled, {}});
        if (m_silence.hasExpired(m_silenceTimeoutMs)) {
            stop({});
            break;
        }
        m_reader.waitForFinished(kPollMs);
    }
    feed(decoder);
    return std::nullopt;
}

std::optional<LegacyReadFailure> ReaderRun::verdict(const access::FrameReader& decoder, LegacyReadFailure readerSaid,
                                                    const QString& failedTable, qint64 declaredRows)
{
    switch (decoder.state()) {
    case State::Done:
        return std::nullopt;
    case State::Failed:
        return readerSaid;
    case State::ExtraRows:
        return stop({Kind::ExtraRows,
                     u"table %1 gives more rows than the %2 it declares"_s.arg(failedTable,
                                                                                QString::number(declaredRows)),
                     failedTable});
    case State::Stopped:
        return stop({Kind::Cancelled, {}});
    case State::Malformed:
        return stop({Kind::BadStream, u"the reader sent a malformed stream"_s});
    case State::Reading:
        break;
    }
    return endedEarly();
}

LegacyReadFailure ReaderRun::endedEarly()
{
    m_reader.waitForFinished();
    if (!m_heard && couldNotRun(m_reader))
        return {Kind::ReaderMissing, u"%1 ended at once with status 0x%2, sending nothing: it cannot run here"_s.arg(
                                         m_program, QString::number(quint32(m_reader.exitCode()), 16))};
    if (m_reader.exitStatus() == QProcess::CrashExit)
        return {Kind::Crashed, u"the reader ended abnormally (%1)"_s.arg(m_reader.errorString())};
    if (m_reader.exitCode() == access::kExitPipeFailed)
        return {Kind::PipeFailed, u"the reader could not write its output"_s};
    return {Kind::Crashed, u"the reader ended early with status %1"_s.arg(m_reader.exitCode())};
}

} // namespace

std::optional<LegacyReadFailure> AccessChildReader::run(const QString& program, const QString& path,
                                                        const QStringList* tables, Frames& frames,
                                                        LegacyReadWatch& watch)
{
    QStringList arguments{tables ? u"dump"_s : u"list"_s, path};
    std::vector<std::string> names;
    if (tables) {
        arguments += *tables;
        for (const QString& table : *tables)
            names.push_back(table.toStdString());
    }
    access::FrameReader decoder(frames, tables ? access::Request::dump(std::move(names)) : access::Request::listing());
    ReaderRun reader(program, m_silenceTimeoutMs, watch);
    if (auto failed = reader.start(arguments))
        return failed;
    if (auto failed = reader.readStream(decoder))
        return failed;
    if (auto failed = reader.awaitEnd(decoder))
        return failed;
    const QString table = fromUtf8(decoder.table());
    return reader.verdict(decoder, reported(frames.reason, frames.message, table), table,
                          frames.tables.empty() ? 0 : frames.tables.back().rows);
}

} // namespace ondiva
