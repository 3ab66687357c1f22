#pragma once

// The catalogue's Like operator: "%" stands for any run of characters, "_" for
// any single character, and letters match without regard to their case, for
// every alphabet (not only ASCII). Values and patterns are UTF-8; a byte that
// is not part of valid UTF-8 counts as one character of its own.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace ondiva::like {

// A compiled Like pattern. Compile once, match many values (from one thread at a time).
class Pattern {
public:
    // escape: a character that makes the next pattern character literal, or 0 for none.
    explicit Pattern(std::string_view pattern, char32_t escape = 0);

    bool matches(std::string_view value) const;

private:
    // One run of the pattern between two "%": literal characters and "_" wildcards.
    struct Piece {
        std::string bytes;    // folded UTF-8, for byte-level matching
        std::u32string chars; // folded characters; kAnyChar stands for "_"
    };

    bool matchBytes(std::string_view folded) const;
    bool matchChars(std::u32string_view folded) const;

    Piece m_head;                // before the first "%" (the whole pattern when it has none)
    Piece m_tail;                // after the last "%"
    std::vector<Piece> m_middle; // the non-empty pieces in between
    bool m_hasPercent = false;
    bool m_charLevel = false; // some piece has "_", or the pattern is not valid UTF-8
    bool m_neverMatches = false;
    bool m_asciiContains = false; // "%term%" with an ASCII term: searched without folding the value
    bool m_termHasKOrS = false;   // ... and a term that a character beyond ASCII can fold into

    // Room for the folded value being matched, reused from one value to the next.
    mutable std::unique_ptr<char[]> m_buffer;
    mutable size_t m_capacity = 0;
    mutable std::u32string m_chars;
};

// Registers like(pattern, value) and like(pattern, value, escape) on a
// connection, replacing SQLite's built-in operator (which folds ASCII only).
int registerFunctions(sqlite3* db);

} // namespace ondiva::like
