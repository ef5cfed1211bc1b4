// The UTF-16 codecs, little-endian and big-endian.
#include "text/codec.h"

namespace quenlet {
namespace {

using codec::ByteWriter;
using codec::UnitWriter;

class Utf16Decoder final : public Decoder {
public:
    explicit Utf16Decoder(bool bigEndian) : bigEndian_(bigEndian) {}

    std::size_t decode(const unsigned char* bytes, std::size_t size, bool final, Text& out) override {
        UnitWriter w(out, size);
        std::size_t i = 0;
        while (i + 1 < size) {
            const char16_t unit = unitAt(bytes + i);
            if (!isSurrogate(unit)) {
                w.push(unit);
                i += 2;
            } else if (isHighSurrogate(unit) && i + 3 < size && isLowSurrogate(unitAt(bytes + i + 2))) {
                w.push(unit);
                w.push(unitAt(bytes + i + 2));
                i += 4;
            } else if (isHighSurrogate(unit) && i + 3 >= size && !final) {
                break;  // the low half may be in the next block
            } else {
                // An unpaired surrogate: both of its bytes are kept as escapes.
                w.push(escaped(bytes[i]));
                w.push(escaped(bytes[i + 1]));
                i += 2;
            }
        }
        if (final && i < size) w.push(escaped(bytes[i++]));  // an odd trailing byte
        return i;
    }

private:
    char16_t unitAt(const unsigned char* p) const {
        return static_cast<char16_t>(bigEndian_ ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8));
    }
    bool bigEndian_;
};

// Characters as UTF-16 bytes in the given order, for the encoding loop.
template <bool BigEndian>
struct Utf16Bytes {
    static bool putBmp(char16_t unit, ByteWriter& out) {
        out.put(BigEndian ? unit >> 8 : unit & 0xFF);
        out.put(BigEndian ? unit & 0xFF : unit >> 8);
        return true;
    }
    static bool putSupplementary(char32_t cp, ByteWriter& out) {
        putBmp(highSurrogateOf(cp), out);
        putBmp(lowSurrogateOf(cp), out);
        return true;
    }
    static bool putLone(char16_t unit, ByteWriter& out) { return putBmp(unit, out); }
};

template <bool BigEndian>
std::unique_ptr<Decoder> makeUtf16Decoder() {
    return std::make_unique<Utf16Decoder>(BigEndian);
}

}  // namespace

const Codec kUtf16LECodec = {makeUtf16Decoder<false>, codec::encodeWith<Utf16Bytes<false>>};
const Codec kUtf16BECodec = {makeUtf16Decoder<true>, codec::encodeWith<Utf16Bytes<true>>};

}  // namespace quenlet
