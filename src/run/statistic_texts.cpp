#include "run/statistic_texts.h"

#include <string>

namespace quenlet {

Text numberedText(std::u16string_view before, Count number, std::u16string_view after) {
    Text text(before);
    for (char c : std::to_string(number)) text.push_back(static_cast<char16_t>(c));
    text.append(after);
    return text;
}

StatisticTexts statisticTexts(const Statistics& statistics) {
    constexpr std::u16string_view paragraphs = u"个段落";
    return {numberedText(u"原文件共", statistics.SourceParagraphCount, paragraphs),
            numberedText(u"合并掉了", statistics.MergedCount, paragraphs),
            numberedText(u"新分成了", statistics.SplitCount, paragraphs),
            numberedText(u"最终成了", statistics.FinalParagraphCount, paragraphs)};
}

Text fileCountText(Count files) { return numberedText(u"共", files, u"个文件"); }

Text processingFileText(Count number) { return numberedText(u"处理第", number, u"文件"); }

Text replacingLineText(Count line) { return numberedText(u"第", line, u"行正在替换处理......"); }

Text splittingLineText(Count line) { return numberedText(u"第", line, u"行正在分段处理......"); }

}  // namespace quenlet
