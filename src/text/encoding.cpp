#include "text/encoding.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "text/big5.h"
#include "text/gb18030.h"

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
    void pushCodePoint(char32_t cp) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            push(static_cast<char16_t>(0xD800 + (cp >> 10)));
            push(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            push(static_cast<char16_t>(cp));
        }
    }

private:
    Text& out_;
    char16_t* next_;
};


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
                w.pushCodePoint(seq.codePoint);
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

class Utf16Decoder final : public Decoder {
public:
    explicit Utf16Decoder(bool bigEndian) : bigEndian_(bigEndian) {}

    std::size_t decode(const unsigned char* bytes, std::size_t size, bool final, Text& out) override {
        UnitWriter w(out, size);
        std::size_t i = 0;
        while (i + 1 < size) {
            const char16_t unit = unitAt(bytes + i);
            if (unit < 0xD800 || unit > 0xDFFF) {
                w.push(unit);
                i += 2;
            } else if (unit <= 0xDBFF && i + 3 < size && isLowSurrogate(unitAt(bytes + i + 2))) {
                w.push(unit);
                w.push(unitAt(bytes + i + 2));
                i += 4;
            } else if (unit <= 0xDBFF && i + 3 >= size && !final) {
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
    static bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
    char16_t unitAt(const unsigned char* p) const {
        return static_cast<char16_t>(bigEndian_ ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8));
    }
    bool bigEndian_;
};

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
            w.pushCodePoint(cp);
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

class Big5Decoder final : public Decoder {
public:
    std::size_t decode(const unsigned char* bytes, std::size_t size, bool final, Text& out) override {
        const char32_t* decoded = big5::tables().decoded;
        UnitWriter w(out, size);
        std::size_t i = 0;
        while (i < size) {
            const unsigned b1 = bytes[i];
            if (b1 < 0x80) {
                w.push(static_cast<char16_t>(b1));
                ++i;
                continue;
            }
            if (big5::isLead(b1)) {
                if (i + 1 >= size) {
                    if (!final) break;
                } else if (const unsigned b2 = bytes[i + 1]; b2 >= 0x40 && b2 <= 0xFE) {
                    // Codes with a trail byte in the gap 0x7F..0xA0 are 0 in the table.
                    if (const char32_t c = decoded[big5::codeIndex(b1, b2)]) {
                        if (c < 0x10000) w.push(static_cast<char16_t>(c));
                        else w.pushCodePoint(c);
                        i += 2;
                        continue;
                    }
                }
            }
            // Only the first byte is undecodable; the next may start a code.
            w.push(escaped(bytes[i++]));
        }
        return i;
    }
};

}  // namespace

namespace {

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

// The codecs the encoding loop is built for. Each puts a BMP character that
// is not a surrogate, a character above the BMP, and a surrogate that stands
// alone; each returns false when the encoding has no code for it.
struct Utf8Codec {
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

template <bool BigEndian>
struct Utf16Codec {
    static bool putBmp(char16_t unit, ByteWriter& out) {
        out.put(BigEndian ? unit >> 8 : unit & 0xFF);
        out.put(BigEndian ? unit & 0xFF : unit >> 8);
        return true;
    }
    static bool putSupplementary(char32_t cp, ByteWriter& out) {
        cp -= 0x10000;
        putBmp(static_cast<char16_t>(0xD800 + (cp >> 10)), out);
        putBmp(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)), out);
        return true;
    }
    static bool putLone(char16_t unit, ByteWriter& out) { return putBmp(unit, out); }
};

struct Gb18030Codec {
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

struct Big5Codec {
    const big5::Tables& tables = big5::tables();

    bool putBmp(char16_t unit, ByteWriter& out) const {
        if (unit < 0x80) {
            out.put(unit);
            return true;
        }
        return putCode(tables.encoded[unit], out);
    }
    bool putSupplementary(char32_t cp, ByteWriter& out) const { return putCode(tables.supplementaryCode(cp), out); }
    static bool putLone(char16_t, ByteWriter&) { return false; }

private:
    static bool putCode(unsigned code, ByteWriter& out) {
        if (code == 0) return false;
        out.put(code >> 8);
        out.put(code & 0xFF);
        return true;
    }
};

template <typename Codec>
std::size_t encodeWith(TextView text, std::string& out, const EncodePolicy& policy, EncodeCounts& counts,
                       char16_t replacement) {
    const Codec codec;
    ByteWriter bytes(out, text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0xD800 || unit > 0xDFFF) {  // the common case: no surrogate
            if (codec.putBmp(unit, bytes)) continue;
        } else if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            if (codec.putSupplementary(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00), bytes)) {
                ++i;
                continue;
            }
        } else if (isEscapeUnit(unit)) {
            if (policy.escapesAsBytes) {
                bytes.put(unit - 0xDC00);
                ++counts.escapesWritten;
            } else {
                codec.putBmp(replacement, bytes);
                ++counts.escapesReplaced;
            }
            continue;
        } else if (codec.putLone(unit, bytes)) {
            continue;
        }
        // A character this encoding has no code for.
        if (!policy.replaceUnencodable) return i;
        bytes.put('?');
        ++counts.unencodableReplaced;
        if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) ++i;
    }
    return text.size();
}

