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

// The conversions by name: s2t, t2s, s2tw, tw2s, s2twp, tw2sp, s2hk, hk2s, t2tw, t2hk.
std::span<const std::string_view> conversionNames();
bool isConversionName(std::string_view name);
// The language tag of text after a conversion: "zh-TW" or "zh-HK" for the
// traditional forms, "zh-CN" for simplified.
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
