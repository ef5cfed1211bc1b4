#include "text/encoding_detector.h"

#include <array>
#include <bitset>
#include <cstring>
#include <initializer_list>

#include "text/big5.h"
#include "text/gb18030.h"

namespace quenlet {
namespace {

// The commonest characters of Chinese prose, by the two standards' own
// division: GB2312's first level (3,755 simplified characters) and Big5's
// frequently used characters (5,401 traditional ones). Together they hold
// almost every character of a novel in either script, while a text decoded
// with the wrong code page scatters over the whole of Unicode.
class CommonHan {
public:
    CommonHan() {
        const gb18030::Tables& gb = gb18030::tables();
        for (unsigned lead = 0xB0; lead <= 0xD7; ++lead)
            for (unsigned trail = 0xA1; trail <= 0xFE; ++trail) add(gb.twoByte[gb18030::twoByteIndex(lead, trail)]);
        const big5::Tables& b5 = big5::tables();
        for (unsigned code = 0xA440; code <= 0xC67E; ++code)
            if (big5::isTrail(code & 0xFF)) add(b5.decoded[big5::codeIndex(code >> 8, code & 0xFF)]);
    }
    bool contains(char16_t c) const { return set_[c]; }

private:
    void add(char32_t c) {
        if (c >= 0x4E00 && c <= 0x9FFF) set_[c] = true;
    }
    std::bitset<0x10000> set_;
};

const CommonHan& commonHan() {
    static const CommonHan set;
    return set;
}

constexpr CharSet kProsePunctuation = {
    u'\uFF0C', u'\u3002', u'\u3001', u'\uFF1B', u'\uFF1A', u'\uFF1F', u'\uFF01', u'\u201C', u'\u201D',
    u'\u2018', u'\u2019', u'\u300C', u'\u300D', u'\u300E', u'\u300F', u'\u300A', u'\u300B', u'\u3008',
    u'\u3009', u'\uFF08', u'\uFF09', u'\u2026', u'\u2014', u'\u3000', u'\uFF0E',
};

bool isImplausible(char16_t c) {
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f') || (c >= 0x7F && c < 0xA0) ||
           (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xE000 && c <= 0xF8FF) || c == 0xFFFE || c == 0xFFFF;
}

class MarkProber final : public Prober {
public:
    std::optional<Detection> probe(const Sample& sample) const override {
        for (const EncodingInfo& info : encodings()) {
            const std::string_view mark = info.byteOrderMark;
            if (!mark.empty() && sample.bytes().starts_with(mark)) return Detection{{info.encoding, true}, DetectedBy::Mark};
        }
        return std::nullopt;
    }
};

// Whether the bytes, read as UTF-16 units in the given order, hold a unit
// that decodes to an implausible character (an unpaired surrogate included);
// stops at the first.
bool hasImplausibleUnit(std::string_view bytes, bool bigEndian) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t units = bytes.size() / 2;
    auto unitAt = [&](std::size_t i) {
        return static_cast<char16_t>(bigEndian ? p[2 * i] << 8 | p[2 * i + 1] : p[2 * i] | p[2 * i + 1] << 8);
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t c = unitAt(i);
        if (isHighSurrogate(c) && (i + 1 == units || isLowSurrogate(unitAt(i + 1)))) {
            ++i;  // a pair, or a last unit whose other half may lie beyond the sample: no verdict
            continue;
        }
        if (isImplausible(c)) return true;
    }
    return false;
}

// UTF-16 without a mark. ASCII characters -- line ends at least -- put zero
// bytes into UTF-16 and into no other encoding here; the byte order is the
// one whose decoding reads as text, and it must read better than the
// rivals' decodings. A text without any ASCII has no zero bytes, and is taken
// for UTF-16 only when it decodes to plain Chinese.
std::optional<Detection> detectUtf16(const Sample& sample, std::initializer_list<Encoding> rivals) {
    if (sample.bytes().size() < 2) return std::nullopt;
    const bool zeros = std::memchr(sample.bytes().data(), 0, sample.bytes().size()) != nullptr;
    // Without zero bytes a decoding must hold nothing implausible (below), so
    // a sample whose units are implausible somewhere in both byte orders --
    // any text of another encoding, almost at once -- needs no decoding.
    if (!zeros && hasImplausibleUnit(sample.bytes(), false) && hasImplausibleUnit(sample.bytes(), true))
        return std::nullopt;
    const TextScore little = sample.score(Encoding::Utf16LE);
    const TextScore big = sample.score(Encoding::Utf16BE);
    const bool littleBetter = little.value() >= big.value();
    const TextScore& chosen = littleBetter ? little : big;
    const std::size_t units = sample.bytes().size() / 2;
    if (chosen.implausible * 50 > units) return std::nullopt;
    if (!zeros && (chosen.characters < 2 || chosen.implausible > 0 ||
                   (chosen.commonHan + chosen.punctuation) * 10 < chosen.characters * 9))
        return std::nullopt;
    for (Encoding rival : rivals)
        if (chosen.value() <= sample.score(rival).value()) return std::nullopt;
    return Detection{{littleBetter ? Encoding::Utf16LE : Encoding::Utf16BE, false},
                     zeros ? DetectedBy::Utf16Pattern : DetectedBy::Utf16Score};
}

class Utf8Prober final : public Prober {
public:
    std::optional<Detection> probe(const Sample& sample) const override {
        if (!sample.wholeFileIsUtf8()) return std::nullopt;
        // Zero bytes are valid UTF-8 but no text has them: they are the
        // other half of UTF-16 units when the text reads better so.
        if (std::memchr(sample.bytes().data(), 0, sample.bytes().size()))
            if (auto utf16 = detectUtf16(sample, {Encoding::Utf8})) return utf16;
        return Detection{{Encoding::Utf8, false}, DetectedBy::Utf8};
    }
};

class Utf16Prober final : public Prober {
public:
    std::optional<Detection> probe(const Sample& sample) const override {
        return detectUtf16(sample, {Encoding::Gb18030, Encoding::Big5});
    }
};

// The least lead, in points of value(), that Big5's decoding must have over
// GB18030's; a short text that falls below it stays GB18030.
constexpr long long kBig5Lead = 24;

class Big5Prober final : public Prober {
public:
    std::optional<Detection> probe(const Sample& sample) const override {
        const TextScore b5 = sample.score(Encoding::Big5);
        if (b5.characters == 0 || b5.implausible * 100 > b5.characters) return std::nullopt;
        const TextScore gb = sample.score(Encoding::Gb18030);
        const long long lead = b5.value() - gb.value();
        if (lead < kBig5Lead || lead * 10 < static_cast<long long>(b5.characters)) return std::nullopt;
        return Detection{{Encoding::Big5, false}, DetectedBy::Big5Score};
    }
};

// The answer when nothing else fits; "gb18030 score" when its decoding reads
// as Chinese, else the text was too short (or too odd) to tell.
class Gb18030Prober final : public Prober {
public:
    std::optional<Detection> probe(const Sample& sample) const override {
        const TextScore gb = sample.score(Encoding::Gb18030);
        const bool clear = gb.value() >= kBig5Lead;
        return Detection{{Encoding::Gb18030, false}, clear ? DetectedBy::Gb18030Score : DetectedBy::TooShort};
    }
};

}  // namespace

