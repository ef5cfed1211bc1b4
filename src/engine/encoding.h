// Byte encodings of text files: detection, decoding to UTF-16 and encoding back.
//
// Bytes that cannot be decoded are kept, not replaced: each becomes one
// "escape" code unit U+DC00 + byte, and the encoders write an escape unit back
// as that same byte. A file therefore always survives a round trip unchanged,
// whatever it contains.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "text.h"

namespace quenlet {

enum class Encoding { Utf8, Utf16LE, Utf16BE, Gb18030 };

// "utf-8", "utf-16le", "utf-16be", "gb18030".
const char* encodingName(Encoding encoding);
std::optional<Encoding> encodingFromName(std::string_view name);

// How a file is encoded: the encoding and whether it starts with a byte order mark.
struct TextFormat {
    Encoding encoding = Encoding::Utf8;
    bool hasBom = false;
    bool operator==(const TextFormat&) const = default;
};

// The byte order mark of an encoding; empty for GB18030, which has none here.
std::string_view byteOrderMark(Encoding encoding);

inline constexpr char16_t escapeUnit(unsigned char byte) { return static_cast<char16_t>(0xDC00 + byte); }

// One UTF-8 sequence at the front of a byte range.
struct Utf8Sequence {
    enum Status { Complete, Invalid, Incomplete } status;
    int length;          // bytes taken when Complete
    char32_t codePoint;  // when Complete
};
Utf8Sequence readUtf8Sequence(const unsigned char* bytes, std::size_t available);

// Incremental decoder. decode() appends what it can decode to `out` and
// returns how many bytes it consumed; a sequence cut by the end of `bytes` is
// left unconsumed unless `final` is set, in which case its first byte is
// escaped and decoding goes on after it.
class Decoder {
public:
    virtual ~Decoder() = default;
    virtual std::size_t decode(const unsigned char* bytes, std::size_t size, bool final, Text& out) = 0;
    std::uint64_t undecodableBytes() const { return undecodable_; }

protected:
    // The escape unit of an undecodable byte, counted.
    char16_t escaped(unsigned char byte) {
        ++undecodable_;
        return escapeUnit(byte);
    }

private:
    std::uint64_t undecodable_ = 0;
};

std::unique_ptr<Decoder> makeDecoder(Encoding encoding);

// Appends the encoded form of `text` to `out`.
void encodeText(Encoding encoding, TextView text, std::string& out);

// Strict UTF-8 for option texts and messages: fromUtf8Strict fails on bytes
// that are not valid UTF-8; fromUtf8 throws std::invalid_argument instead.
bool fromUtf8Strict(std::string_view bytes, Text& out);
Text fromUtf8(std::string_view bytes);
std::string toUtf8(TextView text);

// Incremental check that a byte stream is entirely valid UTF-8.
class Utf8Validator {
public:
    void feed(const unsigned char* bytes, std::size_t size);
    // True when everything fed so far, taken as the whole stream, is valid.
    bool finish() const { return valid_ && carried_ == 0; }
    bool stillValid() const { return valid_; }

private:
    bool valid_ = true;
    unsigned char carry_[4] = {};
    std::size_t carried_ = 0;
};

}  // namespace quenlet
