// Big5 code tables, built once from the C library's converters: code page 950
// as Windows writes it, with the Hong Kong supplementary characters where that
// code page has none.
#pragma once

#include <cstdint>

namespace quenlet::big5 {

inline constexpr unsigned kLeads = 0xFE - 0x81 + 1;
inline constexpr unsigned kTrails = 0xFE - 0x40 + 1;  // 0x40..0xFE, the gap 0x7F..0xA0 included

inline bool isLead(unsigned byte) { return byte >= 0x81 && byte <= 0xFE; }
inline bool isTrail(unsigned byte) { return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0xA1 && byte <= 0xFE); }
inline unsigned codeIndex(unsigned lead, unsigned trail) { return (lead - 0x81) * kTrails + (trail - 0x40); }

struct Tables {
    // The character of each two-byte code by codeIndex(); 0 when the code is
    // unassigned (its bytes are then undecodable).
    const char32_t* decoded;
    // The code of each BMP character (lead << 8 | trail), 0 when it has none.
    const std::uint16_t* encoded;
    // The code of a character above the BMP, 0 when it has none.
    std::uint16_t supplementaryCode(char32_t character) const;

    const std::uint64_t* supplementary;  // sorted: character << 16 | code
    unsigned supplementaryCount;
};
const Tables& tables();

}  // namespace quenlet::big5
