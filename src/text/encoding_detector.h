// Telling a file's encoding from its bytes: one prober per encoding, asked in
// turn; the first that recognises the bytes decides.
//
// A byte order mark decides first, then a file that is valid UTF-8 from end
// to end. UTF-16 without a mark shows itself by its zero bytes (or, in a
// text without any ASCII, by decoding to plain Chinese). A file that is UTF-8
// but for a few bytes (a stray byte, a character cut off at the end, a word
// pasted from another encoding) is UTF-8, those bytes kept as they are.
// Big5 and GB18030 both accept most byte pairs, so the one whose decoding
// reads more like Chinese prose -- common characters, the usual punctuation,
// no undecodable bytes -- wins, judged on blocks spread over the whole file;
// Big5 only with a clear lead, GB18030 when there is too little text to tell.
//
// A long file that reads as Chinese in none of these (UTF-32, a Japanese or
// Korean encoding, binary data) is not guessed at: detection says what it
// most likely is, and the file is refused unless an encoding is forced.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/encoding.h"

namespace quenlet {

enum class DetectedBy {
    Option,
    Mark,
    Utf8,
    Utf16Pattern,
    Utf16Score,
    Big5Score,
    Gb18030Score,
    TooShort,
    MostlyUtf8,   // UTF-8 but for a few bytes
    Unsupported,  // no supported encoding: see Detection::likely
};

// "option", "mark", "utf-8", "utf-16 pattern", "utf-16 score", "big5 score",
// "gb18030 score", "too short to tell", "utf-8 but for a few bytes",
// "no supported encoding".
const char* detectedByName(DetectedBy by);
// True when the encoding was inferred from the text rather than known from a
// mark, from being valid UTF-8, or from the user's choice.
bool isGuess(DetectedBy by);

// What a file that reads as Chinese in no supported encoding most likely is.
enum class LikelyEncoding : std::uint8_t {
    Unknown,
    Utf32LE,
    Utf32BE,
    ShiftJis,
    EucJp,
    EucKr,
    EucTw,
    Hz,
    SingleByte,  // a single-byte encoding of a Western language (Windows-1252, Mac OS Roman ...)
    Binary,      // no text at all
};
// "UTF-32LE", "Shift_JIS", ..., "a single-byte encoding such as Windows-1252
// or Mac OS Roman", "binary data, not text", "an unsupported encoding".
const char* likelyEncodingName(LikelyEncoding likely);

struct Detection {
    TextFormat format;
    DetectedBy by = DetectedBy::Utf8;
    LikelyEncoding likely = LikelyEncoding::Unknown;  // when by is Unsupported
    bool byteOrderMark = false;  // Unsupported: the file starts with the likely encoding's mark
    bool operator==(const Detection&) const = default;
};

// How much a decoded text reads like Chinese prose.
struct TextScore {
    std::size_t characters = 0;   // characters other than ASCII
    std::size_t commonHan = 0;    // among the commonest simplified or traditional characters
    std::size_t punctuation = 0;  // the marks of Chinese prose: ，。、：「」“” ...
    std::size_t implausible = 0;  // undecodable bytes, private-use characters, control characters
    // The weight of the evidence: plausible characters count for, unusual and
    // implausible ones against.
    long long value() const;
    // At least half the characters are common ones or punctuation.
    bool readsAsChinese() const { return (commonHan + punctuation) * 2 >= characters; }
    // And, as prose does, has a punctuation mark in a hundred characters at
    // least, and reads well on the whole.
    bool readsAsChineseProse() const {
        return readsAsChinese() && punctuation * 100 >= characters && value() * 4 >= static_cast<long long>(characters);
    }
    TextScore& operator+=(const TextScore& other);
};
TextScore scoreText(TextView text);

// A whole byte stream read as UTF-8: its sequences of two bytes or more, and
// the bytes a UTF-8 decoder could not decode (each escaped on its own).
struct Utf8Counts {
    std::uint64_t bytes = 0;
    std::uint64_t sequences = 0;
    std::uint64_t invalidBytes = 0;
    std::uint64_t firstInvalid = 0;  // the offset of the first invalid byte, when there is one
    // False when counting stopped early: far too many bytes were invalid.
    bool complete = true;
    bool valid() const { return complete && invalidBytes == 0; }
};

// Counts a stream fed block by block, a sequence cut by a block's end carried on.
class Utf8Counter {
public:
    void feed(const unsigned char* bytes, std::size_t size);
    // The counts, with a sequence cut by the end of the stream as invalid bytes.
    Utf8Counts finish() const;
    // So many bytes are invalid that the stream is no UTF-8 with a few bad
    // bytes, whatever follows: the caller may stop counting.
    bool hopeless() const { return counts_.invalidBytes >= 64 && counts_.invalidBytes * 20 > counts_.sequences; }

private:
    void invalid(std::uint64_t offset, std::uint64_t count = 1);
    Utf8Counts counts_;
    unsigned char carry_[4] = {};
    std::size_t carried_ = 0;
};

// What the probers look at: the first bytes of the file, blocks spread over
// the rest of it, and how the whole file reads as UTF-8.
class Sample {
public:
    Sample(std::string_view bytes, bool wholeFileIsUtf8, bool complete);
    // `spread`: blocks from beyond the first bytes, each starting where a
    // character does.
    Sample(std::string_view bytes, const Utf8Counts& utf8, bool complete, std::vector<std::string> spread = {});
    Sample(const Sample&) = delete;  // (it holds views of its own blocks)
    Sample& operator=(const Sample&) = delete;
    std::string_view bytes() const { return bytes_; }
    bool wholeFileIsUtf8() const { return utf8_.valid(); }
    const Utf8Counts& utf8() const { return utf8_; }
    bool complete() const { return complete_; }
    // The score of the sample decoded in an encoding; a character cut by the
    // end of an incomplete sample is left out.
    const TextScore& score(Encoding encoding) const;
    // The same over the first bytes and the spread blocks together (less
    // those that are UTF-8 in a file whose UTF-8 breaks off).
    const TextScore& wideScore(Encoding encoding) const;
    // How many bytes above ASCII the first bytes and the spread blocks hold (the same).
    std::size_t wideNonAsciiBytes() const;

private:
    std::string_view bytes_;
    Utf8Counts utf8_;
    bool complete_;  // the sample is the whole file
    std::vector<std::string> spread_;
    std::vector<std::string_view> wide_;  // what the wide scores count: of the first bytes and the spread blocks
    mutable std::array<std::optional<TextScore>, kEncodingCount> scores_;      // by Encoding
    mutable std::array<std::optional<TextScore>, kEncodingCount> wideScores_;  // the same with the spread blocks
};
inline constexpr std::size_t kSampleBytes = 64 * 1024;
// The blocks spread over the rest of a longer file: at most this many, of this size.
inline constexpr std::size_t kSpreadBlocks = 16;
inline constexpr std::size_t kSpreadBlockBytes = 4 * 1024;
// A sample with fewer bytes above ASCII than this is too short to be refused.
inline constexpr std::size_t kRefusableNonAscii = 512;

class Prober {
public:
    virtual ~Prober() = default;
    virtual std::optional<Detection> probe(const Sample& sample) const = 0;
};

// Runs the probers in order. Always answers: Unsupported for a long file that
// reads as Chinese in no supported encoding, else GB18030 when nothing else fits.
Detection detectEncoding(const Sample& sample);

// What a sample of bytes in no supported encoding most likely holds
// (other_encodings.cpp): trial decodings with the C library's converters.
LikelyEncoding likelyEncodingOf(std::string_view bytes);
// The UTF-32 that the zero bytes of a sample show (for every character of
// the Basic Multilingual Plane two of its four bytes are zero), if any.
std::optional<LikelyEncoding> utf32Pattern(std::string_view bytes);

}  // namespace quenlet
