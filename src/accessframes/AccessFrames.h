#pragma once

// The stream in which the Access reader process hands a legacy catalogue to
// the program: a sequence of frames, each a type byte, a 32-bit little-endian
// payload length and the payload. Texts inside a payload carry their own
// 32-bit length, so a value may hold any byte at all.
//
//   'T' a table begins: its name, its column names and its row count
//   'R' one row: per column a byte (0 NULL, 1 text) and, for text, the text
//   'E' the table ends
//   'F' the reader failed: a reason byte and a technical message
//   'D' the reader is done

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ondiva::access {

enum class FrameType : char { Table = 'T', Row = 'R', EndTable = 'E', Failure = 'F', Done = 'D' };

// Why the reader process failed, as it tells the program.
enum class FailureReason : std::uint8_t {
    CannotOpen = 1,   // not an Access file libmdb can open
    NoCatalog = 2,    // the file's list of tables cannot be read
    NoSuchTable = 3,  // a table asked for is not there
    ValueTooLong = 4, // a value longer than the reader can carry
    Usage = 5,        // the reader was started wrongly
};

inline constexpr std::uint32_t kMaxFrameLength = 256u << 20;

// Builds frames into a byte string (the reader process's side).
class FrameWriter {
public:
    void begin(FrameType type)
    {
        m_start = m_out.size();
        m_out.push_back(char(type));
        m_out.append(4, '\0');
    }
    void byte(std::uint8_t value) { m_out.push_back(char(value)); }
    void u32(std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            m_out.push_back(char((value >> (8 * i)) & 0xFF));
    }
    void u64(std::uint64_t value)
    {
        for (int i = 0; i < 8; ++i)
            m_out.push_back(char((value >> (8 * i)) & 0xFF));
    }
    void text(std::string_view value)
    {
        u32(std::uint32_t(value.size()));
        m_out.append(value);
    }
    void end()
    {
        const auto length = std::uint32_t(m_out.size() - m_start - 5);
        for (int i = 0; i < 4; ++i)
            m_out[m_start + 1 + size_t(i)] = char((length >> (8 * i)) & 0xFF);
    }
    std::string& bytes() { return m_out; }

private:
    std::string m_out;
    size_t m_start = 0;
};

// Receives what a FrameReader decodes. Views are valid only during the call.
class FrameHandler {
public:
    virtual ~FrameHandler() = default;
    virtual bool table(std::string_view name, const std::vector<std::string_view>& columns, std::uint64_t rows) = 0;
    virtual bool row(const std::vector<std::optional<std::string_view>>& values) = 0;
    virtual bool endTable() = 0;
    virtual void failure(FailureReason reason, std::string_view message) = 0;
    virtual void done() = 0;
};

// Decodes the stream as it arrives, in chunks of any size (the program's side).
class FrameReader {
public:
    enum class State { Reading, Done, Failed, Malformed, Stopped };

    explicit FrameReader(FrameHandler& handler)
        : m_handler(handler)
    {}

    void feed(std::string_view bytes);
    State state() const { return m_state; }

private:
    // Decodes one frame's payload; false when it is malformed.
    bool take(FrameType type, std::string_view payload);

    FrameHandler& m_handler;
    State m_state = State::Reading;
    std::string m_pending;
    size_t m_columns = 0; // of the table being read
    std::vector<std::string_view> m_names;
    std::vector<std::optional<std::string_view>> m_values;
};

} // namespace ondiva::access
