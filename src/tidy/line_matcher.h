// Applies the rules to one line: cuts and drops site junk, and tells a
// heading (with its rank and title) or the head of a table of contents from
// body text. One matcher serves one file: it keeps the match data and what
// it has learnt about which characters can start which patterns.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/document_state.h"
#include "engine/output_sink.h"
#include "tidy/tidy_rules.h"

namespace quenlet::tidy {

// A heading is short: longer lines are text.
inline constexpr std::size_t kMaxHeadingLength = 40;

// Which of a list of patterns can start a match with a given character,
// worked out once per character and file and remembered: most characters
// start no heading at all, and their lines skip every regular expression.
class StartFilter {
public:
    explicit StartFilter(std::vector<const Pattern*> patterns);
    // Bit i set when pattern i (or, past 63, any of them) may start a match with c.
    std::uint64_t mask(char16_t c, MatchData& data) {
        const std::uint16_t slot = slots_[c];
        if (slot == kNone) return 0;
        if (slot != kUnknown) return masks_[slot - kFirstMask];
        return learn(c, data);
    }
    static bool selected(std::uint64_t mask, std::size_t pattern) {
        return (mask >> std::min<std::size_t>(pattern, 63)) & 1U;
    }

private:
    static constexpr std::uint16_t kUnknown = 0, kNone = 1, kFirstMask = 2;
    std::uint64_t learn(char16_t c, MatchData& data);

    std::vector<const Pattern*> patterns_;
    std::vector<std::uint16_t> slots_;
    std::vector<std::uint64_t> masks_;
};

struct LineClass {
    enum Kind { Body, Heading, TocHead } kind = Body;
    HeadingRank rank = HeadingRank::Chapter;
    int level = 1;           // volume 0, chapter 1, section 2: a lower level ranks higher
    Text text;               // a heading's number and title, or the head of a table of contents, without spaces
    bool bare = false;       // a heading of only its number or keyword, its title may follow on the next line
    Text remainder;          // body text that followed the heading on the same line
    Count prefixesRemoved = 0;
};

class LineMatcher {
public:
    explicit LineMatcher(const TidyRules& rules);

    // The spaced line of `raw` (tidy_text.h), noting on the way which junk
    // rules the line could match, and what else it holds.
    struct Shape {
        bool questionMarks = false;  // ? or ？
        bool innerSpaces = false;    // spaces between its words
    };
    Shape spaceLine(TextView raw, Text& spaced);

    enum class Junk { None, Cut, Dropped };
    // Applies the drop-line and cut rules to the line spaceLine made; `removed`
    // counts the line or the fragments taken away.
    Junk removeJunk(Text& spaced, Count& removed);

    // Whether some toc, prefix or heading rule may match the spaced line, at
    // its start or after a short first word: false for most lines of text.
    bool mayBeHeading(TextView spaced);

    // What the spaced line is. `atParagraphStart`: nothing unfinished comes
    // before it, so a title glued to its number (第一回灵根育孕) may be a heading.
    LineClass classify(TextView spaced, bool atParagraphStart);

private:
    // `mask`: the rules that may match (StartFilter), all of them when not known.
    bool headingAt(TextView subject, bool atParagraphStart, LineClass& found, std::uint64_t mask = ~std::uint64_t{0});
    bool titleFits(TextView number, TextView title, bool separated, bool atParagraphStart) const;

    struct LineStartRule {
        const Pattern* pattern;
        RuleKind kind;
    };
    MatchData data_;
    std::vector<const Rule*> junk_;  // in file order
    // For each character, which junk rules need it in their first and second
    // set of needed characters (an index into needMasks_, plus one).
    std::vector<std::uint16_t> needSlots_;
    // For each character: a space of some kind, noteworthy (needed by some
    // junk rule, or a question mark), or neither.
    static constexpr std::uint8_t kPlain = 0, kSpace = 1, kNoteworthy = 2;
    std::vector<std::uint8_t> kinds_;
    struct NeedMasks {
        std::uint64_t first = 0;
        std::uint64_t second = 0;
    };
    std::vector<NeedMasks> needMasks_;
    std::uint64_t unguarded_ = 0;  // junk rules that need no particular character
    std::uint64_t candidates_ = 0;  // the junk rules the current line could match
    // Junk rules that match only at the line's start, by their first character.
    StartFilter junkStarts_;
    std::uint64_t anchoredJunk_ = 0;
    std::vector<std::size_t> anchoredJunkIndex_;  // a junk rule's place in junkStarts_
    std::vector<LineStartRule> lineStart_;  // toc, prefix and heading rules, in file order
    StartFilter lineStartFilter_;
    Text scratch_;
};

}  // namespace quenlet::tidy
