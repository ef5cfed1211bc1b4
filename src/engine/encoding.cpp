#include "encoding.h"

#include <algorithm>
#include <stdexcept>

#include "gb18030.h"

namespace quenlet {

const char* encodingName(Encoding encoding) {
    switch (encoding) {
        case Encoding::Utf8: return "utf-8";
        case Encoding::Utf16LE: return "utf-16le";
        case Encoding::Utf16BE: return "utf-16be";
        case Encoding::Gb18030: return "gb18030";
    }
    return "?";
}

std::optional<Encoding> encodingFromName(std::string_view name) {
    for (Encoding e : {Encoding::Utf8, Encoding::Utf16LE, Encoding::Utf16BE, Encoding::Gb18030})
        if (name == encodingName(e)) return e;
    return std::nullopt;
}

std::string_view byteOrderMark(Encoding encoding) {
    switch (encoding) {
        case Encoding::Utf8: return "\xEF\xBB\xBF";
        case Encoding::Utf16LE: return "\xFF\xFE";
        case Encoding::Utf16BE: return "\xFE\xFF";
        case Encoding::Gb18030: return "";
    }
    return "";
}

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

void appendCodePoint(char32_t cp, Text& out) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

class Utf8Decoder final : public Decoder {
public:
    std::size_t decode(const unsigned char* bytes, std::size_t size, bool final, Text& out) override {
        std::size_t i = 0;
        while (i < size) {
            if (bytes[i] < 0x80) {  // fast path for ASCII runs
                out.push_back(bytes[i++]);
                continue;
            }
            const Utf8Sequence seq = readUtf8Sequence(bytes + i, size - i);
            if (seq.status == Utf8Sequence::Complete) {
                appendCodePoint(seq.codePoint, out);
                i += seq.length;
            } else if (seq.status == Utf8Sequence::Incomplete && !final) {
                break;
            } else {
                escape(bytes[i++], out);
            }
        }
        return i;
    }
};

class Utf16Decoder final : public Decoder {
public:
    explicit Utf16Decoder(bool bigEndian) : bigEndian_(bigEndian) {}

    std::size_t decode(const unsigned char* bytes, std::size_t size, bool final, Text& out) override {
        std::size_t i = 0;
        while (i + 1 < size) {
            const char16_t unit = unitAt(bytes + i);
            if (unit < 0xD800 || unit > 0xDFFF) {
                out.push_back(unit);
                i += 2;
            } else if (unit <= 0xDBFF && i + 3 < size && isLowSurrogate(unitAt(bytes + i + 2))) {
                out.push_back(unit);
                out.push_back(unitAt(bytes + i + 2));
                i += 4;
            } else if (unit <= 0xDBFF && i + 3 >= size && !final) {
                break;  // the low half may be in the next block
            } else {
                // An unpaired surrogate: both of its bytes are kept as escapes.
                escape(bytes[i], out);
                escape(bytes[i + 1], out);
                i += 2;
            }
        }
        if (final && i < size) escape(bytes[i++], out);  // an odd trailing byte
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
        std::size_t i = 0;
        while (i < size) {
            const unsigned b1 = bytes[i];
            if (b1 < 0x80) {
                out.push_back(static_cast<char16_t>(b1));
                ++i;
                continue;
            }
            if (b1 == 0x80 || b1 == 0xFF) {
                escape(bytes[i++], out);
                continue;
            }
            if (i + 1 >= size) {
                if (!final) break;
                escape(bytes[i++], out);
                continue;
            }
            const unsigned b2 = bytes[i + 1];
            if ((b2 >= 0x40 && b2 <= 0x7E) || (b2 >= 0x80 && b2 <= 0xFE)) {
                out.push_back(gb18030::decodeTwoByte(b1, b2));
                i += 2;
                continue;
            }
            if (b2 < 0x30 || b2 > 0x39) {
                escape(bytes[i++], out);
                continue;
            }
            if (i + 3 >= size && !final) {
                // Wait for the rest only while what we have can still become a code.
                if (i + 2 >= size || (bytes[i + 2] >= 0x81 && bytes[i + 2] <= 0xFE)) break;
            }
            const char32_t cp = fourByteCode(bytes + i, size - i);
            if (cp == 0) {
                escape(bytes[i++], out);
                continue;
            }
            appendCodePoint(cp, out);
            i += 4;
        }
        return i;
    }

private:
    // The character of a four-byte code, 0 when the bytes are not one.
    static char32_t fourByteCode(const unsigned char* p, std::size_t available) {
        if (available < 4) return 0;
        const unsigned b1 = p[0], b2 = p[1], b3 = p[2], b4 = p[3];
        if (b3 < 0x81 || b3 > 0xFE || b4 < 0x30 || b4 > 0x39) return 0;
        const unsigned tail = ((b2 - 0x30) * 126 + (b3 - 0x81)) * 10 + (b4 - 0x30);
        if (b1 <= 0x84) return gb18030::decodeFourByteBmp((b1 - 0x81) * 12600 + tail);
        if (b1 < 0x90 || b1 > 0xE3) return 0;
        const char32_t cp = 0x10000 + (b1 - 0x90) * 12600 + tail;
        return cp <= 0x10FFFF ? cp : 0;
    }
};

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool isEscape(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDCFF; }

void appendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void appendGb18030(char32_t cp, std::string& out) {
    unsigned char bytes[4];
    if (cp >= 0x10000) {
        unsigned linear = cp - 0x10000;
        bytes[3] = static_cast<unsigned char>(0x30 + linear % 10);
        linear /= 10;
        bytes[2] = static_cast<unsigned char>(0x81 + linear % 126);
        linear /= 126;
        bytes[1] = static_cast<unsigned char>(0x30 + linear % 10);
        bytes[0] = static_cast<unsigned char>(0x90 + linear / 10);
        out.append(reinterpret_cast<const char*>(bytes), 4);
        return;
    }
    const int length = gb18030::encodeBmp(static_cast<char16_t>(cp), bytes);
    if (length == 0) {
        out.push_back('?');  // no code exists; only reachable through option texts
        return;
    }
    out.append(reinterpret_cast<const char*>(bytes), length);
}

}  // namespace

