// The codecs behind the encoding table: for each encoding one decoder and one
// encoder (utf8.cpp, utf16.cpp, gb18030.cpp, big5.cpp), which the table's
// row names (encoding.cpp). Everything else reaches them through
// text/encoding.h.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "text/encoding.h"
#include "text/utf16.h"

namespace quenlet {

struct Codec {
    std::unique_ptr<Decoder> (*makeDecoder)();
    // Encodes as encodeText() does; an undecodable byte that cannot go back
    // as itself becomes `replacement`.
    std::size_t (*encode)(TextView text, std::string& out, const EncodePolicy& policy, EncodeCounts& counts,
                          char16_t replacement);
};
extern const Codec kUtf8Codec;
extern const Codec kUtf16LECodec;
extern const Codec kUtf16BECodec;
extern const Codec kGb18030Codec;
extern const Codec kBig5Codec;

namespace codec {

// Writes decoded units straight into the output text, sized up front for the
// most a block can yield (never more units than bytes) and trimmed after.
class UnitWriter {
public:
    UnitWriter(Text& out, std::size_t most) : out_(out) {
        const std::size_t base = out.size();
        out.resize(base + most);
        next_ = out.data() + base;
    }
    ~UnitWriter() { out_.resize(static_cast<std::size_t>(next_ - out_.data())); }
    UnitWriter(const UnitWriter&) = delete;
    UnitWriter& operator=(const UnitWriter&) = delete;
    void push(char16_t unit) { *next_++ = unit; }
    void pushCharacter(char32_t character) {
        if (character >= 0x10000) {
            push(highSurrogateOf(character));
            push(lowSurrogateOf(character));
        } else {
            push(static_cast<char16_t>(character));
        }
    }

private:
    Text& out_;
    char16_t* next_;
};

// Writes encoded bytes straight into the output, sized up front for the most
// a text can need (four bytes a unit) and trimmed after.
class ByteWriter {
public:
    ByteWriter(std::string& out, std::size_t units) : out_(out) {
        const std::size_t base = out.size();
        out.resize(base + units * 4);
        next_ = out.data() + base;
    }
    ~ByteWriter() { out_.resize(static_cast<std::size_t>(next_ - out_.data())); }
    ByteWriter(const ByteWriter&) = delete;
    ByteWriter& operator=(const ByteWriter&) = delete;
    void put(unsigned value) { *next_++ = static_cast<char>(value); }

private:
    std::string& out_;
    char* next_;
};

// The encoding loop, the same for every encoding. `Bytes` puts a BMP
// character that is not a surrogate (putBmp), a character above the BMP
// (putSupplementary) and a surrogate that stands alone (putLone); each
// returns false when the encoding has no code for it.
template <typename Bytes>
std::size_t encodeWith(TextView text, std::string& out, const EncodePolicy& policy, EncodeCounts& counts,
                       char16_t replacement) {
    const Bytes bytesOf;
    ByteWriter bytes(out, text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (!isSurrogate(unit)) {  // the common case
            if (bytesOf.putBmp(unit, bytes)) continue;
        } else if (pairStartsAt(text, i)) {
            if (bytesOf.putSupplementary(fromSurrogates(unit, text[i + 1]), bytes)) {
                ++i;
                continue;
            }
        } else if (isEscapeUnit(unit)) {
            if (policy.escapesAsBytes) {
                bytes.put(unit - 0xDC00);
                ++counts.escapesWritten;
            } else {
                bytesOf.putBmp(replacement, bytes);
                ++counts.escapesReplaced;
            }
            continue;
        } else if (bytesOf.putLone(unit, bytes)) {
            continue;
        }
        // A character this encoding has no code for.
        if (!policy.replaceUnencodable) return i;
        bytes.put('?');
        ++counts.unencodableReplaced;
        if (pairStartsAt(text, i)) ++i;
    }
    return text.size();
}

}  // namespace codec
}  // namespace quenlet
