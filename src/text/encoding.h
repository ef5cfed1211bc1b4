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
#include "text/utf16.h"
#include "text/utf8.h"

namespace quenlet {

enum class Encoding { Utf8, Utf16LE, Utf16BE, Gb18030, Big5 };
// The rows of the encoding table, one for each Encoding (checked where the table is).
inline constexpr std::size_t kEncodingCount = 5;

// How a file is encoded: the encoding and whether it starts with a byte order mark.
struct TextFormat {
    Encoding encoding = Encoding::Utf8;
    bool hasBom = false;
    bool operator==(const TextFormat&) const = default;
};

struct Codec;

// Everything the program knows about one encoding. Adding an encoding is
// adding a row to the table behind encodings(), and a codec (text/codec.h).
struct EncodingInfo {
    Encoding encoding;
    std::string_view name;           // as the command line and the reports spell it
    std::string_view byteOrderMark;  // empty when the encoding has none
    // Bytes to a code unit: 2 for UTF-16, whose units are pairs of bytes (so
    // that an odd last byte belongs to no character); 1 for the others.
    unsigned unitBytes;
    // An output asked for by the encoding's name starts with its byte order
    // mark (UTF-16, so that any program can tell its byte order).
    bool markedWhenNamed;
    // The name of the other choice of mark, when there is one ("utf-8-bom").
    std::string_view otherMarkName;
    // What an undecodable byte of another encoding becomes in this one: U+FFFD,
    // or "?" where the encoding has no U+FFFD.
    char16_t replacement;
    // False when some characters have no code in this encoding.
    bool holdsEveryCharacter;
    // True when a 0x0A byte is always a line feed, never a piece of another
    // character's code, so that a line starts after any of them: a reader
    // may begin in the middle of the file there.
    bool lineFeedByteStandsAlone;
    const Codec& codec;
};
std::span<const EncodingInfo> encodings();
const EncodingInfo& encodingInfo(Encoding encoding);

// "utf-8", "utf-16le", "utf-16be", "gb18030", "big5" (null-terminated).
const char* encodingName(Encoding encoding);
std::optional<Encoding> encodingFromName(std::string_view name);

// The byte order mark of an encoding; empty for GB18030 and Big5, which have none here.
std::string_view byteOrderMark(Encoding encoding);

// The formats an output can be asked for by name: each encoding by its own
// name (with its byte order mark when markedWhenNamed), then by
// otherMarkName where it has one.
struct NamedFormat {
    std::string_view name;
    TextFormat format;
};
std::span<const NamedFormat> outputFormats();
std::optional<TextFormat> outputFormatFromName(std::string_view name);

// The escape unit of an undecodable byte: a lone low surrogate, which no
// decoded character is.
inline constexpr char16_t escapeUnit(unsigned char byte) { return static_cast<char16_t>(0xDC00 + byte); }
inline constexpr bool isEscapeUnit(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDCFF; }

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

}  // namespace quenlet
