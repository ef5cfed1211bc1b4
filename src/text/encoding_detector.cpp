#include "text/encoding_detector.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <initializer_list>

#include "text/big5.h"
#include "text/gb18030.h"
#include "text/utf8.h"

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

Detection unsupported(LikelyEncoding likely, bool byteOrderMark = false) {
    return {{Encoding::Gb18030, false}, DetectedBy::Unsupported, likely, byteOrderMark};
}

class MarkProber final : public Prober {
public:
    std::optional<Detection> probe(const Sample& sample) const override {
        // UTF-32's marks first: the little-endian one starts like UTF-16's.
        // (A UTF-16 file whose first character is U+0000 is no text either.)
        const std::string_view bytes = sample.bytes();
        if (bytes.size() % 4 == 0 && bytes.starts_with(std::string_view("\xFF\xFE\0\0", 4)))
            return unsupported(LikelyEncoding::Utf32LE, true);
        if (bytes.starts_with(std::string_view("\0\0\xFE\xFF", 4))) return unsupported(LikelyEncoding::Utf32BE, true);
        for (const EncodingInfo& info : encodings()) {
            const std::string_view mark = info.byteOrderMark;
            if (!mark.empty() && bytes.starts_with(mark)) return Detection{{info.encoding, true}, DetectedBy::Mark};
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

// UTF-32 without a mark, by its zero bytes (valid UTF-8 when all its
// characters are ASCII, and like no other encoding when they are not).
class Utf32Prober final : public Prober {
public:
    std::optional<Detection> probe(const Sample& sample) const override {
        if (const auto utf32 = utf32Pattern(sample.bytes())) return unsupported(*utf32);
        return std::nullopt;
    }
};

// HZ: GB2312 in seven bits, each run of Chinese between ~{ and ~}, every
// byte of it less 0x80. Pure ASCII, so valid UTF-8; told by its runs
// reading as Chinese once the bytes are restored.
bool looksLikeHz(std::string_view bytes) {
    if (std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return false;
    std::string restored;
    std::size_t runs = 0;
    for (std::size_t open = bytes.find("~{"); open != std::string_view::npos; open = bytes.find("~{", open)) {
        const std::size_t close = bytes.find("~}", open + 2);
        const std::string_view run = bytes.substr(open + 2, close == std::string_view::npos ? close : close - open - 2);
        for (std::size_t i = 0; i + 1 < run.size(); i += 2) {
            const auto b1 = static_cast<unsigned char>(run[i]), b2 = static_cast<unsigned char>(run[i + 1]);
            if (b1 < 0x21 || b1 > 0x7E || b2 < 0x21 || b2 > 0x7E) break;
            restored.push_back(static_cast<char>(b1 | 0x80));
            restored.push_back(static_cast<char>(b2 | 0x80));
        }
        ++runs;
        if (close == std::string_view::npos) break;
        open = close + 2;
    }
    if (runs < 4 || restored.size() < 64) return false;
    Text text;
    makeDecoder(Encoding::Gb18030)
        ->decode(reinterpret_cast<const unsigned char*>(restored.data()), restored.size(), true, text);
    const TextScore score = scoreText(text);
    return score.readsAsChinese() && score.implausible == 0;
}

class Utf8Prober final : public Prober {
public:
    std::optional<Detection> probe(const Sample& sample) const override {
        if (!sample.wholeFileIsUtf8()) return std::nullopt;
        // Zero bytes are valid UTF-8 but no text has them: they are the
        // other half of UTF-16 units when the text reads better so.
        if (std::memchr(sample.bytes().data(), 0, sample.bytes().size()))
            if (auto utf16 = detectUtf16(sample, {Encoding::Utf8})) return utf16;
        if (sample.bytes().find("~{") != std::string_view::npos && looksLikeHz(sample.bytes()))
            return unsupported(LikelyEncoding::Hz);
        return Detection{{Encoding::Utf8, false}, DetectedBy::Utf8};
    }
};

// UTF-8 but for a few bytes: at most one in a hundred of its sequences, or
// only a character cut off at the very end. Text in any other encoding here
// makes an invalid UTF-8 sequence of nearly every second character.
class MostlyUtf8Prober final : public Prober {
public:
    std::optional<Detection> probe(const Sample& sample) const override {
        const Utf8Counts& utf8 = sample.utf8();
        if (!utf8.complete || utf8.invalidBytes == 0) return std::nullopt;
        const bool few = utf8.invalidBytes * 100 <= utf8.sequences;
        const bool cutAtTheEnd = utf8.firstInvalid + 3 >= utf8.bytes && utf8.sequences >= 8;
        if (!few && !cutAtTheEnd) return std::nullopt;
        return Detection{{Encoding::Utf8, false}, DetectedBy::MostlyUtf8};
    }
};

// Korean in EUC-KR decodes as GB18030 to common Chinese characters (its
// syllables lie where GB2312's commonest characters do), but Korean prose
// has none of the Chinese comma and full stop, ，and 。, which Chinese
// prose uses every few characters.
bool lacksChineseStops(std::string_view bytes) {
    std::size_t stops = 0;
    std::size_t high = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) continue;
        ++high;
        const auto next = static_cast<unsigned char>(bytes[i + 1]);
        stops += (b == 0xA3 && next == 0xAC) || (b == 0xA1 && next == 0xA3);
        ++i;
        ++high;
    }
    return stops * 400 < high;  // fewer than one in two hundred characters
}

// A long file that reads as Chinese in no supported encoding, and that is
// most likely something we can name, is refused rather than guessed at.
class OtherEncodingProber final : public Prober {
public:
    std::optional<Detection> probe(const Sample& sample) const override {
        if (sample.wideNonAsciiBytes() < kRefusableNonAscii) return std::nullopt;
        const bool chinese = sample.wideScore(Encoding::Gb18030).readsAsChineseProse() ||
                             sample.wideScore(Encoding::Big5).readsAsChineseProse();
        if (chinese && !lacksChineseStops(sample.bytes())) return std::nullopt;
        const LikelyEncoding likely = likelyEncodingOf(sample.bytes());
        if (likely == LikelyEncoding::Unknown || (chinese && likely != LikelyEncoding::EucKr)) return std::nullopt;
        return unsupported(likely);
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
        const TextScore b5 = sample.wideScore(Encoding::Big5);
        if (b5.characters == 0 || b5.implausible * 100 > b5.characters) return std::nullopt;
        const TextScore gb = sample.wideScore(Encoding::Gb18030);
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
        const TextScore gb = sample.wideScore(Encoding::Gb18030);
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
        case DetectedBy::MostlyUtf8: return "utf-8 but for a few bytes";
        case DetectedBy::Unsupported: return "no supported encoding";
    }
    return "?";
}

const char* likelyEncodingName(LikelyEncoding likely) {
    switch (likely) {
        case LikelyEncoding::Utf32LE: return "UTF-32LE";
        case LikelyEncoding::Utf32BE: return "UTF-32BE";
        case LikelyEncoding::ShiftJis: return "Shift_JIS (Japanese)";
        case LikelyEncoding::EucJp: return "EUC-JP (Japanese)";
        case LikelyEncoding::EucKr: return "EUC-KR (Korean)";
        case LikelyEncoding::EucTw: return "EUC-TW";
        case LikelyEncoding::Hz: return "HZ";
        case LikelyEncoding::SingleByte: return "a single-byte encoding such as Windows-1252 or Mac OS Roman";
        case LikelyEncoding::Binary: return "binary data, not text";
        case LikelyEncoding::Unknown: break;
    }
    return "an unsupported encoding";
}

bool isGuess(DetectedBy by) {
    return by != DetectedBy::Option && by != DetectedBy::Mark && by != DetectedBy::Utf8;
}

TextScore& TextScore::operator+=(const TextScore& other) {
    characters += other.characters;
    commonHan += other.commonHan;
    punctuation += other.punctuation;
    implausible += other.implausible;
    return *this;
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

void Utf8Counter::invalid(std::uint64_t offset, std::uint64_t count) {
    if (counts_.invalidBytes == 0) counts_.firstInvalid = offset;
    counts_.invalidBytes += count;
}

void Utf8Counter::feed(const unsigned char* bytes, std::size_t size) {
    std::size_t i = 0;
    const std::uint64_t base = counts_.bytes;
    counts_.bytes += size;
    if (carried_ > 0) {
        // Complete the sequence cut at the previous block's end.
        while (carried_ < 4 && i < size) {
            carry_[carried_++] = bytes[i++];
            const Utf8Sequence seq = readUtf8Sequence(carry_, carried_);
            if (seq.status == Utf8Sequence::Incomplete) continue;
            if (seq.status == Utf8Sequence::Complete) {
                ++counts_.sequences;
            } else {
                // Its lead and the continuation bytes after it are each
                // undecodable; the byte that broke it starts afresh.
                --i;
                invalid(base + i - (carried_ - 1), carried_ - 1);
            }
            carried_ = 0;
            break;
        }
        if (carried_ > 0) return;  // still incomplete, the block was tiny
    }
    while (i < size) {
        if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        const Utf8Sequence seq = readUtf8Sequence(bytes + i, size - i);
        if (seq.status == Utf8Sequence::Complete) {
            ++counts_.sequences;
            i += static_cast<std::size_t>(seq.length);
        } else if (seq.status == Utf8Sequence::Incomplete) {
            carried_ = size - i;
            std::copy(bytes + i, bytes + size, carry_);
            return;
        } else {
            invalid(base + i);
            ++i;
        }
    }
}

Utf8Counts Utf8Counter::finish() const {
    Utf8Counts counts = counts_;
    if (carried_ > 0) {  // a sequence cut by the end: its bytes are undecodable
        if (counts.invalidBytes == 0) counts.firstInvalid = counts.bytes - carried_;
        counts.invalidBytes += carried_;
    }
    return counts;
}

Sample::Sample(std::string_view bytes, bool wholeFileIsUtf8, bool complete) : bytes_(bytes), complete_(complete) {
    utf8_.bytes = bytes.size();
    if (!wholeFileIsUtf8) utf8_.complete = false;  // invalid, how much is not known
}

namespace {

// What follows the UTF-8 text that `bytes` start with: all of them when that
// is ASCII alone, nothing when they are UTF-8 text to the end (a sequence cut
// by the end allowed), else the rest from the character start before the
// first byte that is not UTF-8 -- after a byte below 0x30 (a line end, a
// space, punctuation), which is part of no two- or four-byte code.
std::string_view afterUtf8Text(std::string_view bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    bool text = false;
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (data[i] < 0x80) {
            ++i;
            continue;
        }
        const Utf8Sequence seq = readUtf8Sequence(data + i, bytes.size() - i);
        if (seq.status == Utf8Sequence::Incomplete) i = bytes.size();
        if (seq.status != Utf8Sequence::Complete) break;
        text = true;
        i += static_cast<std::size_t>(seq.length);
    }
    if (!text) return bytes;
    if (i >= bytes.size()) return {};
    while (i > 0 && data[i - 1] >= 0x30) --i;
    return bytes.substr(i);
}

}  // namespace

// In a file that is UTF-8 up to a point and something else after it (a UTF-8
// head before Big5 text), the parts that are still UTF-8 tell nothing of
// whether the rest is Big5 or GB18030 -- yet read as GB18030 their bytes make
// valid pairs -- so the wide scores leave them out, as long as something else
// remains to judge by.
Sample::Sample(std::string_view bytes, const Utf8Counts& utf8, bool complete, std::vector<std::string> spread)
    : bytes_(bytes), utf8_(utf8), complete_(complete), spread_(std::move(spread)) {
    wide_.push_back(bytes_);
    wide_.insert(wide_.end(), spread_.begin(), spread_.end());
    if (utf8_.valid() || spread_.empty()) return;
    std::vector<std::string_view> beyond;
    for (const std::string_view part : wide_)
        if (const std::string_view rest = afterUtf8Text(part); !rest.empty()) beyond.push_back(rest);
    if (!beyond.empty()) wide_ = std::move(beyond);
}

namespace {

TextScore scoreDecoded(Encoding encoding, std::string_view bytes, bool final) {
    Text text;
    makeDecoder(encoding)->decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), final, text);
    return scoreText(text);
}

}  // namespace