const char* detectedByName(DetectedBy by) {
    switch (by) {
        case DetectedBy::Option: return "option";
        case DetectedBy::Mark: return "mark";
        case DetectedBy::Utf8: return "utf-8";
        case DetectedBy::Utf16Pattern: return "utf-16 pattern";
        case DetectedBy::Utf16Score: return "utf-16 score";
        case DetectedBy::Big5Score: return "big5 score";
        case DetectedBy::Gb18030Score: return "gb18030 score";
        case DetectedBy::TooShort: return "too short to tell";
    }
    return "?";
}

bool isGuess(DetectedBy by) {
    return by != DetectedBy::Option && by != DetectedBy::Mark && by != DetectedBy::Utf8;
}

long long TextScore::value() const {
    const auto others = static_cast<long long>(characters - commonHan - punctuation - implausible);
    return static_cast<long long>(commonHan) + 3 * static_cast<long long>(punctuation) - 2 * others -
           8 * static_cast<long long>(implausible);
}

TextScore scoreText(TextView text) {
    const CommonHan& common = commonHan();
    TextScore score;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80 && !isImplausible(c)) continue;
        ++score.characters;
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            ++i;  // a character beyond the BMP: rare, neither for nor against
        } else if (common.contains(c)) {
            ++score.commonHan;
        } else if (kProsePunctuation.contains(c)) {
            ++score.punctuation;
        } else if (isImplausible(c)) {
            ++score.implausible;
        }
    }
    return score;
}

const TextScore& Sample::score(Encoding encoding) const {
    std::optional<TextScore>& cached = scores_[static_cast<std::size_t>(encoding)];
    if (!cached) {
        Text text;
        makeDecoder(encoding)->decode(reinterpret_cast<const unsigned char*>(bytes_.data()), bytes_.size(), complete_,
                                      text);
        cached = scoreText(text);
    }
    return *cached;
}

Detection detectEncoding(const Sample& sample) {
    static const MarkProber mark;
    static const Utf8Prober utf8;
    static const Utf16Prober utf16;
    static const Big5Prober big5;
    static const Gb18030Prober gb18030;
    static const std::array<const Prober*, 5> probers = {&mark, &utf8, &utf16, &big5, &gb18030};
    for (const Prober* prober : probers)
        if (auto found = prober->probe(sample)) return *found;
    return {{Encoding::Gb18030, false}, DetectedBy::TooShort};
}

}  // namespace quenlet
