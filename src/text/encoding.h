// Byte encodings of text files: decoding to UTF-16 and encoding back (telling
// which encoding a file has is encoding_detector.h's part).
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
#include <span>
#include <string>
#include <string_view>

#include "text/text.h"

namespace quenlet {

enum class Encoding { Utf8, Utf16LE, Utf16BE, Gb18030, Big5 };

// How a file is encoded: the encoding and whether it starts with a byte order mark.
struct TextFormat {
    Encoding encoding = Encoding::Utf8;
    bool hasBom = false;
    bool operator==(const TextFormat&) const = default;
};

class Decoder;
struct EncodePolicy;
struct EncodeCounts;

// One encoding's encoder; see encodeText.
using EncodeFunction = std::size_t (*)(TextView text, std::string& out, const EncodePolicy& policy,
                                       EncodeCounts& counts);

// Everything the program knows about one encoding. Adding an encoding is
// adding a row to the table behind encodings().
struct EncodingInfo {
    Encoding encoding;
    std::string_view name;           // as the command line and the reports spell it
    std::string_view byteOrderMark;  // empty when the encoding has none
    // What an undecodable byte of another encoding becomes in this one: U+FFFD,
    // or "?" where the encoding has no U+FFFD.
    char16_t replacement;
    // False when some characters have no code in this encoding.
    bool holdsEveryCharacter;
    std::unique_ptr<Decoder> (*makeDecoder)();
    EncodeFunction encode;
};
std::span<const EncodingInfo> encodings();
const EncodingInfo& encodingInfo(Encoding encoding);

// "utf-8", "utf-16le", "utf-16be", "gb18030", "big5" (null-terminated).
const char* encodingName(Encoding encoding);
std::optional<Encoding> encodingFromName(std::string_view name);

// The byte order mark of an encoding; empty for GB18030 and Big5, which have none here.
std::string_view byteOrderMark(Encoding encoding);

// The formats an output can be asked for by name: each encoding by its own
// name (UTF-16 with its byte order mark, so that any program can tell it,
// the others without), and "utf-8-bom".
struct NamedFormat {
    std::string_view name;
    TextFormat format;
};
std::span<const NamedFormat> outputFormats();
std::optional<TextFormat> outputFormatFromName(std::string_view name);

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

// What the encoders do with what the output encoding cannot take as it is.
struct EncodePolicy {
    // Undecodable source bytes (escape units) are written back as those
    // bytes: right only when the output has the encoding the source was read
    // in. Otherwise each becomes the encoding's replacement character.
    bool escapesAsBytes = true;
    // A character the encoding has no code for becomes "?"; otherwise the
    // encoding stops in front of it.
    bool replaceUnencodable = false;
};

struct EncodeCounts {
    std::uint64_t escapesReplaced = 0;      // undecodable bytes written as the replacement character
    std::uint64_t unencodableReplaced = 0;  // characters written as "?"
    std::uint64_t escapesWritten = 0;       // undecodable bytes written back as themselves
    EncodeCounts& operator+=(const EncodeCounts& other) {
        escapesReplaced += other.escapesReplaced;
        unencodableReplaced += other.unencodableReplaced;
        escapesWritten += other.escapesWritten;
        return *this;
    }
};

// Appends the encoded form of `text` to `out` and returns text.size(); or,
// when the policy says to stop at a character the encoding cannot hold,
// returns that character's position, with the bytes before it appended.
std::size_t encodeText(Encoding encoding, TextView text, std::string& out, const EncodePolicy& policy,
                       EncodeCounts& counts);

// Appends the encoded form of `text` to `out`: escape units as their bytes,
// a character the encoding cannot hold as "?".
void encodeText(Encoding encoding, TextView text, std::string& out);

// Escape units and surrogates.
inline constexpr bool isEscapeUnit(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDCFF; }
inline constexpr bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline constexpr bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The character at text[at] (a surrogate pair taken whole) and its length in units.
struct CharacterAt {
    char32_t character;
    std::size_t units;
};
CharacterAt characterAt(TextView text, std::size_t at);

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