const TextScore& Sample::score(Encoding encoding) const {
    std::optional<TextScore>& cached = scores_[static_cast<std::size_t>(encoding)];
    if (!cached) cached = scoreDecoded(encoding, bytes_, complete_);
    return *cached;
}

const TextScore& Sample::wideScore(Encoding encoding) const {
    if (spread_.empty()) return score(encoding);
    std::optional<TextScore>& cached = wideScores_[static_cast<std::size_t>(encoding)];
    if (!cached) {
        cached = TextScore{};
        for (const std::string_view part : wide_)
            *cached += part.data() == bytes_.data() && part.size() == bytes_.size() ? score(encoding)
                                                                                  : scoreDecoded(encoding, part, false);
    }
    return *cached;
}

std::size_t Sample::wideNonAsciiBytes() const {
    auto high = [](std::string_view bytes) {
        return static_cast<std::size_t>(
            std::count_if(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
    };
    if (spread_.empty()) return high(bytes_);
    std::size_t count = 0;
    for (const std::string_view part : wide_) count += high(part);
    return count;
}

Detection detectEncoding(const Sample& sample) {
    static const MarkProber mark;
    static const Utf32Prober utf32;
    static const Utf8Prober utf8;
    static const Utf16Prober utf16;
    static const MostlyUtf8Prober mostlyUtf8;
    static const OtherEncodingProber other;
    static const Big5Prober big5;
    static const Gb18030Prober gb18030;
    static const std::array<const Prober*, 8> probers = {&mark,  &utf32, &utf8, &utf16,
                                                         &mostlyUtf8, &other, &big5, &gb18030};
    for (const Prober* prober : probers)
        if (auto found = prober->probe(sample)) return *found;
    return {{Encoding::Gb18030, false}, DetectedBy::TooShort};
}

}  // namespace quenlet
