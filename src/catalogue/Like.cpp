#include "Like.h"

#include "text/Utf8.h"

#include <sqlite3.h>

#include <QChar>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <memory>

namespace ondiva::like {
namespace {

using text::appendUtf8;
using text::encodeUtf8;

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

bool equalsFolded(const char* text, std::string_view foldedAscii)
{
    for (size_t i = 0; i < foldedAscii.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0x80 || char(kAsciiFold[b]) != foldedAscii[i])
            return false;
    }
    return true;
}

// Whether value, folded, contains needle (folded ASCII text, not empty), looking
// at the value as it is: the needle's first letter in either case, then the rest
// compared in place. Characters beyond ASCII that fold into ASCII are the
// caller's business.
bool containsAscii(std::string_view value, std::string_view needle)
{
    if (value.size() < needle.size())
        return false;
    const char lower = needle.front();
    const char upper = lower >= 'a' && lower <= 'z' ? char(lower - 32) : lower;
    const std::string_view rest = needle.substr(1);
    const size_t starts = value.size() - needle.size() + 1; // the needle may start at 0 .. starts - 1
    size_t i = 0;
#ifdef __SSE2__
    if (value.size() >= 16) {
        const __m128i lowerBlock = _mm_set1_epi8(lower);
        const __m128i upperBlock = _mm_set1_epi8(upper);
        // Looks at the sixteen bytes from at, for starts among the bits of mask.
        auto scan = [&](size_t at, unsigned mask) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(value.data() + at));
            unsigned hits = mask & unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, lowerBlock),
                                                                           _mm_cmpeq_epi8(block, upperBlock))));
            for (; hits; hits &= hits - 1) {
                if (equalsFolded(value.data() + at + size_t(std::countr_zero(hits)) + 1, rest))
                    return true;
            }
            return false;
        };
        for (; i + 16 <= starts; i += 16) {
            if (scan(i, 0xFFFF))
                return true;
        }
        if (i < starts) {
            // The last starts: one more block, kept inside the value, counting only the starts not yet seen.
            const size_t at = std::min(i, value.size() - 16);
            const unsigned below = (1u << (starts - at)) - 1;
            const unsigned seen = (1u << (i - at)) - 1;
            return scan(at, below & ~seen);
        }
        return false;
    }
#endif
    for (; i < starts; ++i) {
        if ((value[i] == lower || value[i] == upper) && equalsFolded(value.data() + i + 1, rest))
            return true;
    }
    return false;
}

// The first occurrence of needle (not empty) in text at or after pos. Values are
// short, so looking for the needle's first byte and comparing beats the
// set-up cost of the general algorithms.
size_t find(std::string_view text, size_t pos, std::string_view needle)
{
    const char first = needle.front();
    const std::string_view rest = needle.substr(1);
    while (pos + needle.size() <= text.size()) {
        const void* hit = std::memchr(text.data() + pos, first, text.size() - needle.size() + 1 - pos);
        if (!hit)
            return std::string_view::npos;
        pos = size_t(static_cast<const char*>(hit) - text.data());
        if (std::memcmp(text.data() + pos + 1, rest.data(), rest.size()) == 0)
            return pos;
        ++pos;
    }
    return std::string_view::npos;
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

namespace {

#ifdef __SSE2__
// Lower-cases the ASCII letters among sixteen ASCII bytes.
__m128i foldAscii16(__m128i block)
{
    const __m128i upper =
        _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8('A' - 1)), _mm_cmplt_epi8(block, _mm_set1_epi8('Z' + 1)));
    return _mm_or_si128(block, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}
#endif

// Writes the folded form of text to out, which has room for 2 * text.size() + 4
// bytes (a folded character never takes more than twice the bytes of the
// original); returns the end of what was written.
char* foldTo(char* out, std::string_view text)
{
    char* write = out;
    const char* read = text.data();
    const char* const end = read + text.size();
    while (read < end) {
#ifdef __SSE2__
        // Sixteen ASCII bytes at a time, the common case in a Western catalogue.
        // A block that holds a wider character is folded up to it, and the character after.
        if (end - read >= 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(read));
            const int wide = _mm_movemask_epi8(block);
            const int ascii = wide ? std::countr_zero(unsigned(wide)) : 16;
            if (ascii > 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(write), foldAscii16(block));
                read += ascii;
                write += ascii;
                continue;
            }
        } else if (read > text.data() && text.size() >= 16 && write - out == read - text.data()) {
            // The last few bytes: fold the final sixteen again. Everything so far kept its
            // length, so the overlap rewrites the same folded bytes in the same places.
            const char* from = end - 16;
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
            if (_mm_movemask_epi8(block) == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (from - text.data())), foldAscii16(block));
                write += end - read;
                read = end;
                continue;
            }
        }
#endif
        const auto b = static_cast<unsigned char>(*read);
        if (b < 0x80) {
            *write++ = char(kAsciiFold[b]);
            ++read;
            continue;
        }
        // Accented Latin capitals (U+00C0 to U+00DE but the sign ×) fold by adding 0x20.
        if (b == 0xC3 && end - read >= 2) {
            const auto b1 = static_cast<unsigned char>(read[1]);
            if (b1 >= 0x80 && b1 <= 0xBF) {
                write[0] = char(b);
                write[1] = char(b1 <= 0x9E && b1 != 0x97 ? b1 + 0x20 : b1);
                read += 2;
                write += 2;
                continue;
            }
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
    return write;
}

} // namespace

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
    // The shape of every search: "%term%" with a term in plain ASCII.
    m_asciiContains = !m_charLevel && m_hasPercent && m_head.chars.empty() && m_tail.chars.empty() &&
                      m_middle.size() == 1 &&
                      std::all_of(m_middle.front().bytes.begin(), m_middle.front().bytes.end(),
                                  [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    m_termHasKOrS = m_asciiContains && m_middle.front().bytes.find_first_of("ks") != std::string::npos;
}

bool Pattern::matches(std::string_view value) const
{
    if (m_neverMatches)
        return false;
    // "%" alone (the empty search term) matches every value without looking at it.
    if (m_hasPercent && m_head.chars.empty() && m_tail.chars.empty() && m_middle.empty())
        return true;
    if (m_charLevel) {
        m_chars.clear();
        appendFoldedChars(m_chars, value);
        return matchChars(m_chars);
    }
    if (m_asciiContains) {
        if (containsAscii(value, m_middle.front().bytes))
            return true;
        // Only the Kelvin sign (folding into k) and the long s (into s) fold from beyond ASCII into it.
        if (!m_termHasKOrS ||
            (value.find("\xE2\x84\xAA") == std::string_view::npos && value.find("\xC5\xBF") == std::string_view::npos))
            return false;
    }
    const size_t need = 2 * value.size() + 4;
    if (need > m_capacity) {
        m_capacity = std::max(need, 2 * m_capacity);
        m_buffer = std::make_unique_for_overwrite<char[]>(m_capacity);
    }
    return matchBytes({m_buffer.get(), size_t(foldTo(m_buffer.get(), value) - m_buffer.get())});
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
        const size_t at = find(text.substr(0, end), pos, needle);
        if (at == std::string_view::npos)
            return false;
        pos = at + needle.size();
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
