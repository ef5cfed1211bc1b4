#include "text/gb18030.h"

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "base/failure.h"
#include "text/codec.h"

namespace quenlet::gb18030 {
namespace {

constexpr unsigned kTwoByteCodes = 126 * 190;

// glibc follows the 2005/2022 revisions for these codes: six two-byte codes
// then decode to the same supplementary characters as their four-byte forms
// (so decode-then-encode changes the bytes), and eighteen four-byte codes are
// rejected. We keep the original one-to-one assignments for all of them, so
// that every valid byte sequence survives a round trip unchanged.
struct Override {
    std::uint32_t bytes;  // big-endian packed code
    char16_t character;
};
constexpr Override kOverrides[] = {
    {0xA6D9, 0xE78D}, {0xA6DA, 0xE78E}, {0xA6DB, 0xE78F}, {0xA6DC, 0xE790}, {0xA6DD, 0xE791},
    {0xA6DE, 0xE792}, {0xA6DF, 0xE793}, {0xA6EC, 0xE794}, {0xA6ED, 0xE795}, {0xA6F3, 0xE796},
    {0xA8BC, 0xE7C7}, {0xFE51, 0xE816}, {0xFE52, 0xE817}, {0xFE53, 0xE818}, {0xFE59, 0xE81E},
    {0xFE61, 0xE826}, {0xFE66, 0xE82B}, {0xFE67, 0xE82C}, {0xFE6C, 0xE831}, {0xFE6D, 0xE832},
    {0xFE76, 0xE83B}, {0xFE7E, 0xE843}, {0xFE90, 0xE854}, {0xFE91, 0xE855}, {0xFEA0, 0xE864},
    {0x8135F437, 0x1E3F}, {0x82359037, 0x9FB4}, {0x82359038, 0x9FB5}, {0x82359039, 0x9FB6},
    {0x82359130, 0x9FB7}, {0x82359131, 0x9FB8}, {0x82359132, 0x9FB9}, {0x82359133, 0x9FBA},
    {0x82359134, 0x9FBB}, {0x84318236, 0xFE10}, {0x84318237, 0xFE11}, {0x84318238, 0xFE12},
    {0x84318239, 0xFE13}, {0x84318330, 0xFE14}, {0x84318331, 0xFE15}, {0x84318332, 0xFE16},
    {0x84318333, 0xFE17}, {0x84318334, 0xFE18}, {0x84318335, 0xFE19},
};

unsigned fourByteIndex(unsigned b1, unsigned b2, unsigned b3, unsigned b4) {
    return (((b1 - 0x81) * 10 + (b2 - 0x30)) * 126 + (b3 - 0x81)) * 10 + (b4 - 0x30);
}

struct BuiltTables {
    std::vector<char16_t> twoByte = std::vector<char16_t>(kTwoByteCodes);
    std::vector<char16_t> fourByte = std::vector<char16_t>(kFourByteBmpCodes);
    std::vector<std::uint32_t> encoded = std::vector<std::uint32_t>(0x10000);  // packed bytes, 0 = none
    std::vector<std::uint16_t> twoByteCode = std::vector<std::uint16_t>(0x10000);

    BuiltTables() {
        iconv_t cd = iconv_open("UTF-16LE", "GB18030");
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            // Loading the converter opens files and maps memory, and the C
            // library says EINVAL ("no such converter") also when it ran out
            // of descriptors doing so: a descriptor opened here tells which.
            int error = errno;
            if (error == EINVAL) {
                const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                if (probe >= 0) ::close(probe);
                else if (errno == EMFILE || errno == ENFILE) error = errno;
            }
            if (error == EINVAL)
                throw ResourceError(FailureKind::EncodingUnavailable, "the C library has no GB18030 converter (iconv)");
            throw ResourceError(FailureKind::EncodingUnavailable,
                                "cannot load the GB18030 code tables: " + std::generic_category().message(error), error);
        }
        std::unique_ptr<void, int (*)(iconv_t)> closer(cd, iconv_close);
        auto decodeOne = [cd](const unsigned char* code, std::size_t length) -> char16_t {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            char in[4];
            for (std::size_t i = 0; i < length; ++i) in[i] = static_cast<char>(code[i]);
            char out[8];
            char* inPtr = in;
            char* outPtr = out;
            std::size_t inLeft = length;
            std::size_t outLeft = sizeof out;
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return 0;
            if (sizeof out - outLeft != 2) return 0;  // not a single BMP character
            return static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                         (static_cast<unsigned char>(out[1]) << 8));
        };
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F) continue;
                const unsigned char code[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
                twoByte[twoByteIndex(lead, trail)] = decodeOne(code, 2);
            }
        }
        for (unsigned b1 = 0x81; b1 <= 0x84; ++b1)
            for (unsigned b2 = 0x30; b2 <= 0x39; ++b2)
                for (unsigned b3 = 0x81; b3 <= 0xFE; ++b3)
                    for (unsigned b4 = 0x30; b4 <= 0x39; ++b4) {
                        const unsigned char code[4] = {static_cast<unsigned char>(b1), static_cast<unsigned char>(b2),
                                                       static_cast<unsigned char>(b3), static_cast<unsigned char>(b4)};
                        fourByte[fourByteIndex(b1, b2, b3, b4)] = decodeOne(code, 4);
                    }
        for (const Override& o : kOverrides) {
            if (o.bytes > 0xFFFF)
                fourByte[fourByteIndex(o.bytes >> 24, (o.bytes >> 16) & 0xFF, (o.bytes >> 8) & 0xFF, o.bytes & 0xFF)] =
                    o.character;
            else
                twoByte[twoByteIndex(o.bytes >> 8, o.bytes & 0xFF)] = o.character;
        }
        // The encoder is the exact inverse of the decoder.
        for (unsigned c = 0; c < 0x80; ++c) encoded[c] = c;
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail)
                if (trail != 0x7F) {
                    const char16_t c = twoByte[twoByteIndex(lead, trail)];
                    if (c != 0 && encoded[c] == 0) {
                        encoded[c] = (lead << 8) | trail;
                        twoByteCode[c] = static_cast<std::uint16_t>(encoded[c]);
                    }
                }
        for (unsigned b1 = 0x81; b1 <= 0x84; ++b1)
            for (unsigned b2 = 0x30; b2 <= 0x39; ++b2)
                for (unsigned b3 = 0x81; b3 <= 0xFE; ++b3)
                    for (unsigned b4 = 0x30; b4 <= 0x39; ++b4) {
                        const char16_t c = fourByte[fourByteIndex(b1, b2, b3, b4)];
                        if (c != 0 && encoded[c] == 0) encoded[c] = (b1 << 24) | (b2 << 16) | (b3 << 8) | b4;
                    }
    }
};

}  // namespace

