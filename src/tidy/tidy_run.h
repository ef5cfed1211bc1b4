// One file's tidy run: the hooks that see its source lines before the engine
// does. Heading lines are held until the next line of text shows what they
// are: a run of them with no text between is a table of contents (its last
// heading, and a volume heading just before it, belong to the text that
// follows); a bare number (第三回) takes the short title line after it.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <unordered_map>
#include <vector>

#include "engine/run_hooks.h"
#include "tidy/book_look.h"
#include "tidy/line_matcher.h"

namespace quenlet::tidy {

class TidyRun final : public RunHooks, private SourceLook {
public:
    explicit TidyRun(const TidyRules& rules) : rules_(rules), matcher_(rules) {}

    // The whole book is looked at first (book_look.h); without that look,
    // as when the engine is fed lines directly, each line is judged alone.
    SourceLook* firstLook() override { return this; }
    // What the look found, as the run consults it.
    const BookAnalysis& analysis() const { return analysis_; }
    void rawLine(Text line, LineFeed& feed) override;
    void sourceEnded(LineFeed& feed) override;
    void paragraphQueued(Text& paragraph) override;
    bool paragraphCorrected(Text& paragraph) override;
    bool segmentationFindsHeadingsAndRules() const override { return false; }  // found line by line
    void addFindings(RunFindings& findings) const override;

private:
    // The first look (SourceLook).
    void line(TextView raw) override;
    void ended() override;
    std::unique_ptr<SourceLook> laterLook() override;
    bool takeLater(SourceLook& later) override;
    bool mayStillJoin() const override { return !look_ || look_->mayStillJoin(); }
    class LaterLook;
    const BookAnalysis::Line* plannedRole();
    LineMatcher::Junk removeJunk(bool latinLetters);
    bool isBoilerplate(TextView spaced);
    void noteJunk(TextView piece);
    bool cutAddresses(Text& spaced, bool cutByRule);
    std::size_t titleEnd(TextView subject, TextView title) const;
    void headingBySequence(TextView subject, FormLevel level, LineFeed& feed);
    std::pair<Text, TextView> formattedHeading(TextView subject) const;
    static void cutGluedCouplet(LineClass& found);
    void startParagraphIfShown(TextView raw, LineFeed& feed);

    struct Held {
        enum Kind { Heading, TocHead, Entry } kind;
        Text text;
        HeadingRank rank = HeadingRank::Chapter;
        int level = 1;
        bool bare = false;
    };
    void emptyLine();
    void bodyLine(TextView text, LineFeed& feed, TextView spaced = {});
    void plainBodyLine(bool mayHoldSpaces, LineFeed& feed);
    void attachTitle();
    void settleTitle(int level);
    void handOnHeld(LineFeed& feed);
    void handOnOldest(LineFeed& feed);
    static void handOnAsContents(Held& line, LineFeed& feed);
    void hold(Held line, LineFeed& feed);

    const TidyRules& rules_;
    LineMatcher matcher_;
    Text spaced_;
    Text compact_;
    std::vector<Held> held_;
    bool inTableOfContents_ = false;
    std::optional<Text> title_;  // a short line after a bare heading: its title, if an empty line follows
    Count junkRemoved_ = 0;
    bool standIns_ = false;  // the paragraph on its way holds hyphens kept from the corrections

    std::optional<BookLook> look_;
    BookAnalysis analysis_;
    Count lineIndex_ = -1;        // of the raw line being taken, from 0
    Count lookedAt_ = 0;          // lines the first look has seen
    std::size_t nextPlanned_ = 0;  // in analysis_.lines
    bool blankBefore_ = true;
    bool lastEndedSentence_ = true;  // the last line of text handed on ended a sentence
    Count heldLength_ = 0;          // of the paragraph line merging holds, about
    Text skeleton_;
    std::vector<RunFindings::JunkPiece> junkList_;
    std::unordered_map<Text, std::size_t> junkIndex_;
    std::vector<Text> cutPieces_;
};

}  // namespace quenlet::tidy
