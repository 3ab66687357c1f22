#pragma once

// The stream in which the Access reader process hands a legacy catalogue to
// the program: a sequence of frames, each a type byte, a 32-bit little-endian
// payload length and the payload. Texts inside a payload carry their own
// 32-bit length, so a value may hold any byte at all.
//
//   'T' a table begins: its column count, its name, its column names and its row count
//   'R' one row: per column a kind byte (0 NULL, 1 text in UTF-8, 2 raw bytes) and, unless NULL, the value
//   'E' the table ends
//   'F' the reader failed: a reason byte and a technical message
//   'D' the reader is done
//
// Which frames may follow which depends on what the reader was asked for. A
// listing: any number of tables, each 'T' directly followed by its 'E'. A dump
// of named tables: exactly those tables, in the order asked, each once, each
// 'T' followed by at most its declared number of rows and then its 'E'. Both
// end with a single 'D' after which nothing at all may come; an 'F' may come
// instead of any frame before the 'D', and likewise ends the stream.
//
// The reader process ends with kExitDone after 'D', kExitFailed after 'F', and
// kExitPipeFailed when its standard output could not be written.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
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
    TooManyRows = 6,  // the table being read gives more rows than its definition declares (damaged)
    BadValue = 7,     // a value's stored bytes cannot be what its column's type says (damaged)
    NoDriver = 8,     // the system has no driver that reads Access files
};
inline constexpr std::uint8_t kLastFailureReason = 8;

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitPipeFailed = 3;

inline constexpr std::uint32_t kMaxFrameLength = 256u << 20;
// The longest value a reader sends: a longer one is refused, never cut short.
inline constexpr std::size_t kMaxValueLength = 256u << 20;

enum class ValueKind : std::uint8_t { Null = 0, Text = 1, Bytes = 2 };

// One value of a row; data is empty for NULL.
struct Value {
    ValueKind kind = ValueKind::Null;
    std::string_view data;
};

// Builds frames into a byte string (the reader process's side).
class FrameWriter {
public:
    void begin(FrameType type)
    {
        m_start = m_out.size();
        m_open = true;
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
    void value(Value value)
    {
        byte(std::uint8_t(value.kind));
        if (value.kind != ValueKind::Null)
            text(value.data);
    }
    // The payload written so far into the frame begun last.
    size_t payloadLength() const { return m_open ? m_out.size() - m_start - 5 : 0; }
    void end()
    {
        const auto length = std::uint32_t(payloadLength());
        for (int i = 0; i < 4; ++i)
            m_out[m_start + 1 + size_t(i)] = char((length >> (8 * i)) & 0xFF);
        m_open = false;
    }
    // Drops the frame begun and not yet ended, so that the next frame follows whole frames only.
    void discard()
    {
        if (m_open)
            m_out.resize(m_start);
        m_open = false;
    }
    std::string& bytes() { return m_out; }

private:
    std::string m_out;
    size_t m_start = 0;
    bool m_open = false;
};

// Receives what a FrameReader decodes, only ever in an order the stream may
// have. Views are valid only during the call; false stops the decoding.
class FrameHandler {
public:
    virtual ~FrameHandler() = default;
    virtual bool table(std::string_view name, const std::vector<std::string_view>& columns, std::uint64_t rows) = 0;
    // A row of the table begun last, a value for each of its columns.
    virtual bool row(const std::vector<Value>& values) = 0;
    virtual bool endTable() = 0;
    virtual void failure(FailureReason reason, std::string_view message) = 0;
    virtual void done() = 0;
};

// What the reader process was asked for, which decides the frames it may send.
class Request {
public:
    static Request listing() { return Request(true, {}); }
    static Request dump(std::vector<std::string> tables) { return Request(false, std::move(tables)); }

    bool isListing() const { return m_listing; }
    const std::vector<std::string>& tables() const { return m_tables; }

private:
    Request(bool listing, std::vector<std::string> tables)
        : m_listing(listing)
        , m_tables(std::move(tables))
    {}

    bool m_listing;
    std::vector<std::string> m_tables;
};

// Decodes the stream as it arrives, in chunks of any size (the program's
// side). It trusts nothing: a frame out of its place ends the decoding as
// Malformed, and it never allocates much more than the bytes it was fed.
class FrameReader {
public:
    enum class State {
        Reading,   // more frames are due
        Done,      // the stream ended as it should
        Failed,    // the reader sent a failure (handed to FrameHandler::failure)
        ExtraRows, // the table being read sent a row beyond the count it declared (see table())
        Malformed, // the stream broke the protocol
        Stopped,   // the handler asked to stop
    };

    FrameReader(FrameHandler& handler, Request request);

    void feed(std::string_view bytes);
    State state() const { return m_state; }
    // The name of the table being read, or of the last one read.
    const std::string& table() const { return m_table; }

private:
    // Each decodes one frame's payload; false when the frame is malformed or out of its place.
    bool take(FrameType type, std::string_view payload);
    bool takeTable(std::string_view payload);
    bool takeRow(std::string_view payload);

    FrameHandler& m_handler;
    Request m_request;
    State m_state = State::Reading;
    std::string m_pending; // the start of a frame cut by the end of a chunk
    bool m_inTable = false;
    size_t m_tables = 0; // Table frames so far
    std::string m_table;
    size_t m_columns = 0;         // of the table being read
    std::uint64_t m_declared = 0; // rows its Table frame declared
    std::uint64_t m_rows = 0;     // rows it has sent
    std::vector<std::string_view> m_names;
    std::vector<Value> m_values;
};

} // namespace ondiva::access
