// The texts that the command line and the window share: the statistics and
// the progress captions, in Chinese, as the program has always shown them.
#pragma once

#include <string_view>

#include "engine/document_state.h"
#include "text/text.h"

namespace quenlet {

// `before`, the number in decimal, `after`: the window's captions and labels.
Text numberedText(std::u16string_view before, Count number, std::u16string_view after);

// The four statistics, one line each, as the command line prints them and the
// window's results panel shows them, and a batch's file count.
struct StatisticTexts {
    Text sourceParagraphs;  // 原文件共N个段落
    Text merged;            // 合并掉了N个段落
    Text split;             // 新分成了N个段落
    Text finalParagraphs;   // 最终成了N个段落
};
StatisticTexts statisticTexts(const Statistics& statistics);
Text fileCountText(Count files);  // 共N个文件
// "处理第N文件": the caption while a batch works on its N-th file.
Text processingFileText(Count number);
// "第N行正在替换处理......" and "第N行正在分段处理......": a single file's
// captions while its N-th source line is replaced and split.
Text replacingLineText(Count line);
Text splittingLineText(Count line);

}  // namespace quenlet
