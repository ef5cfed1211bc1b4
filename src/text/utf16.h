// UTF-16 text helpers: surrogate pairs, the one place their arithmetic lives.
// Text in memory is UTF-16; a character above U+FFFF takes two code units,
// a high surrogate and then a low one. A surrogate without its partner is no
// character (among them the escape units that keep undecodable bytes,
// text/encoding.h).
#pragma once

#include <cstddef>

#include "text/text.h"

namespace quenlet {

inline constexpr char16_t kReplacementCharacter = u'\uFFFD';

inline constexpr bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline constexpr bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline constexpr bool isSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// The character of a surrogate pair.
inline constexpr char32_t fromSurrogates(char16_t high, char16_t low) {
    return 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00);
}
// The pair of a character above U+FFFF.
inline constexpr char16_t highSurrogateOf(char32_t character) {
    return static_cast<char16_t>(0xD800 + ((character - 0x10000) >> 10));
}
inline constexpr char16_t lowSurrogateOf(char32_t character) {
    return static_cast<char16_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
}

// Whether text[at] starts a surrogate pair (the pair is whole).
inline bool pairStartsAt(TextView text, std::size_t at) {
    return isHighSurrogate(text[at]) && at + 1 < text.size() && isLowSurrogate(text[at + 1]);
}

// The character at text[at] (a surrogate pair taken whole) and its length in units.
struct CharacterAt {
    char32_t character;
    std::size_t units;
};
inline CharacterAt characterAt(TextView text, std::size_t at) {
    if (pairStartsAt(text, at)) return {fromSurrogates(text[at], text[at + 1]), 2};
    return {text[at], 1};
}

// Appends one character: a unit, or a surrogate pair above U+FFFF.
inline void appendCharacter(Text& text, char32_t character) {
    if (character >= 0x10000) {
        text.push_back(highSurrogateOf(character));
        text.push_back(lowSurrogateOf(character));
    } else {
        text.push_back(static_cast<char16_t>(character));
    }
}

}  // namespace quenlet
