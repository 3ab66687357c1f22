#pragma once

// A deliberately simple Like matcher to check the real one against: decode
// both texts to characters, fold each, and match by dynamic programming.

#include <QChar>

#include <string>
#include <string_view>
#include <vector>

namespace ondiva::testing {

// Decodes UTF-8 (without folding); every byte that does not start a well-formed sequence becomes
// a character of its own, distinct from every real character.
inline std::vector<char32_t> referenceDecode(std::string_view text)
{
    std::vector<char32_t> out;
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        int len = b < 0x80                 ? 1
                  : b >= 0xC2 && b <= 0xDF ? 2
                  : b >= 0xE0 && b <= 0xEF ? 3
                  : b >= 0xF0 && b <= 0xF4 ? 4
                                           : 0;
        char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = len > 0 && i + size_t(len) <= text.size();
        for (int k = 1; ok && k < len; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + size_t(k)]);
            ok = (cont & 0xC0) == 0x80;
            c = (c << 6) | (cont & 0x3F);
        }
        const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        ok = ok && c >= minimum[len] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        if (!ok) {
            out.push_back(0x200000 + b);
            ++i;
        } else {
            out.push_back(c);
            i += size_t(len);
        }
    }
    return out;
}

inline char32_t fold(char32_t c) { return c > 0x10FFFF ? c : QChar::toCaseFolded(c); }

// The characters of a text, each folded.
inline std::vector<char32_t> referenceFold(std::string_view text)
{
    std::vector<char32_t> chars = referenceDecode(text);
    for (char32_t& c : chars)
        c = fold(c);
    return chars;
}

inline bool referenceLike(std::string_view pattern, std::string_view value, char32_t escape = 0)
{
    const std::vector<char32_t> p = referenceDecode(pattern);
    const std::vector<char32_t> v = referenceDecode(value);
    // Tokens: literal character, any one character, any run.
    enum Type { Literal, One, Run };
    std::vector<std::pair<Type, char32_t>> tokens;
    for (size_t i = 0; i < p.size(); ++i) {
        if (escape && p[i] == escape) {
            if (i + 1 == p.size())
                return false;
            ++i;
            tokens.push_back({Literal, fold(p[i])});
        } else if (p[i] == U'%') {
            tokens.push_back({Run, 0});
        } else if (p[i] == U'_') {
            tokens.push_back({One, 0});
        } else {
            tokens.push_back({Literal, fold(p[i])});
        }
    }
    // can[j] = the first i tokens match the first j characters.
    std::vector<char> can(v.size() + 1, 0), next(v.size() + 1, 0);
    can[0] = 1;
    for (const auto& [type, c] : tokens) {
        std::fill(next.begin(), next.end(), 0);
        for (size_t j = 0; j <= v.size(); ++j) {
            if (type == Run)
                next[j] = can[j] || (j > 0 && next[j - 1]);
            else if (j > 0 && can[j - 1])
                next[j] = type == One || fold(v[j - 1]) == c;
        }
        std::swap(can, next);
    }
    return can[v.size()];
}

} // namespace ondiva::testing
