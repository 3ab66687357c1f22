#include "Like.h"

#include <sqlite3.h>

#include <QChar>

#include <algorithm>
#include <array>
#include <cstring>

namespace ondiva::like {
namespace {

// Stands for "_" among a pattern's characters; no decoded character can take
// this value (it lies beyond the Unicode range).
constexpr char32_t kAnyChar = 0x110000;
// An invalid byte b decodes to kRawByte + b, distinct from every real character.
constexpr char32_t kRawByte = 0x110100;

constexpr std::array<unsigned char, 128> makeAsciiFold()
{
    std::array<unsigned char, 128> table{};
    for (int c = 0; c < 128; ++c)
        table[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return table;
}
constexpr auto kAsciiFold = makeAsciiFold();

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Decodes one character at text[i]; returns its length in bytes. Anything that is
// not a well-formed UTF-8 sequence (overlong, surrogate, out of range, cut short)
// yields a single raw byte.
int decode(std::string_view text, size_t i, char32_t& out)
{
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    const size_t left = text.size() - i;
    auto at = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    if (b0 >= 0xC2 && b0 <= 0xDF && left >= 2 && isContinuation(at(1))) {
        out = (char32_t(b0 & 0x1F) << 6) | (at(1) & 0x3F);
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF && left >= 3 && isContinuation(at(1)) && isContinuation(at(2))) {
        const char32_t c = (char32_t(b0 & 0x0F) << 12) | (char32_t(at(1) & 0x3F) << 6) | (at(2) & 0x3F);
        if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
            out = c;
            return 3;
        }
    }
    if (b0 >= 0xF0 && b0 <= 0xF4 && left >= 4 && isContinuation(at(1)) && isContinuation(at(2)) &&
        isContinuation(at(3))) {
        const char32_t c = (char32_t(b0 & 0x07) << 18) | (char32_t(at(1) & 0x3F) << 12) |
                           (char32_t(at(2) & 0x3F) << 6) | (at(3) & 0x3F);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            out = c;
            return 4;
        }
    }
    out = kRawByte + b0;
    return 1;
}

char* encodeUtf8(char* out, char32_t c)
{
    if (c < 0x80) {
        *out++ = char(c);
    } else if (c < 0x800) {
        *out++ = char(0xC0 | (c >> 6));
        *out++ = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = char(0xE0 | (c >> 12));
        *out++ = char(0x80 | ((c >> 6) & 0x3F));
        *out++ = char(0x80 | (c & 0x3F));
    } else {
        *out++ = char(0xF0 | (c >> 18));
        *out++ = char(0x80 | ((c >> 12) & 0x3F));
        *out++ = char(0x80 | ((c >> 6) & 0x3F));
        *out++ = char(0x80 | (c & 0x3F));
    }
    return out;
}

void appendUtf8(std::string& out, char32_t c)
{
    char buffer[4];
    out.append(buffer, size_t(encodeUtf8(buffer, c) - buffer));
}

char32_t fold(char32_t c)
{
    if (c < 0x80)
        return kAsciiFold[c];
    if (c >= kAnyChar)
        return c;
    return QChar::toCaseFolded(c);
}

void appendFoldedChars(std::u32string& out, std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        char32_t c;
        i += decode(text, i, c);
        out.push_back(fold(c));
    }
}

bool isValidUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        char32_t c;
        i += decode(text, i, c);
        if (c >= kRawByte)
            return false;
    }
    return true;
}

// Does piece match chars exactly at position pos?
bool matchesAt(std::u32string_view chars, size_t pos, std::u32string_view piece)
{
    if (pos + piece.size() > chars.size())
        return false;
    for (size_t k = 0; k < piece.size(); ++k) {
        if (piece[k] != kAnyChar && piece[k] != chars[pos + k])
            return false;
    }
    return true;
}

} // namespace

void appendFolded(std::string& out, std::string_view text)
{
    // A folded character never takes more than twice the bytes of the original.
    const size_t start = out.size();
    out.resize(start + 2 * text.size() + 4);
    char* write = out.data() + start;
    const char* read = text.data();
    const char* const end = read + text.size();
    while (read < end) {
        // Eight ASCII bytes at a time: the common case in a Western catalogue.
        if (end - read >= 8) {
            std::uint64_t word;
            std::memcpy(&word, read, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                for (int k = 0; k < 8; ++k)
                    write[k] = char(kAsciiFold[static_cast<unsigned char>(read[k])]);
                read += 8;
                write += 8;
                continue;
            }
        }
        const auto b = static_cast<unsigned char>(*read);
        if (b < 0x80) {
            *write++ = char(kAsciiFold[b]);
            ++read;
            continue;
        }
        char32_t c;
        const int len = decode(text, size_t(read - text.data()), c);
        if (c >= kRawByte) {
            *write++ = *read;
        } else {
            const char32_t folded = fold(c);
            if (folded == c) {
                std::memcpy(write, read, size_t(len));
                write += len;
            } else {
                write = encodeUtf8(write, folded);
            }
        }
        read += len;
    }
    out.resize(size_t(write - out.data()));
}

