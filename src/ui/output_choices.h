// What the 扩展设置 frame offers: the output encodings and the simplified/
// traditional conversions, each under a Chinese label. The lists are the
// engine's own (its table of output formats, its table of conversions with
// their Chinese names), so a format or conversion added there appears here
// without a change.
#pragma once

#include <QString>
#include <string_view>
#include <vector>

#include "text/encoding.h"

namespace quenlet::ui {

struct Choice {
    QString label;  // as the combo box shows it
    QString value;  // the engine's name for it; empty for "keep as it is"
};

// 与原文件相同, then every output format: UTF-8, UTF-8 (带BOM), UTF-16LE, ...
std::vector<Choice> outputEncodingChoices();
// 不转换, then every conversion: 简→繁, 繁→简, ...
std::vector<Choice> conversionChoices();

// An encoding as people write its name: "UTF-8", "GB18030", "Big5".
QString encodingLabel(Encoding encoding);

}  // namespace quenlet::ui
