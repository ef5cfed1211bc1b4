#include "text/encoding.h"

#include <stdexcept>
#include <vector>

#include "text/codec.h"

namespace quenlet {
namespace {

// The encodings, each once, in the order every list of them follows.
const EncodingInfo kEncodings[] = {
    // encoding, name, byte order mark, unit bytes, marked when named, other mark's name,
    // replacement, holds every character, line feed byte stands alone, codec
    {Encoding::Utf8, "utf-8", "\xEF\xBB\xBF", 1, false, "utf-8-bom", kReplacementCharacter, true, true, kUtf8Codec},
    {Encoding::Utf16LE, "utf-16le", "\xFF\xFE", 2, true, "", kReplacementCharacter, true, false, kUtf16LECodec},
    {Encoding::Utf16BE, "utf-16be", "\xFE\xFF", 2, true, "", kReplacementCharacter, true, false, kUtf16BECodec},
    // (GB18030's and Big5's second bytes are 0x30 and above)
    {Encoding::Gb18030, "gb18030", "", 1, false, "", kReplacementCharacter, true, true, kGb18030Codec},
    // Big5 has no U+FFFD.
    {Encoding::Big5, "big5", "", 1, false, "", u'?', false, true, kBig5Codec},
};
static_assert(std::size(kEncodings) == kEncodingCount);

}  // namespace

std::span<const EncodingInfo> encodings() { return kEncodings; }

const EncodingInfo& encodingInfo(Encoding encoding) {
    const auto row = static_cast<std::size_t>(encoding);
    if (row < kEncodingCount && kEncodings[row].encoding == encoding) return kEncodings[row];
    throw std::logic_error("unknown encoding");
}

const char* encodingName(Encoding encoding) { return encodingInfo(encoding).name.data(); }

std::optional<Encoding> encodingFromName(std::string_view name) {
    for (const EncodingInfo& info : kEncodings)
        if (name == info.name) return info.encoding;
    return std::nullopt;
}

std::string_view byteOrderMark(Encoding encoding) { return encodingInfo(encoding).byteOrderMark; }

std::span<const NamedFormat> outputFormats() {
    static const std::vector<NamedFormat> formats = [] {
        std::vector<NamedFormat> all;
        for (const EncodingInfo& info : kEncodings) {
            all.push_back({info.name, {info.encoding, info.markedWhenNamed}});
            if (!info.otherMarkName.empty()) all.push_back({info.otherMarkName, {info.encoding, !info.markedWhenNamed}});
        }
        return all;
    }();
    return formats;
}

std::optional<TextFormat> outputFormatFromName(std::string_view name) {
    for (const NamedFormat& named : outputFormats())
        if (named.name == name) return named.format;
    return std::nullopt;
}

std::unique_ptr<Decoder> makeDecoder(Encoding encoding) { return encodingInfo(encoding).codec.makeDecoder(); }

std::size_t encodeText(Encoding encoding, TextView text, std::string& out, const EncodePolicy& policy,
                       EncodeCounts& counts) {
    const EncodingInfo& info = encodingInfo(encoding);
    return info.codec.encode(text, out, policy, counts, info.replacement);
}

void encodeText(Encoding encoding, TextView text, std::string& out) {
    constexpr EncodePolicy lenient{true, true};
    EncodeCounts counts;
    encodeText(encoding, text, out, lenient, counts);
}

}  // namespace quenlet
