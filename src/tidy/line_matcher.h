// Applies the rules to one line: cuts and drops site junk, and tells a
// heading (with its rank and title) or the head of a table of contents from
// body text. One matcher serves one file: it keeps the match data and what
// it has learnt about which characters can start which patterns.
//
// The rules never see the escape units of undecodable bytes one by one: a
// run of them stands, for every pattern, as one U+FFFD, so that a match
// takes such a run whole or leaves it whole. (Split, the two escape units of
// a UTF-16 unit would leave an odd byte that shifts the rest of the copy.)
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
    Text prefix;             // the site prefix removed, without spaces
};

class LineMatcher {
public:
    explicit LineMatcher(const TidyRules& rules);

    // The spaced line of `raw` (tidy_text.h), noting on the way which junk
    // rules the line could match, and what else it holds.
    struct Shape {
        bool questionMarks = false;  // ? or ？
        bool latinLetters = false;   // A-Z, a-z, half- or full-width
        bool innerSpaces = false;    // spaces between its words
        bool escapes = false;        // escape units of undecodable bytes (or low surrogates)
    };
    Shape spaceLine(TextView raw, Text& spaced);

    enum class Junk { None, Cut, Dropped };
    // Applies the drop-line and cut rules to the line spaceLine made; `removed`
    // counts the line or the fragments taken away.
    Junk removeJunk(Text& spaced, Count& removed);
    // The same in two steps, for what goes between them: whether a drop-line
    // rule matches the line, then (when none did) the cut rules.
    bool dropsLine(TextView spaced, Count& removed);
    // `pieces`, when given, gets each fragment cut out.
    Junk cutJunk(Text& spaced, Count& removed, std::vector<Text>* pieces = nullptr);

    // Whether some toc, prefix or heading rule may match the spaced line, at
    // its start or after a short first word: false for most lines of text.
    bool mayBeHeading(TextView spaced);
    // Whether one of the user's own heading, section, volume or toc rules
    // matches the spaced line: the user's word is stronger than what the tidy
    // mode's first look made of the line.
    bool userRuleMatches(TextView spaced);

    // Whether some toc, prefix or heading rule may match a line starting with c.
    bool mayStartLineRule(char16_t c) { return lineStartFilter_.mask(c, data_) != 0; }

    // The spaced line past a site prefix that stands before headings (正文,
    // 《书名》目录), or the whole line when it has none.
    TextView afterPrefix(TextView spaced);

    // What the spaced line is. `atParagraphStart`: nothing unfinished comes
    // before it, so a title glued to its number (第一回灵根育孕) may be a heading.
    LineClass classify(TextView spaced, bool atParagraphStart);

    // The source line the lines given from now on come from, for reports.
    void setLine(std::uint64_t line) { line_ = line; }
    // A rule whose match gave up on its budget (pattern.h): on which line
    // first, and on how many lines in all.
    struct LimitHit {
        const Rule* rule;
        std::uint64_t firstLine;
        std::uint64_t lines;
    };
    const std::vector<LimitHit>& limitHits() const { return limitHits_; }
    void forgetLimitHits() {
        limitHits_.clear();
        lastHitLine_.clear();
    }

private:
    // A rule's pattern on a subject from the current line, runs of escape
    // units masked (see above); a match that gave up is noted against the rule.
    bool find(const Rule& rule, TextView subject, std::size_t from, Match& match);
    bool findMasked(const Pattern& pattern, TextView subject, std::size_t from, Match& match);
    void noteLimitHit(const Rule& rule);
    // The subject's first unit as the start filters see it.
    char16_t firstUnit(TextView subject) const;
    // `mask`: the rules that may match (StartFilter), all of them when not known.
    bool headingAt(TextView subject, bool atParagraphStart, LineClass& found, std::uint64_t mask = ~std::uint64_t{0});
    bool titleFits(TextView number, TextView title, bool separated, bool atParagraphStart) const;

    struct LineStartRule {
        const Rule* rule;
        const Pattern* pattern;
        RuleKind kind;
    };
    MatchData data_;
    std::vector<const Rule*> junk_;  // in file order
    // For each character, which junk rules need it in their first and second
    // set of needed characters, and what it tells of the line: an index into
    // needMasks_. Plain characters share the first entry (nothing), spaces
    // of every kind the second; every other character that matters has one.
    std::vector<std::uint16_t> needSlots_;
    static constexpr std::uint16_t kPlainSlot = 0, kSpaceSlot = 1;
    struct NeedMasks {
        std::uint64_t first = 0;
        std::uint64_t second = 0;
        std::uint8_t shape = 0;  // what the character tells of the line (kQuestionMark ...)
    };
    static constexpr std::uint8_t kQuestionMark = 1, kLatinLetter = 2, kEscapeUnit = 4, kSpaceChar = 8;
    std::vector<NeedMasks> needMasks_;
    std::uint64_t unguarded_ = 0;  // junk rules that need no particular character
    std::uint64_t candidates_ = 0;  // the junk rules the current line could match
    std::uint64_t lineCandidates_ = 0;  // of those, the ones left after its first character (dropsLine)
    // Junk rules that match only at the line's start, by their first character.
    StartFilter junkStarts_;
    std::uint64_t anchoredJunk_ = 0;
    std::vector<std::size_t> anchoredJunkIndex_;  // a junk rule's place in junkStarts_
    std::vector<LineStartRule> lineStart_;  // toc, prefix and heading rules, in file order
    bool userLineStartRules_ = false;        // some of them the user's
    StartFilter lineStartFilter_;
    Text scratch_;
    bool lineHasEscapes_ = false;
    Text masked_;                      // the subject with its runs of escape units masked
    std::vector<std::size_t> starts_;  // where each unit of masked_ starts in the subject, and its end
    std::uint64_t line_ = 0;
    std::vector<LimitHit> limitHits_;
    std::vector<std::uint64_t> lastHitLine_;  // per rule of limitHits_
};

}  // namespace quenlet::tidy
