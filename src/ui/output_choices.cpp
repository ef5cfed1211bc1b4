#include "ui/output_choices.h"

#include <utility>

#include "text/chinese_conversion.h"

namespace quenlet::ui {
namespace {

// The conversions in Chinese, by the names OpenCC gives them.
constexpr std::pair<std::string_view, const char16_t*> kConversionLabels[] = {
    {"s2t", u"简→繁"},
    {"t2s", u"繁→简"},
    {"s2tw", u"简→台湾正体"},
    {"tw2s", u"台湾正体→简"},
    {"s2twp", u"简→台湾(含词汇)"},
    {"tw2sp", u"台湾(含词汇)→简"},
    {"s2hk", u"简→香港繁体"},
    {"hk2s", u"香港繁体→简"},
    {"t2tw", u"繁→台湾正体"},
    {"t2hk", u"繁→香港繁体"},
};

QString fromName(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

QString encodingLabel(Encoding encoding) {
    const QString name = fromName(encodingInfo(encoding).name).toUpper();
    // Big5 is spelled as its makers spell it; the others are acronyms.
    return name == QStringLiteral("BIG5") ? QStringLiteral("Big5") : name;
}

QString conversionLabel(std::string_view name) {
    for (const auto& [known, label] : kConversionLabels)
        if (known == name) return QString::fromUtf16(label);
    return fromName(name);
}

std::vector<Choice> outputEncodingChoices() {
    std::vector<Choice> choices{{QStringLiteral("与原文件相同"), QString()}};
    for (const NamedFormat& named : outputFormats()) {
        QString label = encodingLabel(named.format.encoding);
        // A format named otherwise than its encoding is that encoding with
        // the other choice of byte order mark.
        if (named.name != encodingInfo(named.format.encoding).name)
            label += named.format.hasBom ? QStringLiteral(" (带BOM)") : QStringLiteral(" (无BOM)");
        choices.push_back({label, fromName(named.name)});
    }
    return choices;
}

std::vector<Choice> conversionChoices() {
    std::vector<Choice> choices{{QStringLiteral("不转换"), QString()}};
    for (std::string_view name : conversionNames()) choices.push_back({conversionLabel(name), fromName(name)});
    return choices;
}

}  // namespace quenlet::ui
