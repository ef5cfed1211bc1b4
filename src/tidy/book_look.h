// The tidy mode's first look at a whole book, before any of it is typeset.
// Looked at line by line, a download hides what the book as a whole shows at
// once: which line form its headings share (their numbers run 1, 2, 3 ...
// through it), what it repeats after chapter after chapter (a site's ad),
// how its paragraphs begin (indented, after a blank line, one a line). The
// look gathers plain counts while the source streams past -- memory is bounded
// by what it keeps, not by the book -- and ends with a BookAnalysis: a plain
// value the typesetting run then consults line by line.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "tidy/line_matcher.h"
#include "tidy/numbering.h"
#include "tidy/repetition.h"
#include "tidy/sequence.h"

namespace quenlet::tidy {

struct BookAnalysis {
    // What the book's numbering makes of a line of a heading form.
    enum class Role : std::uint8_t {
        Heading,  // its number runs on the book's sequence: a heading, however it looks alone
        Entry,    // an entry of a table of contents in the book's heading form
        Text,     // a line of the form whose number breaks the sequence: text
    };
    struct Line {
        Count line = 0;
        Role role = Role::Heading;
        FormLevel level = FormLevel::Chapter;
    };
    std::vector<Line> lines;  // in line order

    // The usual length of the book's titles (after the number), and of the
    // half of a two-part title (a couplet), for cutting a title from the
    // text it runs into; 0 when the book shows none.
    std::size_t titleLength = 0;
    std::size_t halfTitleLength = 0;

    // Recurring lines that are boilerplate, by the hash of their skeleton.
    std::unordered_set<std::uint64_t> boilerplate;
    struct Piece {
        Text text;
        Count count = 0;
    };
    std::vector<Piece> boilerplateSamples;  // each once, as it first stood, with how often it recurs
    // The words that stand with a recurring web address, cut with it.
    AddressCompanions addresses;

    // How the source shows where a paragraph begins, when a quotation left
    // open would otherwise hold lines together.
    bool indentStartsParagraph = false;  // paragraphs, and only they, start indented
    bool blankLineStartsParagraph = false;
    bool lineIsParagraph = false;  // one paragraph a line: a line that ends a sentence ends it

    NumberingNotes numbering;  // of the headings the sequence found
    Count sequenceHeadings = 0;
};

// Gathers while the lines stream past, then decides.
class BookLook {
public:
    // `matcher` serves the typesetting run after the look too: it is only borrowed.
    explicit BookLook(LineMatcher& matcher) : matcher_(matcher) {}

    void line(TextView raw);
    BookAnalysis finish();

    // A look at a later part of the book, beside the look at the lines
    // before it: the lines of its lead-in go through line() first, then
    // beginPart() keeps only what they leave the next line (whether it
    // follows a blank line, a finished sentence, a heading ...).
    void beginPart();
    // Takes in the look at the part that follows this look's last line, as
    // though this look had seen its lines; false, changing nothing, when
    // that would not come out exactly the same (the lead-in left another
    // state than this look's last line, or a table would have filled).
    bool append(BookLook& later);
    // False once this look holds so much that append() with another part
    // could fail for it (a table more than half full, or forgotten from).
    bool mayStillJoin() const;

private:
    struct Candidate {
        Count line;
        HeadingForm form;
        FormLevel level;
        std::int64_t number;
        Count textAfter = 0;  // characters of text after it before the next candidate
        std::uint16_t titleLength = 0;  // of a title that stands alone (0: none, or glued to text)
        std::uint16_t halfLength = 0;   // of a two-part title's first half
        bool standsAlone = false;       // a blank line or a finished sentence before it
        bool plain = true;              // short, and no sentence in it: it looks like a heading alone
    };
    void noteCandidate(const NumberedLine& numbered, TextView subject);
    void noteText(TextView text);
    void addText(Count length);
    void noteParagraphShape(TextView raw, TextView text);
    struct Sequence {
        std::vector<std::size_t> candidates;  // of the form, into candidates_
        SequenceResult run;
    };
    using Numbered = std::vector<std::pair<Count, std::int64_t>>;  // lines and numbers
    using Lengths = std::vector<std::size_t>;
    std::vector<Sequence> sequencesOf(FormLevel level, const std::vector<Count>& restarts) const;
    void placeLines(const Sequence& form, BookAnalysis& analysis, Numbered& numbered, Lengths& titles,
                    Lengths& halves) const;
    static NumberingNotes numberingOf(const Numbered& chapters, const std::vector<Count>& restarts);
    void decideHeadings(BookAnalysis& analysis);
    void decideBoilerplate(BookAnalysis& analysis) const;
    void decideParagraphs(BookAnalysis& analysis) const;

    static constexpr std::size_t kMaxCandidates = 1 << 18;
    static constexpr Count kNoLine = -2;  // (never a line, nor the line before any)

    // What a line leaves the next.
    struct LineState {
        bool blankBefore;
        bool sentenceEndedBefore;
        bool previousShort;
        bool previousEnded;
        bool candidateLast;  // the last line was a candidate
        bool operator==(const LineState&) const = default;
    };
    LineState lineState() const;

    LineMatcher& matcher_;
    Text spaced_;
    Text skeleton_;
    Count index_ = -1;
    Count junkCounted_ = 0;
    std::vector<Candidate> candidates_;
    Count lastCandidateLine_ = kNoLine;
    bool candidatesFull_ = false;
    // The last candidate of each rank (volume, chapter, section) whose text
    // runs on, as 1 + its index; 0 when none does.
    std::array<std::size_t, 3> open_{};
    std::vector<Count> volumeWords_;  // lines of volume headings without a number (上卷)
    RepeatCounter repeats_;
    AddressCompanions addresses_;
    bool blankBefore_ = true;
    bool sentenceEndedBefore_ = true;  // the last line of text ended a sentence
    bool previousShort_ = false;       // the last line of text was short

    // Paragraph shape: how lines begin and end.
    Count textLines_ = 0;
    Count indentedLines_ = 0;
    Count afterBlank_ = 0;           // text lines after a blank line
    Count endingSentence_ = 0;       // text lines that end a sentence
    Count indentedAfterEnd_ = 0;     // indented lines after a line that ended a sentence
    Count plainAfterEnd_ = 0;        // lines not indented after one that ended a sentence
    Count indentedAfterOpen_ = 0;    // indented lines after one that did not
    Count plainAfterOpen_ = 0;
    bool previousEnded_ = true;

    // A later part: the text its lines give the candidates still open at
    // the line before it (a chapter's, its volume's), until one of the part's
    // own takes over; and the state its first line met.
    bool part_ = false;
    std::array<bool, 3> inheritedOpen_{};
    std::array<Count, 3> inheritedText_{};
    LineState partStart_{};
};

}  // namespace quenlet::tidy
