#include "AccessFrames.h"

namespace ondiva::access {
namespace {

constexpr size_t kHeaderLength = 5;

// Reads little-endian numbers and length-prefixed texts off a payload.
class Cursor {
public:
    explicit Cursor(std::string_view bytes)
        : m_bytes(bytes)
    {}

    bool u8(std::uint8_t& value)
    {
        if (remaining() < 1)
            return false;
        value = std::uint8_t(m_bytes[m_at++]);
        return true;
    }
    template <class T>
    bool number(T& value)
    {
        if (remaining() < sizeof(T))
            return false;
        value = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            value |= T(std::uint8_t(m_bytes[m_at + i])) << (8 * i);
        m_at += sizeof(T);
        return true;
    }
    bool text(std::string_view& value)
    {
        std::uint32_t length = 0;
        if (!number(length) || length > remaining())
            return false;
        value = m_bytes.substr(m_at, length);
        m_at += length;
        return true;
    }
    size_t remaining() const { return m_bytes.size() - m_at; }
    bool atEnd() const { return m_at == m_bytes.size(); }

private:
    std::string_view m_bytes;
    size_t m_at = 0;
};

} // namespace

FrameReader::FrameReader(FrameHandler& handler, Request request)
    : m_handler(handler)
    , m_request(std::move(request))
{}

void FrameReader::feed(std::string_view bytes)
{
    if (bytes.empty())
        return;
    // Nothing at all may follow the frame that ended the stream.
    if (m_state == State::Done || m_state == State::Failed)
        m_state = State::Malformed;
    if (m_state != State::Reading)
        return;
    // Whole frames are decoded where they arrive; only a frame cut by the end
    // of the chunk is kept for the next one.
    const bool pending = !m_pending.empty();
    if (pending)
        m_pending.append(bytes);
    const std::string_view input = pending ? std::string_view(m_pending) : bytes;
    size_t at = 0;
    while (m_state == State::Reading && input.size() - at >= kHeaderLength) {
        std::uint32_t length = 0;
        for (size_t i = 0; i < 4; ++i)
            length |= std::uint32_t(std::uint8_t(input[at + 1 + i])) << (8 * i);
        if (length > kMaxFrameLength) {
            m_state = State::Malformed;
            break;
        }
        if (input.size() - at - kHeaderLength < length)
            break;
        const auto type = FrameType(input[at]);
        const std::string_view payload = input.substr(at + kHeaderLength, length);
        at += kHeaderLength + length;
        if (!take(type, payload) && m_state == State::Reading)
            m_state = State::Malformed;
    }
    if ((m_state == State::Done || m_state == State::Failed) && at < input.size())
        m_state = State::Malformed;
    if (m_state != State::Reading)
        std::string().swap(m_pending);
    else if (pending)
        m_pending.erase(0, at); // only what is left moves, never the whole of a long frame again
    else
        m_pending.assign(input.substr(at));
}

bool FrameReader::take(FrameType type, std::string_view payload)
{
    switch (type) {
    case FrameType::Table:
        return takeTable(payload);
    case FrameType::Row:
        return takeRow(payload);
    case FrameType::EndTable:
        if (!m_inTable || !payload.empty())
            return false;
        m_inTable = false;
        if (!m_handler.endTable())
            m_state = State::Stopped;
        return true;
    case FrameType::Failure: {
        Cursor cursor(payload);
        std::uint8_t reason = 0;
        std::string_view message;
        if (!cursor.u8(reason) || reason == 0 || reason > kLastFailureReason || !cursor.text(message) ||
            !cursor.atEnd())
            return false;
        m_state = State::Failed;
        m_handler.failure(FailureReason(reason), message);
        return true;
    }
    case FrameType::Done:
        if (m_inTable || !payload.empty())
            return false;
        if (!m_request.isListing() && m_tables != m_request.tables().size())
            return false;
        m_state = State::Done;
        m_handler.done();
        return true;
    }
    return false;
}

bool FrameReader::takeTable(std::string_view payload)
{
    const std::vector<std::string>& asked = m_request.tables();
    if (m_inTable || (!m_request.isListing() && m_tables >= asked.size()))
        return false;
    Cursor cursor(payload);
    std::uint32_t count = 0;
    std::string_view name;
    if (!cursor.number(count) || !cursor.text(name))
        return false;
    // Each column name takes at least its 4-byte length and the row count 8
    // bytes: a count the payload cannot hold is refused before anything is
    // allocated for it.
    if (cursor.remaining() < 8 || count > (cursor.remaining() - 8) / 4)
        return false;
    if (!m_request.isListing() && name != asked[m_tables])
        return false;
    m_names.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string_view column;
        if (!cursor.text(column))
            return false;
        m_names.push_back(column);
    }
    std::uint64_t rows = 0;
    if (!cursor.number(rows) || !cursor.atEnd())
        return false;
    m_inTable = true;
    ++m_tables;
    m_table.assign(name);
    m_columns = count;
    m_declared = rows;
    m_rows = 0;
    if (!m_handler.table(name, m_names, rows))
        m_state = State::Stopped;
    return true;
}

bool FrameReader::takeRow(std::string_view payload)
{
    if (!m_inTable || m_request.isListing())
        return false;
    Cursor cursor(payload);
    m_values.clear();
    for (size_t i = 0; i < m_columns; ++i) {
        std::uint8_t kind = 0;
        if (!cursor.u8(kind) || kind > std::uint8_t(ValueKind::Bytes))
            return false;
        Value value{ValueKind(kind), {}};
        if (value.kind != ValueKind::Null && !cursor.text(value.data))
            return false;
        m_values.push_back(value);
    }
    if (!cursor.atEnd())
        return false;
    // A table that goes on past its declared count (a page chain that loops
    // in a damaged file) is stopped at its first extra row.
    if (m_rows == m_declared) {
        m_state = State::ExtraRows;
        return true;
    }
    ++m_rows;
    if (!m_handler.row(m_values))
        m_state = State::Stopped;
    return true;
}

} // namespace ondiva::access
