// Text as the engine sees it: UTF-16 code units, one unit = one character.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace quenlet {

using Text = std::u16string;
using TextView = std::u16string_view;

inline constexpr char16_t kSpace = u' ';
inline constexpr char16_t kIdeographicSpace = u'\u3000';

// Removes leading and trailing U+0020; the ideographic space is left alone.
Text trimSpaces(TextView text);
void trimSpacesInPlace(Text& text);

inline bool startsWith(TextView text, TextView prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The first k characters of a text (all of it when it is shorter).
inline TextView leftOf(TextView text, std::size_t k) { return text.substr(0, k); }

// The text from 1-based position p to its end; empty when p is past the end.
inline TextView fromPosition(TextView text, std::size_t p) {
    return p - 1 >= text.size() ? TextView{} : text.substr(p - 1);
}

// A fixed set of single UTF-16 code units, tested in constant time.
class CharSet {
public:
    constexpr CharSet(std::initializer_list<char16_t> members) : bits_{} {
        for (char16_t c : members) bits_[c >> 6] |= std::uint64_t{1} << (c & 63);
    }
    constexpr bool contains(char16_t c) const { return (bits_[c >> 6] >> (c & 63)) & 1U; }
    constexpr bool contains(TextView oneChar) const {
        return oneChar.size() == 1 && contains(oneChar[0]);
    }

private:
    std::array<std::uint64_t, 1024> bits_;
};

}  // namespace quenlet
