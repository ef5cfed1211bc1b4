#include "text/chinese_conversion.h"

#include <opencc/opencc.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/failure.h"
#include "text/encoding.h"

namespace quenlet {
namespace {

constexpr ConversionInfo kConversions[] = {
    {"s2t", u"简→繁", kTraditionalLanguage},
    {"t2s", u"繁→简", kSimplifiedLanguage},
    {"s2tw", u"简→台湾正体", kTaiwanLanguage},
    {"tw2s", u"台湾正体→简", kSimplifiedLanguage},
    {"s2twp", u"简→台湾(含词汇)", kTaiwanLanguage},
    {"tw2sp", u"台湾(含词汇)→简", kSimplifiedLanguage},
    {"s2hk", u"简→香港繁体", kHongKongLanguage},
    {"hk2s", u"香港繁体→简", kSimplifiedLanguage},
    {"t2tw", u"繁→台湾正体", kTaiwanLanguage},
    {"t2hk", u"繁→香港繁体", kHongKongLanguage},
};

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

std::span<const ConversionInfo> conversions() { return kConversions; }

const ConversionInfo* findConversion(std::string_view name) {
    for (const ConversionInfo& conversion : kConversions)
        if (conversion.name == name) return &conversion;
    return nullptr;
}

std::span<const std::string_view> conversionNames() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> all;
        for (const ConversionInfo& conversion : kConversions) all.push_back(conversion.name);
        return all;
    }();
    return names;
}

bool isConversionName(std::string_view name) { return findConversion(name) != nullptr; }

std::string languageAfterConversion(std::string_view conversion) {
    const ConversionInfo* found = findConversion(conversion);
    return std::string(found ? found->language : kSimplifiedLanguage);
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
