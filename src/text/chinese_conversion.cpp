#include "text/chinese_conversion.h"

#include <opencc/opencc.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>

#include "text/encoding.h"
#include "base/failure.h"

namespace quenlet {
namespace {

constexpr std::string_view kConversionNames[] = {"s2t",   "t2s",   "s2tw", "tw2s", "s2twp",
                                                 "tw2sp", "s2hk",  "hk2s", "t2tw", "t2hk"};

// What OpenCC cannot take: units that are not whole characters in UTF-8
// (escape units of undecodable bytes, and any lone surrogate).
bool isLoneSurrogateAt(TextView text, std::size_t i) {
    const char16_t c = text[i];
    if (isHighSurrogate(c)) return !(i + 1 < text.size() && isLowSurrogate(text[i + 1]));
    if (isLowSurrogate(c)) return !(i > 0 && isHighSurrogate(text[i - 1]));
    return false;
}

}  // namespace

class ChineseConverter::Impl {
public:
    // OpenCC finds a bare configuration name in its own data folder.
    explicit Impl(std::string_view name) : converter_(std::string(name) + ".json") {}

    void convert(TextView run, Text& out) const {
        const std::string utf8 = toUtf8(run);
        const std::string converted = converter_.Convert(utf8.data(), utf8.size());
        Text text;
        if (!fromUtf8Strict(converted, text)) throw std::runtime_error("the conversion gave text that is not UTF-8");
        out.append(text);
    }

private:
    opencc::SimpleConverter converter_;
};

std::span<const std::string_view> conversionNames() { return kConversionNames; }

bool isConversionName(std::string_view name) {
    return std::find(std::begin(kConversionNames), std::end(kConversionNames), name) != std::end(kConversionNames);
}

std::string languageAfterConversion(std::string_view conversion) {
    const std::string_view target = conversion.substr(conversion.find('2') + 1);
    if (target.starts_with("hk")) return "zh-HK";
    if (target.starts_with("t")) return "zh-TW";
    return "zh-CN";
}

ChineseConverter::ChineseConverter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ChineseConverter::~ChineseConverter() = default;

std::shared_ptr<const ChineseConverter> ChineseConverter::load(std::string_view name) {
    if (!isConversionName(name)) throw ResourceError(FailureKind::ConversionUnavailable, "unknown conversion " + std::string(name));
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const ChineseConverter>, std::less<>> loaded;
    const std::lock_guard lock(mutex);
    if (const auto found = loaded.find(name); found != loaded.end()) return found->second;
    std::unique_ptr<Impl> impl;
    try {
        impl = std::make_unique<Impl>(name);
    } catch (const std::exception& e) {
        throw ResourceError(FailureKind::ConversionUnavailable,
                            "cannot load the conversion " + std::string(name) + ": " + e.what());
    }
    std::shared_ptr<const ChineseConverter> converter(new ChineseConverter(std::move(impl)));
    loaded.emplace(std::string(name), converter);
    return converter;
}

void ChineseConverter::convert(TextView text, Text& out) const {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isLoneSurrogateAt(text, i)) continue;
        if (i > start) impl_->convert(text.substr(start, i - start), out);
        out.push_back(text[i]);
        start = i + 1;
    }
    if (start < text.size()) impl_->convert(text.substr(start), out);
}

}  // namespace quenlet
