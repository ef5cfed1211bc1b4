// Paragraph output: a paragraph without prose punctuation is a heading and is
// written between the heading markers with blank lines around it; any other
// paragraph is body text, written indented -- split into segments first when
// splitting is on.
#include <algorithm>

#include "engine/typeset_engine.h"

namespace quenlet {
namespace {

// Prose marks: a paragraph containing one of these is body text.
#define QUENLET_PROSE_MARKS                                                                              \
    u',', u'\uFF0C', u'.', u'\u3002', u'\uFF1F', u'?', u'\uFF01', u'[', u']', u'!', u'\uFF0E', u'"',      \
        u'\u201D', u'\u201C', u'\u2018', u'\u2019', u'\'', u'/', u'\\', u'|', u'-', u'\uFF3B', u'\uFF3D', \
        u'\u3001', u'_', u':', u'\uFF1A', u'\uFF0D', u'\u300C', u'\u300D', u'\u2026'

constexpr CharSet kProseMarks{QUENLET_PROSE_MARKS};
// The splitting writer also knows the double corner brackets and angle brackets.
constexpr CharSet kSplitProseMarks{QUENLET_PROSE_MARKS, u'\u300E', u'\u3008', u'\u3009', u'\u300F'};

#undef QUENLET_PROSE_MARKS

}  // namespace

// Scans Line for the first mark of the set, leaving the character examined
// last in CurrentChar; true when a mark was found.
bool TypesetEngine::scanForMark(const CharSet& marks) {
    DocumentState& s = s_;
    s.MarkCount = 0;
    s.LineEndsSentence = 0;
    for (char16_t c : s.Line) {
        if (marks.contains(c)) {
            setCurrentChar(c);
            s.MarkCount = 1;
            return true;
        }
    }
    if (!s.Line.empty()) setCurrentChar(s.Line.back());
    return false;
}

void TypesetEngine::writeHeading(HeadingRank rank) {
    DocumentState& s = s_;
    if (s.HeadingsWritten == 0) {
        s.HeadingsWritten = 1;
    } else {
        output().blankLine();
        output().blankLine();
    }
    ++s.Stats.FinalParagraphCount;
    output().heading(options_.HeadingOpen, s.Line, options_.HeadingClose, rank);
    output().blankLine();
    ++findings_.headings;
    if (listingHeadings_ && findings_.headingList.size() < RunFindings::kMaxListedHeadings)
        findings_.headingList.push_back({s.Line, rank});
    if (std::all_of(s.Line.begin(), s.Line.end(), [](char16_t c) { return c == kSpace || c == kIdeographicSpace; }))
        ++findings_.emptyHeadings;
}

// Body text as one paragraph: closing marks stripped from its front, and
// dropped when one character or none is left.
void TypesetEngine::writeBodyLine() {
    ZZQT();
    if (s_.Line.size() > 1) {
        writeIndented(s_.Line);
        ++s_.Stats.FinalParagraphCount;
    }
}

// Writes Line as a heading or as body text cut into segments.
void TypesetEngine::fd() {
    DocumentState& s = s_;
    s.InParenthesis = 0;
    if (!scanForMark(kSplitProseMarks)) {
        writeHeading(headingByLookRank());
        return;
    }
    struct SegmentsToWriter {
        bool& flag;
        explicit SegmentsToWriter(bool& f) : flag(f) { flag = true; }
        ~SegmentsToWriter() { flag = false; }
    };
    {
        SegmentsToWriter streaming(segmentsToWriter_);
        DJ();
    }
    s.Stats.SplitCount += s.SegmentIndex;
    if (s.SegmentIndex == 0) writeBodyLine();  // uncut: the paragraph as it was, not the piece
    output().paragraphEnds();
}

// One segment cut off by DJ while fd runs it, in order of the slots.
void TypesetEngine::segmentCut(Count index, TextView segment) {
    if (index == 0) {
        firstSegment_.assign(segment);
        return;
    }
    if (index == 1) writeSegment(firstSegment_);
    writeSegment(segment);
}

// A segment of a cut paragraph: the prefix removed once, closing marks
// stripped, and dropped when one character or none is left.
void TypesetEngine::writeSegment(TextView segment) {
    if (segment.empty()) return;
    if (!options_.StripPrefix.empty() && startsWith(segment, options_.StripPrefix))
        segment.remove_prefix(options_.StripPrefix.size());
    segment = withoutClosingMarks(segment);
    if (segment.size() > 1) {
        writeIndented(segment);
        ++s_.Stats.FinalParagraphCount;
    }
}

// Writes Line as a heading or as one body paragraph.
void TypesetEngine::FD0() {
    if (!scanForMark(kProseMarks)) {
        writeHeading(headingByLookRank());
        return;
    }
    writeBodyLine();
    output().paragraphEnds();
}

}  // namespace quenlet
