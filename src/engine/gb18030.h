// GB18030 code tables, built once from the C library's converter.
#pragma once

#include <cstdint>

namespace quenlet::gb18030 {

// Two-byte codes: lead 0x81..0xFE, trail 0x40..0x7E or 0x80..0xFE. Every such
// code maps to one BMP character.
char16_t decodeTwoByte(unsigned lead, unsigned trail);

// Four-byte codes of the BMP range, 81 30 81 30 .. 84 39 FE 39, by their index
// in that range; 0 when the code is unassigned.
inline constexpr unsigned kFourByteBmpCodes = 4 * 10 * 126 * 10;
char16_t decodeFourByteBmp(unsigned index);

// Bytes of a BMP character (not a surrogate); returns their count, 0 when the
// character has no code.
int encodeBmp(char16_t character, unsigned char out[4]);

}  // namespace quenlet::gb18030
