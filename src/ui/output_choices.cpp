#include "ui/output_choices.h"

#include "text/chinese_conversion.h"

namespace quenlet::ui {
namespace {

QString fromName(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

QString encodingLabel(Encoding encoding) {
    const QString name = fromName(encodingInfo(encoding).name).toUpper();
    // Big5 is spelled as its makers spell it; the others are acronyms.
    return name == QStringLiteral("BIG5") ? QStringLiteral("Big5") : name;
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
    for (const ConversionInfo& conversion : conversions())
        choices.push_back({QString::fromUtf16(conversion.label.data(), static_cast<qsizetype>(conversion.label.size())),
                           fromName(conversion.name)});
    return choices;
}

}  // namespace quenlet::ui
