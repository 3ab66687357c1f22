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

} // namespace

// What the reader's frames come to: the list of tables, or rows handed to a sink.
class AccessChildReader::Frames : public access::FrameHandler {
public:
    explicit Frames(LegacyRowSink* sink)
        : m_sink(sink)
    {}

    std::vector<LegacyTable> tables;
    std::optional<LegacyReadFailure> failed;

    bool table(std::string_view name, const std::vector<std::string_view>& columns, std::uint64_t rows) override
    {
        LegacyTable table{fromUtf8(name), {}, qint64(rows)};
        for (std::string_view column : columns)
            table.columns << fromUtf8(column);
        tables.push_back(std::move(table));
        return true;
    }
    bool row(const std::vector<std::optional<std::string_view>>& values) override
    {
        if (!m_sink)
            return true;
        m_row.resize(values.size());
        for (size_t i = 0; i < values.size(); ++i)
            m_row[i] = values[i] ? LegacyValue{LegacyValue::Kind::Text, *values[i]} : LegacyValue{};
        return m_sink->row(int(tables.size()) - 1, m_row);
    }
    bool endTable() override { return true; }
    void failure(FailureReason reason, std::string_view message) override
    {
        const Kind kind = reason == FailureReason::ValueTooLong ? Kind::ValueTooLong : Kind::Unreadable;
        failed = LegacyReadFailure{kind, fromUtf8(message)};
    }
    void done() override {}

private:
    LegacyRowSink* m_sink;
    LegacyRow m_row;
};

AccessChildReader::AccessChildReader(QString readerProgram, int silenceTimeoutMs)
    : m_program(std::move(readerProgram))
    , m_silenceTimeoutMs(silenceTimeoutMs)
{}

QString AccessChildReader::besideProgram()
{
    return QCoreApplication::applicationDirPath() + u"/ondiva-accessreader"_s;
}

std::optional<LegacyReadFailure> AccessChildReader::listTables(const QString& path, std::vector<LegacyTable>& tables)
{
    Frames frames(nullptr);
    if (std::optional<LegacyReadFailure> failed = run({u"list"_s, path}, frames, nullptr))
        return failed;
    tables = std::move(frames.tables);
    return std::nullopt;
}

std::optional<LegacyReadFailure> AccessChildReader::readTables(const QString& path, const QStringList& tables,
                                                               LegacyRowSink& sink)
{
    Frames frames(&sink);
    return run(QStringList{u"dump"_s, path} + tables, frames, &sink);
}

std::optional<LegacyReadFailure> AccessChildReader::run(const QStringList& arguments, Frames& frames,
                                                        LegacyRowSink* sink)
{
    QProcess reader;
    reader.setProgram(m_program);
    reader.setArguments(arguments);
    // libmdb's warnings are not ours to show, and an unread pipe could stall it.
    reader.setStandardErrorFile(QProcess::nullDevice());
    reader.setStandardInputFile(QProcess::nullDevice());
    reader.start(QIODevice::ReadOnly);
    if (!reader.waitForStarted())
        return LegacyReadFailure{Kind::ReaderMissing, u"%1: %2"_s.arg(m_program, reader.errorString())};

    const auto stop = [&reader](LegacyReadFailure failure) {
        reader.kill();
        reader.waitForFinished();
        return failure;
    };

    access::FrameReader decoder(frames);
    QElapsedTimer silence;
    silence.start();
    while (decoder.state() == access::FrameReader::State::Reading) {
        if (reader.bytesAvailable() == 0 && !reader.waitForReadyRead(kPollMs)) {
            if (reader.state() == QProcess::NotRunning && reader.bytesAvailable() == 0)
                break;
            if (sink && !sink->waiting())
                return stop({Kind::Cancelled, {}});
            if (silence.hasExpired(m_silenceTimeoutMs))
                return stop({Kind::TimedOut, u"no answer for %1 ms"_s.arg(m_silenceTimeoutMs)});
            continue;
        }
        const QByteArray bytes = reader.readAll();
        silence.restart();
        decoder.feed(std::string_view(bytes.constData(), size_t(bytes.size())));
    }

    switch (decoder.state()) {
    case access::FrameReader::State::Done:
        reader.waitForFinished(m_silenceTimeoutMs);
        return std::nullopt;
    case access::FrameReader::State::Failed:
        reader.waitForFinished(m_silenceTimeoutMs);
        return frames.failed;
    case access::FrameReader::State::Stopped:
        return stop({Kind::Cancelled, {}});
    case access::FrameReader::State::Malformed:
        return stop({Kind::Crashed, u"the reader sent a malformed stream"_s});
    case access::FrameReader::State::Reading:
        break;
    }
    // The reader ended without saying it was done.
    reader.waitForFinished();
    if (reader.exitStatus() == QProcess::CrashExit)
        return LegacyReadFailure{Kind::Crashed, u"the reader ended abnormally (%1)"_s.arg(reader.errorString())};
    return LegacyReadFailure{Kind::Crashed, u"the reader ended early with status %1"_s.arg(reader.exitCode())};
}

} // namespace ondiva
