// The option values of one file's run, taken once when the file's processing
// begins and not changed while it runs. Defaults are the window's opening values.
#pragma once

#include "text/text.h"

namespace quenlet {

struct TypesetOptions {
    bool MergeLines = true;       // re-join broken lines ("合并断句")
    bool SplitParagraphs = true;  // cut run-together paragraphs ("新增分段")
    Text HeadingOpen = u"\u300A";   // 《
    Text HeadingClose = u"\u300B";  // 》
    Text Indent = u"\u3000\u3000";  // two ideographic spaces
    Text ParagraphEnd;
    Text FindText;
    Text ReplaceText = u" ";
    Text StripPrefix = u" ";
    bool DeleteAsterisks = true;     // delete the full-width "＊"
    bool DeleteDoubleDashes = true;  // delete every "-"
    bool DotsToEllipsis = true;      // runs of 。.,、 become "……"
    bool TildeToEllipsis = true;     // "～" becomes "…"
    bool ConvertQuotes = true;       // straight double quotes become “ ”

    bool operator==(const TypesetOptions&) const = default;
};

}  // namespace quenlet
