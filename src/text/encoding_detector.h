// Telling a file's encoding from its bytes: one prober per encoding, asked in
// turn; the first that recognises the bytes decides.
//
// A byte order mark decides first, then a file that is valid UTF-8 from end
// to end. UTF-16 without a mark shows itself by its zero bytes (or, in a
// text without any ASCII, by decoding to plain Chinese). Big5 and GB18030
// both accept most byte pairs, so the one whose decoding reads more like
// Chinese prose -- common characters, the usual punctuation, no undecodable
// bytes -- wins; Big5 only with a clear lead, GB18030 when there is too little
// text to tell.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "text/encoding.h"

namespace quenlet {

enum class DetectedBy { Option, Mark, Utf8, Utf16Pattern, Utf16Score, Big5Score, Gb18030Score, TooShort };

// "option", "mark", "utf-8", "utf-16 pattern", "utf-16 score", "big5 score",
// "gb18030 score", "too short to tell".
const char* detectedByName(DetectedBy by);
// True when the encoding was inferred from the text rather than known from a
// mark, from being valid UTF-8, or from the user's choice.
bool isGuess(DetectedBy by);

struct Detection {
    TextFormat format;
    DetectedBy by = DetectedBy::Utf8;
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
};
TextScore scoreText(TextView text);

// What the probers look at: the first bytes of the file, and whether the
// whole file (beyond the sample too) is valid UTF-8.
class Sample {
public:
    Sample(std::string_view bytes, bool wholeFileIsUtf8, bool complete)
        : bytes_(bytes), wholeFileIsUtf8_(wholeFileIsUtf8), complete_(complete) {}
    std::string_view bytes() const { return bytes_; }
    bool wholeFileIsUtf8() const { return wholeFileIsUtf8_; }
    // The score of the sample decoded in an encoding; a character cut by the
    // end of an incomplete sample is left out.
    const TextScore& score(Encoding encoding) const;

private:
    std::string_view bytes_;
    bool wholeFileIsUtf8_;
    bool complete_;  // the sample is the whole file
    mutable std::array<std::optional<TextScore>, kEncodingCount> scores_;  // by Encoding
};
inline constexpr std::size_t kSampleBytes = 64 * 1024;

class Prober {
public:
    virtual ~Prober() = default;
    virtual std::optional<Detection> probe(const Sample& sample) const = 0;
};

// Runs the probers in order. Always answers: GB18030 when nothing else fits.
Detection detectEncoding(const Sample& sample);

}  // namespace quenlet
