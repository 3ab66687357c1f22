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

std::optional<LegacyReadFailure> AccessChildReader::run(const QString& program, const QString& path,
                                                        const QStringList* tables, Frames& frames,
                                                        LegacyReadWatch& watch)
{
    std::vector<std::string> names;
    QStringList arguments{tables ? u"dump"_s : u"list"_s, path};
    if (tables) {
        arguments += *tables;
        for (const QString& table : *tables)
            names.push_back(table.toStdString());
    }
    QProcess reader;
    reader.setProgram(program);
    reader.setArguments(arguments);
    // libmdb's warnings are not ours to show, and an unread pipe could stall it.
    reader.setStandardErrorFile(QProcess::nullDevice());
    reader.setStandardInputFile(QProcess::nullDevice());
    // Signals of a process waited on without an event loop arrive right away, in this thread.
    bool readFailed = false;
    QObject::connect(&reader, &QProcess::errorOccurred, [&readFailed, &reader](QProcess::ProcessError error) {
        if (error != QProcess::ReadError)
            return;
        // Qt's waits try a pipe that fails again and again for as long as the
        // reader lives, and a reader whose output is no longer read never ends
        // by itself: ending it ends them.
        readFailed = true;
        reader.kill();
    });
    reader.start(QIODevice::ReadOnly);
    if (!reader.waitForStarted())
        return LegacyReadFailure{Kind::ReaderMissing, u"%1: %2"_s.arg(program, reader.errorString())};

    const auto stop = [&reader](LegacyReadFailure failure) {
        reader.kill();
        reader.waitForFinished();
        return failure;
    };
    // Whether the reading is still wanted: asked every kPollMs, whether rows
    // arrive, nothing does, or the reader is ending.
    QElapsedTimer sinceAsked;
    sinceAsked.start();
    bool wanted = true;
    const auto stillWanted = [&] {
        if (wanted && sinceAsked.hasExpired(kPollMs)) {
            wanted = watch.waiting();
            sinceAsked.restart();
        }
        return wanted;
    };

    access::FrameReader decoder(frames, tables ? access::Request::dump(std::move(names)) : access::Request::listing());
    const auto feed = [&decoder](const QByteArray& bytes) {
        decoder.feed(std::string_view(bytes.constData(), size_t(bytes.size())));
    };
    using State = access::FrameReader::State;
    QElapsedTimer silence;
    silence.start();
    bool heard = false;
    while (decoder.state() == State::Reading && !readFailed) {
        if (!stillWanted())
            return stop({Kind::Cancelled, {}});
        if (reader.bytesAvailable() == 0 && !reader.waitForReadyRead(kPollMs)) {
            if (reader.state() == QProcess::NotRunning && reader.bytesAvailable() == 0)
                break;
            if (silence.hasExpired(m_silenceTimeoutMs))
                return stop({Kind::TimedOut, u"no answer for %1 ms"_s.arg(m_silenceTimeoutMs)});
            continue;
        }
        silence.restart();
        heard = true;
        feed(reader.readAll());
    }
    if (readFailed && decoder.state() == State::Reading)
        return stop({Kind::PipeFailed, u"the reader's output could not be read"_s});
    if (decoder.state() == State::Done || decoder.state() == State::Failed) {
        // The stream has ended: whatever the reader still sends breaks the protocol.
        silence.restart();
        while (reader.state() != QProcess::NotRunning) {
            if (!stillWanted())
                return stop({Kind::Cancelled, {}});
            if (silence.hasExpired(m_silenceTimeoutMs)) {
                stop({});
                break;
            }
            reader.waitForFinished(kPollMs);
        }
        feed(reader.readAll());
    }
    switch (decoder.state()) {
    case State::Done:
        return std::nullopt;
    case State::Failed:
        return reported(frames.reason, frames.message, fromUtf8(decoder.table()));
    case State::ExtraRows:
        return stop({Kind::ExtraRows,
                     u"table %1 gives more rows than the %2 it declares"_s.arg(
                         fromUtf8(decoder.table()), QString::number(frames.tables.back().rows)),
                     fromUtf8(decoder.table())});
    case State::Stopped:
        return stop({Kind::Cancelled, {}});
    case State::Malformed:
        return stop({Kind::BadStream, u"the reader sent a malformed stream"_s});
    case State::Reading:
        break;
    }
    // The reader ended without saying it was done.
    reader.waitForFinished();
    if (!heard && couldNotRun(reader))
        return LegacyReadFailure{Kind::ReaderMissing,
                                 u"%1 ended at once with status 0x%2, sending nothing: it cannot run here"_s.arg(
                                     program, QString::number(quint32(reader.exitCode()), 16))};
    if (reader.exitStatus() == QProcess::CrashExit)
        return LegacyReadFailure{Kind::Crashed, u"the reader ended abnormally (%1)"_s.arg(reader.errorString())};
    if (reader.exitCode() == access::kExitPipeFailed)
        return LegacyReadFailure{Kind::PipeFailed, u"the reader could not write its output"_s};
    return LegacyReadFailure{Kind::Crashed, u"the reader ended early with status %1"_s.arg(reader.exitCode())};
}

} // namespace ondiva
