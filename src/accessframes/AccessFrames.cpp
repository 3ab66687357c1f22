#include "AccessFrames.h"

#include <cstring>

namespace ondiva::access {
namespace {

// Reads little-endian numbers and length-prefixed texts off a payload.
class Cursor {
public:
    explicit Cursor(std::string_view bytes)
        : m_bytes(bytes)
    {}

    bool u8(std::uint8_t& value)
    {
        if (m_at + 1 > m_bytes.size())
            return false;
        value = std::uint8_t(m_bytes[m_at++]);
        return true;
    }
    template <class T>
    bool number(T& value)
    {
        if (m_at + sizeof(T) > m_bytes.size())
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
        if (!number(length) || length > m_bytes.size() - m_at)
            return false;
        value = m_bytes.substr(m_at, length);
        m_at += length;
        return true;
    }
    bool atEnd() const { return m_at == m_bytes.size(); }

private:
    std::string_view m_bytes;
    size_t m_at = 0;
};

} // namespace

void FrameReader::feed(std::string_view bytes)
{
    if (m_state != State::Reading)
        return;
    // Whole frames are decoded where they arrive; only a frame cut by the end
    // of the chunk is kept for the next one.
    std::string_view input = bytes;
    if (!m_pending.empty()) {
        m_pending.append(bytes);
        input = m_pending;
    }
    size_t at = 0;
    while (m_state == State::Reading && input.size() - at >= 5) {
        std::uint32_t length = 0;
        for (int i = 0; i < 4; ++i)
            length |= std::uint32_t(std::uint8_t(input[at + 1 + size_t(i)])) << (8 * i);
        if (length > kMaxFrameLength) {
            m_state = State::Malformed;
            return;
        }
        if (input.size() - at - 5 < length)
            break;
        if (!take(FrameType(input[at]), input.substr(at + 5, length)) && m_state == State::Reading)
            m_state = State::Malformed;
        at += 5 + length;
    }
    if (m_state != State::Reading) {
        m_pending.clear();
        return;
    }
    std::string rest(input.substr(at));
    m_pending.swap(rest);
}

bool FrameReader::take(FrameType type, std::string_view payload)
{
    Cursor cursor(payload);
    switch (type) {
    case FrameType::Table: {
        std::uint32_t count = 0;
        std::string_view name;
        if (!cursor.number(count) || !cursor.text(name) || count > payload.size())
            return false;
        m_names.resize(count);
        for (std::string_view& column : m_names) {
            if (!cursor.text(column))
                return false;
        }
        std::uint64_t rows = 0;
        if (!cursor.number(rows) || !cursor.atEnd())
            return false;
        m_columns = count;
        if (!m_handler.table(name, m_names, rows))
            m_state = State::Stopped;
        return true;
    }
    case FrameType::Row: {
        m_values.resize(m_columns);
        for (std::optional<std::string_view>& value : m_values) {
            std::uint8_t present = 0;
            if (!cursor.u8(present) || present > 1)
                return false;
            if (present == 0) {
                value.reset();
                continue;
            }
            std::string_view text;
            if (!cursor.text(text))
                return false;
            value = text;
        }
        if (!cursor.atEnd())
            return false;
        if (!m_handler.row(m_values))
            m_state = State::Stopped;
        return true;
    }
    case FrameType::EndTable:
        if (!cursor.atEnd())
            return false;
        if (!m_handler.endTable())
            m_state = State::Stopped;
        return true;
    case FrameType::Failure: {
        std::uint8_t reason = 0;
        std::string_view message;
        if (!cursor.u8(reason) || !cursor.text(message))
            return false;
        m_state = State::Failed;
        m_handler.failure(FailureReason(reason), message);
        return true;
    }
    case FrameType::Done:
        m_state = State::Done;
        m_handler.done();
        return true;
    }
    return false;
}

} // namespace ondiva::access
