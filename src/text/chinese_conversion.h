// Simplified <-> traditional conversion of text, with OpenCC's own
// conversions and dictionaries. A file's run converts the typeset text
// between the engine and the writer (run/converting_sink.h), so headings,
// markers and indents are converted with the text.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "text/text.h"

namespace quenlet {

// The language tags of Chinese text by its script: what a book says it is
// written in, after a conversion or as its characters show.
// The script alone where nothing tells the region (zh-Hans, zh-Hant), the
// region where the conversion writes its standard forms (zh-TW, zh-HK).
inline constexpr std::string_view kSimplifiedLanguage = "zh-Hans";
inline constexpr std::string_view kTraditionalLanguage = "zh-Hant";
inline constexpr std::string_view kTaiwanLanguage = "zh-TW";
inline constexpr std::string_view kHongKongLanguage = "zh-HK";

// The conversions, each once: OpenCC's name for it, its Chinese name (as the
// window offers it) and the language of the text it writes.
struct ConversionInfo {
    std::string_view name;      // s2t, t2s, s2tw, tw2s, s2twp, tw2sp, s2hk, hk2s, t2tw, t2hk
    std::u16string_view label;  // 简→繁, 繁→简, ...
    std::string_view language;  // kSimplifiedLanguage, kTraditionalLanguage, kTaiwanLanguage or kHongKongLanguage
};
std::span<const ConversionInfo> conversions();
const ConversionInfo* findConversion(std::string_view name);

// The names alone, in the table's order.
std::span<const std::string_view> conversionNames();
bool isConversionName(std::string_view name);
// The language tag of text after a conversion.
std::string languageAfterConversion(std::string_view conversion);

class ChineseConverter {
public:
    // The named conversion, loaded once and shared (it is only read). Throws
    // ResourceError (ConversionUnavailable) when the name is unknown or its
    // dictionaries cannot be loaded.
    static std::shared_ptr<const ChineseConverter> load(std::string_view name);

    ~ChineseConverter();
    ChineseConverter(const ChineseConverter&) = delete;
    ChineseConverter& operator=(const ChineseConverter&) = delete;

    // Appends the converted text to `out`. Undecodable source bytes (escape
    // units) pass through unchanged and split the text around them.
    void convert(TextView text, Text& out) const;

private:
    class Impl;
    explicit ChineseConverter(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace quenlet