const Tables& tables() {
    static const BuiltTables built;
    static const Tables view{built.twoByte.data(), built.fourByte.data(), built.twoByteCode.data(),
                             built.encoded.data()};
    return view;
}

}  // namespace quenlet::gb18030

namespace quenlet {
namespace {

using codec::ByteWriter;
using codec::UnitWriter;

class Gb18030Decoder final : public Decoder {
public:
    std::size_t decode(const unsigned char* bytes, std::size_t size, bool final, Text& out) override {
        const gb18030::Tables& tables = gb18030::tables();
        UnitWriter w(out, size);
        std::size_t i = 0;
        while (i < size) {
            const unsigned b1 = bytes[i];
            if (b1 < 0x80) {
                w.push(static_cast<char16_t>(b1));
                ++i;
                continue;
            }
            if (b1 == 0x80 || b1 == 0xFF) {
                w.push(escaped(bytes[i++]));
                continue;
            }
            if (i + 1 >= size) {
                if (!final) break;
                w.push(escaped(bytes[i++]));
                continue;
            }
            const unsigned b2 = bytes[i + 1];
            if ((b2 >= 0x40 && b2 <= 0x7E) || (b2 >= 0x80 && b2 <= 0xFE)) {
                w.push(tables.twoByte[gb18030::twoByteIndex(b1, b2)]);
                i += 2;
                continue;
            }
            if (b2 < 0x30 || b2 > 0x39) {
                w.push(escaped(bytes[i++]));
                continue;
            }
            if (i + 3 >= size && !final) {
                // Wait for the rest only while what we have can still become a code.
                if (i + 2 >= size || (bytes[i + 2] >= 0x81 && bytes[i + 2] <= 0xFE)) break;
            }
            const char32_t cp = fourByteCode(tables, bytes + i, size - i);
            if (cp == 0) {
                w.push(escaped(bytes[i++]));
                continue;
            }
            w.pushCharacter(cp);
            i += 4;
        }
        return i;
    }

private:
    // The character of a four-byte code, 0 when the bytes are not one.
    static char32_t fourByteCode(const gb18030::Tables& tables, const unsigned char* p, std::size_t available) {
        if (available < 4) return 0;
        const unsigned b1 = p[0], b2 = p[1], b3 = p[2], b4 = p[3];
        if (b3 < 0x81 || b3 > 0xFE || b4 < 0x30 || b4 > 0x39) return 0;
        const unsigned tail = ((b2 - 0x30) * 126 + (b3 - 0x81)) * 10 + (b4 - 0x30);
        if (b1 <= 0x84) return tables.fourByte[(b1 - 0x81) * 12600 + tail];
        if (b1 < 0x90 || b1 > 0xE3) return 0;
        const char32_t cp = 0x10000 + (b1 - 0x90) * 12600 + tail;
        return cp <= 0x10FFFF ? cp : 0;
    }
};

// Characters as GB18030 bytes, for the encoding loop.
struct Gb18030Bytes {
    const gb18030::Tables& tables = gb18030::tables();

    bool putBmp(char16_t unit, ByteWriter& out) const {
        if (unit < 0x80) {
            out.put(unit);
            return true;
        }
        if (const std::uint16_t twoBytes = tables.twoByteCode[unit]) {
            out.put(twoBytes >> 8);
            out.put(twoBytes & 0xFF);
            return true;
        }
        const std::uint32_t code = tables.encoded[unit];
        if (code == 0) return false;
        if (code <= 0xFFFF) {
            out.put(code >> 8);
            out.put(code & 0xFF);
        } else {
            out.put(code >> 24);
            out.put((code >> 16) & 0xFF);
            out.put((code >> 8) & 0xFF);
            out.put(code & 0xFF);
        }
        return true;
    }
    static bool putSupplementary(char32_t cp, ByteWriter& out) {
        unsigned linear = cp - 0x10000;
        const unsigned b4 = 0x30 + linear % 10;
        linear /= 10;
        const unsigned b3 = 0x81 + linear % 126;
        linear /= 126;
        out.put(0x90 + linear / 10);
        out.put(0x30 + linear % 10);
        out.put(b3);
        out.put(b4);
        return true;
    }
    static bool putLone(char16_t, ByteWriter&) { return false; }
};

std::unique_ptr<Decoder> makeGb18030Decoder() { return std::make_unique<Gb18030Decoder>(); }

}  // namespace

const Codec kGb18030Codec = {makeGb18030Decoder, codec::encodeWith<Gb18030Bytes>};

}  // namespace quenlet
