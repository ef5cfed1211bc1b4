// Paragraph segmentation: cuts one paragraph into segments at sentence ends
// outside quotations, around quotations and brackets, and around chapter
// headings ("第" ... "章"); drops rule lines and closing marks doubled after a
// sentence end.
//
// The scan works in passes: every cut or deletion shortens the remaining text
// and the next pass starts again at its front, with fresh bracket states.
#include <limits>

#include "engine/typeset_engine.h"

namespace quenlet {
namespace {

constexpr CharSet kSentenceEndMarks{u'\u3002', u'!', u'\uFF01', u'\u2026', u'?', u'\uFF1F'};
// Before an opening quote or bracket, these make a cut before it.
constexpr CharSet kOpeningGuardSet{u'\u201D', u'"', u'\u3002', u'\uFF01', u'.',
                                   u'\u300D', u']', u'\u300F', u'\uFF3D', u'!'};
// Before a closing quote or bracket, these make a cut after it.
constexpr CharSet kClosingGuardSet{u'\u3002', u'?', u'\u2026', u'.', u'!', u'\uFF01', u'\uFF1F', u'\u00B7'};
// Directly after a sentence end these are deleted instead of cut at.
constexpr CharSet kFollowingCloserSet{u'\u3002', u'!',      u'\uFF01', u'\u201D', u'"',      u')',      u'\u300D',
                                      u'\u2026', u'\uFF09', u'\uFF3D', u']',      u'\u300F', u'\u2019', u'\''};
constexpr CharSet kHeadingUnitSet{u'\u7AE0', u'\u56DE', u'\u7BC7', u'\u8BDD', u'\u5173',
                                  u'\u8282', u'\u90E8', u'\u8F91', u'\u96C6', u'\u8BFE'};
constexpr CharSet kStarChars{u'*', u'\uFF0A'};
constexpr CharSet kDashChars{u'\uFF0D', u'\u2014', u'-'};
constexpr CharSet kEqualsChars{u'=', u'\uFF1D'};
constexpr CharSet kRuleChars{u'*', u'\uFF0A', u'\uFF0D', u'\u2014', u'-', u'=', u'\uFF1D'};

// Every character a test of the scan reacts to; any other character only
// closes the rule runs.
constexpr CharSet kReactedTo{u'(', u'\uFF08', u')', u'\uFF09', u'*', u'\uFF0A', u'\uFF0D', u'\u2014', u'-', u'=',
                             u'\uFF1D', u'\u7AE0', u'\u56DE', u'\u7BC7', u'\u8BDD', u'\u5173', u'\u8282', u'\u90E8',
                             u'\u8F91', u'\u96C6', u'\u8BFE', u'[', u'\uFF3B', u']', u'\uFF3D', u'\u300C', u'\u300E',
                             u'\u300D', u'\u300F', u'\u201C', u'\u201D', u'\u2018', u'\u2019', u'"', u'\'', u'\u3002',
                             u'!', u'\uFF01', u'\u2026', u'?', u'\uFF1F'};

constexpr char16_t kOrdinalPrefix = u'\u7B2C';  // 第
constexpr Count kRuleRunMinimum = 4;
constexpr Count kSentenceCutCap = 1000;
constexpr Count kHeadingWindow = 7;  // the unit character stands before this position

}  // namespace

// Cuts the paragraph in Line into Segments[0..SegmentIndex].
//
// The rule works in passes: each cut or deletion ends a pass and the next one
// starts at the front of what is left, with fresh bracket states. The
// remaining text is kept here as a range [start, end) of the paragraph instead
// of a copy, so a cut costs only the segment it stores; and a deleted closing
// mark after a sentence end is skipped instead of rescanning the text before
// it -- that rescan would meet the same states and arrive at the same
// sentence end again (the run counters, the only state a pass does not reset,
// are zero at a sentence end). Only while the remaining text still has spaces
// at its ends, which a deletion's trim would remove and so shift every
// position, is a deletion carried out literally, on a copy in LineCopy;
// otherwise the paragraph is read where it is, in Line.
void TypesetEngine::DJ() {
    DocumentState& s = s_;
    const Text* source = &s.Line;
    std::size_t start = 0;
    std::size_t end = source->size();
    s.StarRun = s.DashRun = s.EqualsRun = 0;
    s.SegmentIndex = 0;

    auto store = [this, &s, &source](std::size_t from, std::size_t to) {
        if (segmentsToWriter_) {
            segmentCut(s.SegmentIndex, TextView(source->data() + from, to - from));
            return;
        }
        if (s.Segments.size() <= static_cast<std::size_t>(s.SegmentIndex)) s.Segments.resize(s.SegmentIndex + 1);
        s.Segments[s.SegmentIndex].assign(source->data() + from, to - from);
    };
    auto storeEmpty = [&store, &s] {
        store(0, 0);
        ++s.SegmentIndex;
    };
    auto text = [&source](std::size_t at) { return (*source)[at]; };
    // ScanChar ends up holding the last character examined; it is written once, on the way out.
    struct LastScanned {
        DocumentState& s;
        char16_t c = 0;
        ~LastScanned() {
            if (c != 0) s.ScanChar.assign(1, c);
        }
    } lastScanned{s};
    auto trimmedStore = [&](std::size_t from, std::size_t to) {
        while (from < to && text(from) == kSpace) ++from;
        while (to > from && text(to - 1) == kSpace) --to;
        store(from, to);
    };
    // The remaining text becomes [from, end), trimmed.
    auto keepFrom = [&](std::size_t from) {
        start = std::min(from, end);
        while (start < end && text(start) == kSpace) ++start;
        while (end > start && text(end - 1) == kSpace) --end;
    };

    // Where the run's hooks ask for it (the tidy mode, which sets headings
    // apart itself), a 第…回 inside the text is no heading to cut out and a
    // rule run drops nothing: no run is ever long enough.
    const bool headingsInText = segmentationFindsHeadingsAndRules_;
    const Count ruleRunMinimum = headingsInText ? kRuleRunMinimum : std::numeric_limits<Count>::max();

    for (;;) {  // one pass over the remaining text [start, end)
        s.InSquareBracket = s.InCornerBracket = s.InDoubleQuote = s.InSingleQuote = 0;
        s.InAsciiDoubleQuote = s.InAsciiSingleQuote = 0;
        s.OrdinalPrefix = headingsInText && start < end && text(start) == kOrdinalPrefix ? 1 : 0;
        if (start == end) {
            store(0, 0);
            s.Line.clear();
            return;
        }
        bool actionTaken = false;
        for (std::size_t pos = 1; !actionTaken; ++pos) {  // position within the remaining text
            if ((s.StarRun | s.DashRun | s.EqualsRun) == 0) {
                // Skip the ordinary characters: with no rule run open they change nothing.
                const char16_t* data = source->data();
                std::size_t at = start + pos - 1;
                const std::size_t skipFrom = at;
                while (at + 1 < end && !kReactedTo.contains(data[at])) ++at;
                if (at > skipFrom) {
                    lastScanned.c = data[at - 1];
                    pos = at - start + 1;
                }
            }
            s.ScanPos = static_cast<Count>(pos);
            const std::size_t at = start + pos - 1;
            if (pos >= end - start) {
                trimmedStore(start, end);
                return;
            }
            const char16_t c = text(at);
            lastScanned.c = c;
            if (!kReactedTo.contains(c)) {
                // An ordinary character only closes the rule runs.
                if ((s.StarRun | s.DashRun | s.EqualsRun) == 0) continue;
                if (s.InParenthesis != 0 ||
                    (s.StarRun < ruleRunMinimum && s.DashRun < ruleRunMinimum && s.EqualsRun < ruleRunMinimum)) {
                    s.StarRun = s.DashRun = s.EqualsRun = 0;
                    continue;
                }
            }
            if (c == u'(' || c == u'\uFF08') s.InParenthesis = 1;
            if (c == u')' || c == u'\uFF09') s.InParenthesis = 0;

            // A rule line: a run of four or more stars, dashes or equals signs is
            // dropped together with everything before it.
            auto closeRun = [&](const CharSet& members, Count& run) {
                if (members.contains(c)) {
                    ++run;
                } else if (run >= ruleRunMinimum && s.InParenthesis == 0) {
                    keepFrom(at);
                    run = 0;
                    return true;
                } else {
                    run = 0;
                }
                return false;
            };
            if (((s.StarRun | s.DashRun | s.EqualsRun) != 0 || kRuleChars.contains(c)) &&
                (closeRun(kStarChars, s.StarRun) || closeRun(kDashChars, s.DashRun) ||
                 closeRun(kEqualsChars, s.EqualsRun))) {
                actionTaken = true;
                continue;
            }

            const bool cutAllowed = pos > 1 && s.InParenthesis == 0;
            const char16_t previous = pos > 1 ? text(at - 1) : u'\0';
            auto cutBefore = [&] {
                store(start, at);
                keepFrom(at);
                ++s.SegmentIndex;
                actionTaken = true;
            };
            auto cutAfter = [&] {
                store(start, at + 1);
                keepFrom(at + 1);
                ++s.SegmentIndex;
                actionTaken = true;
            };

            if (s.OrdinalPrefix == 1 && s.ScanPos < kHeadingWindow && s.InParenthesis == 0 &&
                kHeadingUnitSet.contains(c)) {
                // The heading gets a segment of its own between empty ones.
                storeEmpty();
                storeEmpty();
                store(start, at + 1);
                keepFrom(at + 1);
                ++s.SegmentIndex;
                storeEmpty();
                actionTaken = true;
                continue;
            }

            switch (c) {
                case u'[':
                case u'\uFF3B':
                    s.InSquareBracket = 1;
                    if (cutAllowed && kOpeningGuardSet.contains(previous)) cutBefore();
                    break;
                case u']':
                case u'\uFF3D':
                    s.InSquareBracket = 0;
                    if (cutAllowed && kClosingGuardSet.contains(previous)) cutAfter();
                    break;
                case u'\u300C':
                case u'\u300E':
                    s.InCornerBracket = 1;
                    if (cutAllowed && kOpeningGuardSet.contains(previous)) cutBefore();
                    break;
                case u'\u300D':
                case u'\u300F':
                    s.InCornerBracket = 0;
                    if (cutAllowed && kClosingGuardSet.contains(previous)) cutAfter();
                    break;
                case u'\u201C':
                    s.InDoubleQuote = 1;
                    if (cutAllowed && kOpeningGuardSet.contains(previous)) cutBefore();
                    break;
                case u'\u201D':
                    s.InDoubleQuote = 0;
                    if (cutAllowed && kClosingGuardSet.contains(previous)) cutAfter();
                    break;
                case u'\u2018':
                    s.InSingleQuote = 1;
                    if (cutAllowed && previous == u'\u2019') cutBefore();
                    break;
                case u'\u2019':
                    s.InSingleQuote = 0;
                    if (s.InDoubleQuote == 0 && s.InSquareBracket == 0 && s.InCornerBracket == 0 && cutAllowed &&
                        kClosingGuardSet.contains(previous))
                        cutAfter();
                    break;
                case u'"':
                    if (s.InAsciiDoubleQuote == 0) {
                        s.InAsciiDoubleQuote = 1;
                        if (cutAllowed && (previous == u'"' || kClosingGuardSet.contains(previous))) cutBefore();
                    } else {
                        s.InAsciiDoubleQuote = 0;
                        if (cutAllowed && kClosingGuardSet.contains(previous)) cutAfter();
                    }
                    break;
                case u'\'':
                    if (s.InAsciiSingleQuote == 0) {
                        s.InAsciiSingleQuote = 1;
                    } else {
                        s.InAsciiSingleQuote = 0;
                        if (s.InAsciiDoubleQuote == 0 && cutAllowed &&
                            (previous == u'\'' || kClosingGuardSet.contains(previous)))
                            cutAfter();
                    }
                    break;
                default: break;
            }
            if (actionTaken) continue;

            if (!kSentenceEndMarks.contains(c) || s.InCornerBracket != 0 || s.InDoubleQuote != 0 ||
                s.InSingleQuote != 0 || s.InAsciiDoubleQuote != 0 || s.InSquareBracket != 0 ||
                s.InParenthesis != 0)
                continue;
            if (kFollowingCloserSet.contains(text(at + 1)) && (text(start) == kSpace || text(end - 1) == kSpace)) {
                // The deletion's trim shifts the text: carry it out as stated and rescan.
                if (source != &s.LineCopy) {
                    s.LineCopy = s.Line;
                    source = &s.LineCopy;
                }
                s.LineCopy.erase(at + 1, 1);
                --end;
                keepFrom(start);
                actionTaken = true;
                continue;
            }
            // Closing marks doubled after the sentence end are deleted, one per
            // pass; each pass comes back to this sentence end.
            std::size_t next = at + 1;
            while (next < end && kFollowingCloserSet.contains(text(next))) ++next;
            if (next == end) {  // the sentence end is now the last character
                trimmedStore(start, at + 1);
                return;
            }
            store(start, at + 1);
            keepFrom(next);
            ++s.SegmentIndex;
            actionTaken = true;
            // Cap the cuts at sentence ends: the rest becomes one last segment.
            if (s.SegmentIndex > kSentenceCutCap) {
                store(start, end);
                s.Line.clear();
                return;
            }
        }
    }
}

}  // namespace quenlet