std::unique_ptr<Decoder> makeDecoder(Encoding encoding) {
    switch (encoding) {
        case Encoding::Utf8: return std::make_unique<Utf8Decoder>();
        case Encoding::Utf16LE: return std::make_unique<Utf16Decoder>(false);
        case Encoding::Utf16BE: return std::make_unique<Utf16Decoder>(true);
        case Encoding::Gb18030: return std::make_unique<Gb18030Decoder>();
    }
    return nullptr;
}

void encodeText(Encoding encoding, TextView text, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0x80 && encoding != Encoding::Utf16LE && encoding != Encoding::Utf16BE) {
            out.push_back(static_cast<char>(unit));
            continue;
        }
        char32_t cp = unit;
        bool pair = false;
        if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            pair = true;
        } else if (isEscape(unit)) {
            out.push_back(static_cast<char>(unit - 0xDC00));
            continue;
        }
        switch (encoding) {
            case Encoding::Utf8:
                // A lone surrogate cannot be UTF-8; it is written in the
                // three-byte form so that nothing is dropped.
                appendUtf8(cp, out);
                break;
            case Encoding::Utf16LE:
            case Encoding::Utf16BE: {
                const bool be = encoding == Encoding::Utf16BE;
                const std::size_t units = pair ? 2 : 1;
                for (std::size_t k = 0; k < units; ++k) {
                    const char16_t u = text[i + k];
                    out.push_back(static_cast<char>(be ? u >> 8 : u & 0xFF));
                    out.push_back(static_cast<char>(be ? u & 0xFF : u >> 8));
                }
                break;
            }
            case Encoding::Gb18030:
                if (!pair && cp >= 0xD800 && cp <= 0xDFFF) out.push_back('?');
                else appendGb18030(cp, out);
                break;
        }
        if (pair) ++i;
    }
}

bool fromUtf8Strict(std::string_view bytes, Text& out) {
    out.clear();
    out.reserve(bytes.size());
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        const Utf8Sequence seq = readUtf8Sequence(data + i, bytes.size() - i);
        if (seq.status != Utf8Sequence::Complete) return false;
        appendCodePoint(seq.codePoint, out);
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