Pattern::Pattern(std::string_view pattern, char32_t escape)
{
    // The pattern reads head % middle % ... % tail; split it at each "%".
    std::vector<Piece> segments(1);
    m_charLevel = !isValidUtf8(pattern);
    for (size_t i = 0; i < pattern.size();) {
        char32_t c;
        i += size_t(decode(pattern, i, c));
        if (escape && c == escape) {
            if (i >= pattern.size()) {
                // An escape character with nothing after it matches no value.
                m_neverMatches = true;
                return;
            }
            i += size_t(decode(pattern, i, c));
            segments.back().chars.push_back(fold(c));
        } else if (c == U'%') {
            segments.emplace_back();
        } else if (c == U'_') {
            segments.back().chars.push_back(kAnyChar);
            m_charLevel = true;
        } else {
            segments.back().chars.push_back(fold(c));
        }
    }
    for (Piece& piece : segments) {
        for (char32_t c : piece.chars) {
            if (c >= kRawByte)
                piece.bytes.push_back(char(c - kRawByte));
            else if (c != kAnyChar)
                appendUtf8(piece.bytes, c);
        }
    }
    m_hasPercent = segments.size() > 1;
    m_head = std::move(segments.front());
    if (m_hasPercent) {
        m_tail = std::move(segments.back());
        for (size_t k = 1; k + 1 < segments.size(); ++k) {
            if (!segments[k].chars.empty())
                m_middle.push_back(std::move(segments[k]));
        }
    }
}

bool Pattern::matches(std::string_view value) const
{
    if (m_neverMatches)
        return false;
    // "%" alone (the empty search term) matches every value without looking at it.
    if (m_hasPercent && m_head.chars.empty() && m_tail.chars.empty() && m_middle.empty())
        return true;
    if (m_charLevel) {
        thread_local std::u32string folded;
        folded.clear();
        appendFoldedChars(folded, value);
        return matchChars(folded);
    }
    thread_local std::string folded;
    folded.clear();
    appendFolded(folded, value);
    return matchBytes(folded);
}

// Byte-level matching, for valid UTF-8 patterns without "_": a valid UTF-8 needle
// starts with a byte that never continues a character and ends with a whole
// character, so a byte search finds exactly what a character search finds.
bool Pattern::matchBytes(std::string_view text) const
{
    if (!m_hasPercent)
        return text == m_head.bytes;
    if (text.size() < m_head.bytes.size() + m_tail.bytes.size() || !text.starts_with(m_head.bytes) ||
        !text.ends_with(m_tail.bytes))
        return false;
    size_t pos = m_head.bytes.size();
    const size_t end = text.size() - m_tail.bytes.size();
    // The leftmost occurrence of each middle piece leaves the most room for the rest.
    for (const Piece& piece : m_middle) {
        const std::string& needle = piece.bytes;
        const void* found = memmem(text.data() + pos, end - pos, needle.data(), needle.size());
        if (!found)
            return false;
        pos = size_t(static_cast<const char*>(found) - text.data()) + needle.size();
    }
    return true;
}

bool Pattern::matchChars(std::u32string_view text) const
{
    if (!m_hasPercent)
        return text.size() == m_head.chars.size() && matchesAt(text, 0, m_head.chars);
    const size_t head = m_head.chars.size();
    const size_t tail = m_tail.chars.size();
    if (text.size() < head + tail || !matchesAt(text, 0, m_head.chars) ||
        !matchesAt(text, text.size() - tail, m_tail.chars))
        return false;
    size_t pos = head;
    const std::u32string_view window = text.substr(0, text.size() - tail);
    for (const Piece& piece : m_middle) {
        while (pos + piece.chars.size() <= window.size() && !matchesAt(window, pos, piece.chars))
            ++pos;
        if (pos + piece.chars.size() > window.size())
            return false;
        pos += piece.chars.size();
    }
    return true;
}

namespace {

void destroyPattern(void* p) { delete static_cast<Pattern*>(p); }

void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    // like(pattern, value [, escape]); NULL in, NULL out, so NULL never matches.
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return;
    char32_t escape = 0;
    if (argc == 3) {
        if (sqlite3_value_type(argv[2]) == SQLITE_NULL)
            return;
        const auto* e = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
        const std::string_view esc(e ? e : "", size_t(sqlite3_value_bytes(argv[2])));
        char32_t c = 0;
        if (esc.empty() || size_t(decode(esc, 0, c)) != esc.size()) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = c;
    }
    // The compiled pattern is kept with the statement while the pattern argument stays the same.
    auto* pattern = static_cast<Pattern*>(sqlite3_get_auxdata(ctx, 0));
    if (!pattern) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
        pattern = new Pattern(std::string_view(p ? p : "", size_t(sqlite3_value_bytes(argv[0]))), escape);
        sqlite3_set_auxdata(ctx, 0, pattern, destroyPattern);
        // SQLite may drop the auxiliary data at once; fetch it back to know whether it is still ours.
        pattern = static_cast<Pattern*>(sqlite3_get_auxdata(ctx, 0));
        if (!pattern) {
            Pattern once(std::string_view(p ? p : "", size_t(sqlite3_value_bytes(argv[0]))), escape);
            const auto* v = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
            sqlite3_result_int(ctx, once.matches(std::string_view(v ? v : "", size_t(sqlite3_value_bytes(argv[1])))));
            return;
        }
    }
    const auto* v = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    sqlite3_result_int(ctx, pattern->matches(std::string_view(v ? v : "", size_t(sqlite3_value_bytes(argv[1])))));
}

} // namespace

int registerFunctions(sqlite3* db)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    int rc = sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    return rc;
}

} // namespace ondiva::like
