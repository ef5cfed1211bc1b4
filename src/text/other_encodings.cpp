// What a file that reads as Chinese in no supported encoding most likely is:
// UTF-32 by its zero bytes, a Japanese, Korean or other Chinese encoding by a
// trial decoding with the C library's converters (iconv), a single-byte
// Western encoding by its lone high bytes among ASCII letters, binary data by
// its control bytes. Each verdict needs clear evidence; Unknown otherwise,
// and such a file is read as before.
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "text/encoding_detector.h"

namespace quenlet {
namespace {

// A trial decoding: how many characters came out, how many bytes could not
// be decoded, and what kind the characters were.
struct TrialDecoding {
    bool available = false;  // the C library has the converter
    std::size_t nonAscii = 0;
    std::size_t errors = 0;
    std::size_t kana = 0;     // hiragana and katakana
    std::size_t hangul = 0;   // Korean syllables
    TextScore score;          // as Chinese
    // Almost every byte decodes, and there are enough characters to judge.
    bool clean() const { return available && nonAscii >= 64 && errors * 100 <= nonAscii; }
};

TrialDecoding decodeWith(const char* encoding, std::string_view bytes) {
    TrialDecoding trial;
    const iconv_t cd = iconv_open("UTF-16LE", encoding);
    if (cd == reinterpret_cast<iconv_t>(-1)) return trial;
    const std::unique_ptr<void, int (*)(iconv_t)> closer(cd, iconv_close);
    trial.available = true;
    Text text;
    char16_t out[4096];
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(out);
        std::size_t outLeft = sizeof out;
        const std::size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        text.append(out, static_cast<std::size_t>(reinterpret_cast<char16_t*>(outPtr) - out));
        if (done != static_cast<std::size_t>(-1)) break;
        if (error == E2BIG) continue;
        if (error == EINVAL) break;  // a character cut by the end of the sample
        ++trial.errors;              // EILSEQ: skip the byte
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    for (const char16_t c : text) {
        if (c < 0x80) continue;
        ++trial.nonAscii;
        trial.kana += c >= 0x3041 && c <= 0x30FF;
        trial.hangul += c >= 0xAC00 && c <= 0xD7A3;
    }
    trial.score = scoreText(text);
    return trial;
}

bool isControlByte(unsigned char b) {
    // (not tab, line ends, form feed, or ESC, which 7-bit encodings use)
    return b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1B;
}

bool isAsciiLetter(unsigned char b) { return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'); }

}  // namespace

std::optional<LikelyEncoding> utf32Pattern(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t groups = bytes.size() / 4;
    if (groups < 2) return std::nullopt;
    std::size_t little = 0;
    std::size_t big = 0;
    for (std::size_t i = 0; i < groups; ++i) {
        const unsigned char* g = p + 4 * i;
        little += g[3] == 0 && g[2] <= 0x10 && (g[0] | g[1] | g[2]) != 0;
        big += g[0] == 0 && g[1] <= 0x10 && (g[1] | g[2] | g[3]) != 0;
    }
    if (little * 10 >= groups * 9) return LikelyEncoding::Utf32LE;
    if (big * 10 >= groups * 9) return LikelyEncoding::Utf32BE;
    return std::nullopt;
}

LikelyEncoding likelyEncodingOf(std::string_view bytes) {
    if (const auto utf32 = utf32Pattern(bytes)) return *utf32;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t controls = 0;
    std::size_t high = 0;
    std::size_t lone = 0;  // high bytes between two ASCII letters, as in "café"
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        controls += isControlByte(p[i]);
        if (p[i] < 0x80) continue;
        ++high;
        const bool before = i > 0 && (isAsciiLetter(p[i - 1]) || p[i - 1] == ' ');
        const bool after = i + 1 < bytes.size() && (isAsciiLetter(p[i + 1]) || p[i + 1] == ' ');
        lone += before && after;
    }
    if (controls * 100 >= bytes.size()) return LikelyEncoding::Binary;

    // Korean first: its syllables decode as plain characters in the Chinese
    // and Japanese EUC encodings too, but only EUC-KR makes them syllables.
    if (const TrialDecoding korean = decodeWith("EUC-KR", bytes); korean.clean() && korean.hangul * 10 >= korean.nonAscii * 8)
        return LikelyEncoding::EucKr;
    for (const auto& [name, likely] : {std::pair{"EUC-JP", LikelyEncoding::EucJp}, std::pair{"SHIFT_JIS", LikelyEncoding::ShiftJis}}) {
        const TrialDecoding japanese = decodeWith(name, bytes);
        if (japanese.clean() && japanese.kana * 5 >= japanese.nonAscii) return likely;
    }
    if (const TrialDecoding taiwan = decodeWith("EUC-TW", bytes); taiwan.clean() && taiwan.score.readsAsChinese())
        return LikelyEncoding::EucTw;
    // Latin text with accented letters here and there.
    if (high * 5 <= bytes.size() && lone * 2 >= high) return LikelyEncoding::SingleByte;
    // Noise: what is left is neither text nor any encoding named above.
    auto noise = [&](Encoding encoding) {
        Text text;
        makeDecoder(encoding)->decode(p, bytes.size(), false, text);
        const TextScore score = scoreText(text);
        return score.implausible * 5 >= score.characters;
    };
    if (noise(Encoding::Gb18030) && noise(Encoding::Big5)) return LikelyEncoding::Binary;
    return LikelyEncoding::Unknown;
}

}  // namespace quenlet
