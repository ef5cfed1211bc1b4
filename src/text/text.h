// Text as the engine sees it: UTF-16 code units, one unit = one character.
#pragma once

#include <algorithm>
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

// A fixed set of single UTF-16 code units, tested in constant time. What lies
// beyond the members, and in the widest range between two of them (for the
// marks of these stages, where the Chinese characters of a text are), is
// rejected before the table is read.
class CharSet {
public:
    constexpr CharSet(std::initializer_list<char16_t> members) : bits_{} {
        std::array<char16_t, 128> sorted{};
        std::size_t count = 0;
        for (char16_t c : members) {
            bits_[c >> 6] |= std::uint64_t{1} << (c & 63);
            if (count < sorted.size()) sorted[count++] = c;
        }
        std::sort(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(count));
        if (count > 0) {
            lowest_ = sorted[0];
            highest_ = sorted[count - 1];
        }
        for (std::size_t i = 1; i < count; ++i) {
            if (sorted[i] - sorted[i - 1] > gapEnd_ - gapStart_) {
                gapStart_ = sorted[i - 1];
                gapEnd_ = sorted[i];
            }
        }
    }
    constexpr bool contains(char16_t c) const {
        if (c > highest_ || c < lowest_ || (c > gapStart_ && c < gapEnd_)) return false;
        return (bits_[c >> 6] >> (c & 63)) & 1U;
    }
    constexpr bool contains(TextView oneChar) const {
        return oneChar.size() == 1 && contains(oneChar[0]);
    }

private:
    std::array<std::uint64_t, 1024> bits_;
    char16_t lowest_ = 0xFFFF;  // no member lies outside [lowest_, highest_] ...
    char16_t highest_ = 0;
    char16_t gapStart_ = 0;  // ... or between gapStart_ and gapEnd_
    char16_t gapEnd_ = 0;
};

}  // namespace quenlet
