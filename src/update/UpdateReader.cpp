#include "UpdateReader.h"

#include "text/Windows1252.h"

#include <algorithm>
#include <cstring>

namespace ondiva::update {

using catalogue::Table;

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Finds a byte in [from, end); end when it is not there.
const char* find(const char* from, const char* end, char byte)
{
    const void* found = std::memchr(from, byte, size_t(end - from));
    return found ? static_cast<const char*>(found) : end;
}

// Leading and trailing spaces (code 32 only) removed.
std::string_view trimSpaces(std::string_view text)
{
    const size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

Table nextSection(Table section) { return Table(int(section) + 1); }

// The lines that open the articles and close each section, named after the tables.
struct Markers {
    std::string header = std::string(catalogue::kArticoli.name) + "(BOF)";
    std::array<std::string, catalogue::kItemTables.size()> ends;

    Markers()
    {
        for (size_t i = 0; i < ends.size(); ++i)
            ends[i] = std::string(catalogue::kItemTables[i].name) + "(EOF)";
    }
};

const Markers& markers()
{
    static const Markers built;
    return built;
}

} // namespace

UpdateReader::UpdateReader() = default;

UpdateReader::UpdateReader(Encoding encoding, Handler& handler)
    : m_encoding(encoding)
    , m_handler(&handler)
{}

std::string_view UpdateReader::endMarker(Table section) { return markers().ends[size_t(section)]; }

std::string_view UpdateReader::header() { return markers().header; }

void UpdateReader::feed(QByteArrayView bytes)
{
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    // The next LF and CR at or after p (null: not searched yet). Each is searched
    // again only once p has passed it, so a chunk is scanned once whichever line
    // ends it uses.
    const char* nextLf = nullptr;
    const char* nextCr = nullptr;
    if (m_skipLineFeed && p < end) {
        m_skipLineFeed = false;
        if (*p == '\n')
            ++p;
    }
    while (p < end && isReading()) {
        if (!nextLf || nextLf < p)
            nextLf = find(p, end, '\n');
        if (!nextCr || nextCr < p)
            nextCr = find(p, end, '\r');
        const char* lineEnd = std::min(nextLf, nextCr);
        if (lineEnd == end) {
            // The line goes on in the next chunk.
            if (qsizetype(m_partial.size()) + (end - p) > kMaxLineLength) {
                ++m_line;
                fail(Error::Kind::LineTooLong);
                return;
            }
            m_partial.append(p, size_t(end - p));
            return;
        }
        const char* next = lineEnd + 1;
        if (*lineEnd == '\r') {
            if (next == end)
                m_skipLineFeed = true;
            else if (*next == '\n')
                ++next;
        }
        if (m_partial.empty()) {
            takeLine(std::string_view(p, size_t(lineEnd - p)));
        } else {
            m_partial.append(p, size_t(lineEnd - p));
            takeLine(m_partial);
            m_partial.clear();
        }
        p = next;
    }
}

void UpdateReader::finish()
{
    if (!isReading())
        return;
    // A last line without a line end.
    if (!m_partial.empty()) {
        takeLine(m_partial);
        m_partial.clear();
        if (!isReading())
            return;
    }
    if (m_step == Step::Identifier || m_step == Step::Header) {
        m_line = 2;
        fail(Error::Kind::BadHeader);
        return;
    }
    fail(Error::Kind::Truncated);
}

void UpdateReader::fail(Error::Kind kind)
{
    m_state = State::Failed;
    m_error.kind = kind;
    m_error.line = m_line;
    m_error.section = m_section;
}

QUtf8StringView UpdateReader::decoded(std::string_view text, std::string& buffer) const
{
    if (m_encoding == Encoding::Utf8)
        return QUtf8StringView(text.data(), qsizetype(text.size()));
    buffer.clear();
    text::appendWindows1252AsUtf8(buffer, text);
    return QUtf8StringView(buffer.data(), qsizetype(buffer.size()));
}

void UpdateReader::takeLine(std::string_view line)
{
    ++m_line;
    if (qsizetype(line.size()) > kMaxLineLength) {
        fail(Error::Kind::LineTooLong);
        return;
    }
    if (line.find('\0') != std::string_view::npos) {
        fail(Error::Kind::NulByte);
        return;
    }
    // Checking, every line counts towards the choice of encoding; reading as
    // UTF-8, every line must be UTF-8.
    const bool checking = !m_handler;
    if (m_allUtf8 && (checking || m_encoding == Encoding::Utf8) && !QByteArrayView(line).isValidUtf8()) {
        m_allUtf8 = false;
        if (!checking) {
            fail(Error::Kind::InvalidUtf8);
            return;
        }
    }

    switch (m_step) {
    case Step::Identifier:
        if (m_handler && m_encoding == Encoding::Utf8 && line.starts_with(kByteOrderMark))
            line.remove_prefix(kByteOrderMark.size());
        m_identifier = trimSpaces(line);
        m_step = Step::Header;
        return;
    case Step::Header:
        if (line != header()) {
            fail(Error::Kind::BadHeader);
            return;
        }
        m_step = Step::Records;
        if (m_handler && !m_handler->identifier(decoded(m_identifier, m_decodeBuffers[0])))
            m_state = State::Stopped;
        return;
    case Step::Opening:
        m_step = Step::Records;
        return;
    case Step::Records:
        if (line == endMarker(m_section)) {
            if (m_section == catalogue::kAllTables.back()) {
                m_step = Step::Done;
                m_state = State::Complete;
            } else {
                m_section = nextSection(m_section);
                m_step = Step::Opening;
            }
            return;
        }
        takeRecord(line);
        return;
    case Step::Done:
        break;
    }
}

void UpdateReader::takeRecord(std::string_view line)
{
    const int needed = catalogue::schemaOf(m_section).columnCount;
    std::array<std::string_view, catalogue::kMaxColumns> raw;
    int found = 0;
    // An empty line has no fields; otherwise n TABs make n + 1 fields.
    if (!line.empty()) {
        const char* p = line.data();
        const char* const end = p + line.size();
        while (found < needed) {
            const char* tab = find(p, end, '\t');
            raw[size_t(found++)] = std::string_view(p, size_t(tab - p));
            if (tab == end)
                break;
            p = tab + 1;
        }
    }
    if (found < needed) {
        fail(Error::Kind::MissingFields);
        m_error.fieldCount = found;
        m_error.fieldsNeeded = needed;
        return;
    }
    if (!m_handler)
        return;
    for (size_t i = 0; i < size_t(needed); ++i)
        m_fields[i] = decoded(raw[i], m_decodeBuffers[i]);
    const Record record{m_section, m_line, std::span<const QUtf8StringView>(m_fields.data(), size_t(needed))};
    if (!m_handler->record(record))
        m_state = State::Stopped;
}

} // namespace ondiva::update