template <typename Codec, char16_t Replacement>
std::size_t encodeAs(TextView text, std::string& out, const EncodePolicy& policy, EncodeCounts& counts) {
    return encodeWith<Codec>(text, out, policy, counts, Replacement);
}

template <typename DecoderType, auto... Arguments>
std::unique_ptr<Decoder> makeAs() {
    return std::make_unique<DecoderType>(Arguments...);
}

constexpr char16_t kReplacementCharacter = 0xFFFD;

const EncodingInfo kEncodings[] = {
    {Encoding::Utf8, "utf-8", "\xEF\xBB\xBF", kReplacementCharacter, true, makeAs<Utf8Decoder>,
     encodeAs<Utf8Codec, kReplacementCharacter>},
    {Encoding::Utf16LE, "utf-16le", "\xFF\xFE", kReplacementCharacter, true, makeAs<Utf16Decoder, false>,
     encodeAs<Utf16Codec<false>, kReplacementCharacter>},
    {Encoding::Utf16BE, "utf-16be", "\xFE\xFF", kReplacementCharacter, true, makeAs<Utf16Decoder, true>,
     encodeAs<Utf16Codec<true>, kReplacementCharacter>},
    {Encoding::Gb18030, "gb18030", "", kReplacementCharacter, true, makeAs<Gb18030Decoder>,
     encodeAs<Gb18030Codec, kReplacementCharacter>},
    // Big5 has no U+FFFD.
    {Encoding::Big5, "big5", "", u'?', false, makeAs<Big5Decoder>, encodeAs<Big5Codec, u'?'>},
};

}  // namespace

std::span<const EncodingInfo> encodings() { return kEncodings; }

const EncodingInfo& encodingInfo(Encoding encoding) {
    for (const EncodingInfo& info : kEncodings)
        if (info.encoding == encoding) return info;
    throw std::logic_error("unknown encoding");
}

const char* encodingName(Encoding encoding) { return encodingInfo(encoding).name.data(); }

std::optional<Encoding> encodingFromName(std::string_view name) {
    for (const EncodingInfo& info : kEncodings)
        if (name == info.name) return info.encoding;
    return std::nullopt;
}

std::string_view byteOrderMark(Encoding encoding) { return encodingInfo(encoding).byteOrderMark; }

std::span<const NamedFormat> outputFormats() {
    static const std::vector<NamedFormat> formats = [] {
        std::vector<NamedFormat> all;
        for (const EncodingInfo& info : kEncodings) {
            const bool utf16 = info.encoding == Encoding::Utf16LE || info.encoding == Encoding::Utf16BE;
            all.push_back({info.name, {info.encoding, utf16}});
            if (info.encoding == Encoding::Utf8) all.push_back({"utf-8-bom", {Encoding::Utf8, true}});
        }
        return all;
    }();
    return formats;
}

std::optional<TextFormat> outputFormatFromName(std::string_view name) {
    for (const NamedFormat& named : outputFormats())
        if (named.name == name) return named.format;
    return std::nullopt;
}

std::unique_ptr<Decoder> makeDecoder(Encoding encoding) { return encodingInfo(encoding).makeDecoder(); }

std::size_t encodeText(Encoding encoding, TextView text, std::string& out, const EncodePolicy& policy,
                       EncodeCounts& counts) {
    return encodingInfo(encoding).encode(text, out, policy, counts);
}

void encodeText(Encoding encoding, TextView text, std::string& out) {
    constexpr EncodePolicy lenient{true, true};
    EncodeCounts counts;
    encodeText(encoding, text, out, lenient, counts);
}

CharacterAt characterAt(TextView text, std::size_t at) {
    const char16_t unit = text[at];
    if (isHighSurrogate(unit) && at + 1 < text.size() && isLowSurrogate(text[at + 1]))
        return {0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[at + 1] - 0xDC00), 2};
    return {unit, 1};
}

bool fromUtf8Strict(std::string_view bytes, Text& out) {
    out.clear();
    UnitWriter w(out, bytes.size());
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        const Utf8Sequence seq = readUtf8Sequence(data + i, bytes.size() - i);
        if (seq.status != Utf8Sequence::Complete) return false;
        w.pushCodePoint(seq.codePoint);
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
