// The engine's one record of shared state. The stages take no arguments: they
// read and rewrite these fields in place, so the names here are the vocabulary
// of every stage. Fields a run does not reset keep their values from one
// paragraph, file and run to the next; several stages rely on that.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "text/text.h"

namespace quenlet {

using Count = std::int64_t;

struct Statistics {
    Count SourceParagraphCount = 0;  // non-empty source lines read ("原文件共")
    Count SplitCount = 0;            // paragraphs added by splitting ("新分成了")
    Count MergedCount = 0;           // lines held for joining ("合并掉了")
    Count FinalParagraphCount = 0;   // paragraphs written ("最终成了")
    bool operator==(const Statistics&) const = default;
    Statistics& operator+=(const Statistics& more) {
        SourceParagraphCount += more.SourceParagraphCount;
        SplitCount += more.SplitCount;
        MergedCount += more.MergedCount;
        FinalParagraphCount += more.FinalParagraphCount;
        return *this;
    }
};

struct DocumentState {
    // Text buffers and the paragraph queue.
    Text RawLine;      // the source line as read; only tells empty lines apart
    Text Line;         // the working text every stage reads and rewrites
    Text PendingText;  // held lines of the unfinished paragraph, joined
    int Pending = 0;   // 1 while PendingText holds an unfinished paragraph
    std::vector<Text> Paragraphs = std::vector<Text>(1);  // queue in slots 1..ParagraphCount
    Count ParagraphCount = 0;
    // Pieces of one paragraph, slots 0..SegmentIndex, when DJ is called on its
    // own; in a run the paragraph writer takes each piece as it is cut off.
    std::vector<Text> Segments = std::vector<Text>(1);
    Count SegmentIndex = 0;
    // The paragraph being split, copied only when splitting must change it in
    // place (its remainder is otherwise tracked as a range of Line).
    Text LineCopy;

    Statistics Stats;

    // Source path parts; bytes, as paths are on this platform.
    std::string SourceFolder;    // ends with '/' unless empty
    std::string SourceFileName;  // everything after the last '/'

    // Shared by the line merger and the paragraph writers; never reset.
    Text CurrentChar;
    int MarkCount = 0;
    int LineEndsSentence = 0;

    // Line merging.
    std::array<int, 15> PairState{};  // PairState[1] .. PairState[14]
    Count QuoteSpan = -1;
    int ClosedFlag = 1;
    int PrevClosed = 1;
    Count ScanIndex = 0;

    // Quote and dot-run normalisation.
    int QuoteParity = 0;
    Count DotRun = 0;

    // Corrections.
    Text CorrectionFind;
    Text CorrectionReplace;

    // Paragraph output.
    int HeadingsWritten = 0;

    // Segmentation.
    Text ScanChar;
    Count ScanPos = 0;
    int OrdinalPrefix = 0;
    Count StarRun = 0;
    Count DashRun = 0;
    Count EqualsRun = 0;
    int InParenthesis = 0;
    int InSquareBracket = 0;
    int InCornerBracket = 0;
    int InDoubleQuote = 0;
    int InSingleQuote = 0;
    int InAsciiDoubleQuote = 0;
    int InAsciiSingleQuote = 0;

    // Batch.
    Count FileCount = 0;
};

}  // namespace quenlet
