#include "text/big5.h"

#include <iconv.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/failure.h"
#include "text/codec.h"

namespace quenlet::big5 {
namespace {

// A converter from one Big5 flavour to UTF-32, asked one code at a time.
class Decoder {
public:
    explicit Decoder(const char* flavour) : cd_(iconv_open("UTF-32LE", flavour)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw ResourceError(FailureKind::EncodingUnavailable,
                                std::string("the C library has no ") + flavour + " converter (iconv)");
    }
    ~Decoder() { iconv_close(cd_); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // The one character the code stands for; 0 when it is unassigned or
    // stands for a sequence of characters.
    char32_t read(unsigned lead, unsigned trail) const {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char out[16];
        char* inPtr = in;
        char* outPtr = out;
        std::size_t inLeft = sizeof in;
        std::size_t outLeft = sizeof out;
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) return 0;
        if (sizeof out - outLeft != 4) return 0;
        const auto* b = reinterpret_cast<const unsigned char*>(out);
        return static_cast<char32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (b[3] << 24));
    }

private:
    iconv_t cd_;
};

// A converter from UTF-32 to one Big5 flavour, asked one character at a time.
class Encoder {
public:
    explicit Encoder(const char* flavour) : cd_(iconv_open(flavour, "UTF-32LE")) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw ResourceError(FailureKind::EncodingUnavailable,
                                std::string("the C library has no ") + flavour + " converter (iconv)");
    }
    ~Encoder() { iconv_close(cd_); }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // The code written for a character, 0 when it has none.
    unsigned write(char32_t character) const {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char in[4] = {static_cast<char>(character & 0xFF), static_cast<char>((character >> 8) & 0xFF),
                      static_cast<char>((character >> 16) & 0xFF), static_cast<char>(character >> 24)};
        char out[8];
        char* inPtr = in;
        char* outPtr = out;
        std::size_t inLeft = sizeof in;
        std::size_t outLeft = sizeof out;
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) return 0;
        if (sizeof out - outLeft != 2) return 0;
        return (static_cast<unsigned char>(out[0]) << 8) | static_cast<unsigned char>(out[1]);
    }

private:
    iconv_t cd_;
};

bool isPrivateUse(char32_t c) { return c >= 0xE000 && c <= 0xF8FF; }

// Where two codes stand for one character, only one of them can decode to it
// or a round trip would change the bytes. Two of the second codes have a
// character of their own (the Suzhou numerals ten and thirty); the others
// (double-line box drawings repeated in the ETEN extension) have none and
// stay undecodable, so they are still copied unchanged.
struct Override {
    std::uint16_t code;
    char32_t character;
};
constexpr Override kOwnCharacters[] = {{0xA2CC, 0x3038}, {0xA2CE, 0x303A}};

struct BuiltTables {
    std::vector<char32_t> decoded = std::vector<char32_t>(kLeads * kTrails);
    std::vector<std::uint16_t> encoded = std::vector<std::uint16_t>(0x10000);
    std::vector<std::uint64_t> supplementary;

    BuiltTables() {
        const Decoder windows("CP950");
        const Decoder hongKong("BIG5-HKSCS");
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                if (!isTrail(trail)) continue;
                // The Windows character, unless it is only a private-use
                // stand-in for a character the Hong Kong set names.
                char32_t c = windows.read(lead, trail);
                if (c == 0 || isPrivateUse(c)) {
                    const char32_t named = hongKong.read(lead, trail);
                    if (named != 0) c = named;
                }
                decoded[codeIndex(lead, trail)] = c;
            }
        }
        // For a character with several codes the encoder keeps the one the
        // Windows converter writes (else the Hong Kong one); the other codes
        // lose the character.
        std::vector<std::pair<char32_t, unsigned>> byCharacter;  // (character, index), to find those with several codes
        for (unsigned i = 0; i < decoded.size(); ++i)
            if (decoded[i] != 0) byCharacter.emplace_back(decoded[i], i);
        std::sort(byCharacter.begin(), byCharacter.end());
        const Encoder toWindows("CP950");
        const Encoder toHongKong("BIG5-HKSCS");
        for (std::size_t first = 0, next; first < byCharacter.size(); first = next) {
            const char32_t c = byCharacter[first].first;
            for (next = first + 1; next < byCharacter.size() && byCharacter[next].first == c;) ++next;
            if (next - first == 1) continue;
            unsigned keep = toWindows.write(c);
            if (keep == 0) keep = toHongKong.write(c);
            if (keep == 0) keep = codeOf(byCharacter[first].second);
            for (std::size_t k = first; k < next; ++k)
                if (codeOf(byCharacter[k].second) != keep) decoded[byCharacter[k].second] = 0;
        }
        for (const Override& o : kOwnCharacters) decoded[codeIndex(o.code >> 8, o.code & 0xFF)] = o.character;

        for (unsigned i = 0; i < decoded.size(); ++i) {
            const char32_t c = decoded[i];
            if (c == 0) continue;
            if (c < 0x10000) encoded[c] = static_cast<std::uint16_t>(codeOf(i));
            else supplementary.push_back((static_cast<std::uint64_t>(c) << 16) | codeOf(i));
        }
        std::sort(supplementary.begin(), supplementary.end());
    }

    static unsigned codeOf(unsigned index) { return ((index / kTrails + 0x81) << 8) | (index % kTrails + 0x40); }
};

}  // namespace

std::uint16_t Tables::supplementaryCode(char32_t character) const {
    const std::uint64_t key = static_cast<std::uint64_t>(character) << 16;
    const std::uint64_t* end = supplementary + supplementaryCount;
    const std::uint64_t* found = std::lower_bound(supplementary, end, key);
    if (found == end || (*found >> 16) != character) return 0;
    return static_cast<std::uint16_t>(*found & 0xFFFF);
}

const Tables& tables() {
    static const BuiltTables built;
    static const Tables view{built.decoded.data(), built.encoded.data(), built.supplementary.data(),
                             static_cast<unsigned>(built.supplementary.size())};
    return view;
}

}  // namespace quenlet::big5

namespace quenlet {
namespace {

using codec::ByteWriter;
using codec::UnitWriter;

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
                        else w.pushCharacter(c);
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

// Characters as Big5 bytes, for the encoding loop.
struct Big5Bytes {
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

std::unique_ptr<Decoder> makeBig5Decoder() { return std::make_unique<Big5Decoder>(); }

}  // namespace

const Codec kBig5Codec = {makeBig5Decoder, codec::encodeWith<Big5Bytes>};

}  // namespace quenlet
