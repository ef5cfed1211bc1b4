// GB18030 code tables, built once from the C library's converter.
#pragma once

#include <cstdint>

namespace quenlet::gb18030 {

inline constexpr unsigned kFourByteBmpCodes = 4 * 10 * 126 * 10;

struct Tables {
    // Two-byte codes, lead 0x81..0xFE and trail 0x40..0x7E or 0x80..0xFE, by
    // twoByteIndex(); every such code maps to one BMP character.
    const char16_t* twoByte;
    // Four-byte codes of the BMP range, 81 30 81 30 .. 84 39 FE 39, by their
    // index in that range; 0 when the code is unassigned.
    const char16_t* fourByte;
    // The two-byte code of each BMP character that has one (lead << 8 | trail),
    // else 0; compact, so the common Chinese range stays in cache.
    const std::uint16_t* twoByteCode;
    // The code of each BMP character, its bytes packed big-endian (1, 2 or 4
    // of them); 0 when the character has none.
    const std::uint32_t* encoded;
};
const Tables& tables();

inline unsigned twoByteIndex(unsigned lead, unsigned trail) {
    return (lead - 0x81) * 190 + (trail < 0x80 ? trail - 0x40 : trail - 0x41);
}

}  // namespace quenlet::gb18030
