// The UTF-8 codec, and UTF-8 for option texts and messages.
#include "text/utf8.h"

#include <algorithm>
#include <stdexcept>

#include "text/codec.h"

namespace quenlet {

Utf8Sequence readUtf8Sequence(const unsigned char* bytes, std::size_t available) {
    const unsigned char b0 = bytes[0];
    if (b0 < 0x80) return {Utf8Sequence::Complete, 1, b0};
    int extra;
    char32_t cp;
    // The allowed range of the second byte rules out overlong forms, surrogates
    // and code points above U+10FFFF as early as possible.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) { extra = 1; cp = b0 & 0x1F; }
    else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2; cp = b0 & 0x0F;
        if (b0 == 0xE0) low = 0xA0;
        if (b0 == 0xED) high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3; cp = b0 & 0x07;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;
    } else {
        return {Utf8Sequence::Invalid, 0, 0};
    }
    for (int k = 1; k <= extra; ++k) {
        if (static_cast<std::size_t>(k) >= available) return {Utf8Sequence::Incomplete, 0, 0};
        const unsigned char b = bytes[k];
        if (k == 1 ? (b < low || b > high) : (b & 0xC0) != 0x80) return {Utf8Sequence::Invalid, 0, 0};
        cp = (cp << 6) | (b & 0x3F);
    }
    return {Utf8Sequence::Complete, extra + 1, cp};
}

namespace {

using codec::ByteWriter;
using codec::UnitWriter;

class Utf8Decoder final : public Decoder {
public:
    std::size_t decode(const unsigned char* bytes, std::size_t size, bool final, Text& out) override {
        UnitWriter w(out, size);
        std::size_t i = 0;
        while (i < size) {
            if (bytes[i] < 0x80) {  // fast path for ASCII runs
                w.push(bytes[i++]);
                continue;
            }
            const Utf8Sequence seq = readUtf8Sequence(bytes + i, size - i);
            if (seq.status == Utf8Sequence::Complete) {
                w.pushCharacter(seq.codePoint);
                i += seq.length;
            } else if (seq.status == Utf8Sequence::Incomplete && !final) {
                break;
            } else {
                w.push(escaped(bytes[i++]));
            }
        }
        return i;
    }
};

// Characters as UTF-8 bytes, for the encoding loop (codec::encodeWith).
struct Utf8Bytes {
    static bool putBmp(char16_t unit, ByteWriter& out) {
        if (unit < 0x80) {
            out.put(unit);
        } else if (unit < 0x800) {
            out.put(0xC0 | (unit >> 6));
            out.put(0x80 | (unit & 0x3F));
        } else {
            out.put(0xE0 | (unit >> 12));
            out.put(0x80 | ((unit >> 6) & 0x3F));
            out.put(0x80 | (unit & 0x3F));
        }
        return true;
    }
    static bool putSupplementary(char32_t cp, ByteWriter& out) {
        out.put(0xF0 | (cp >> 18));
        out.put(0x80 | ((cp >> 12) & 0x3F));
        out.put(0x80 | ((cp >> 6) & 0x3F));
        out.put(0x80 | (cp & 0x3F));
        return true;
    }
    // In the three-byte form, so that nothing is dropped.
    static bool putLone(char16_t unit, ByteWriter& out) { return putBmp(unit, out); }
};

std::unique_ptr<Decoder> makeUtf8Decoder() { return std::make_unique<Utf8Decoder>(); }

}  // namespace

const Codec kUtf8Codec = {makeUtf8Decoder, codec::encodeWith<Utf8Bytes>};

bool fromUtf8Strict(std::string_view bytes, Text& out) {
    out.clear();
    UnitWriter w(out, bytes.size());
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        const Utf8Sequence seq = readUtf8Sequence(data + i, bytes.size() - i);
        if (seq.status != Utf8Sequence::Complete) return false;
        w.pushCharacter(seq.codePoint);
        i += seq.length;
    }
    return true;
}

Text fromUtf8(std::string_view bytes) {
    Text out;
    if (!fromUtf8Strict(bytes, out)) throw std::invalid_argument("text is not valid UTF-8");
    return out;
}

std::string toUtf8(TextView text) {
    std::string out;
    encodeText(Encoding::Utf8, text, out);
    return out;
}

void Utf8Validator::feed(const unsigned char* bytes, std::size_t size) {
    if (!valid_) return;
    std::size_t i = 0;
    if (carried_ > 0) {
        // Complete the sequence cut at the previous block's end.
        while (carried_ < 4 && i < size) {
            carry_[carried_++] = bytes[i++];
            const Utf8Sequence seq = readUtf8Sequence(carry_, carried_);
            if (seq.status == Utf8Sequence::Invalid) { valid_ = false; return; }
            if (seq.status == Utf8Sequence::Complete) {
                const std::size_t unused = carried_ - seq.length;
                i -= unused;
                carried_ = 0;
                break;
            }
        }
        if (carried_ > 0) return;  // still incomplete, the block was tiny
    }
    while (i < size) {
        if (bytes[i] < 0x80) { ++i; continue; }
        const Utf8Sequence seq = readUtf8Sequence(bytes + i, size - i);
        if (seq.status == Utf8Sequence::Invalid) { valid_ = false; return; }
        if (seq.status == Utf8Sequence::Incomplete) {
            carried_ = size - i;
            std::copy(bytes + i, bytes + size, carry_);
            return;
        }
        i += seq.length;
    }
}

}  // namespace quenlet
