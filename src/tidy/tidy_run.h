// One file's tidy run: the hooks that see its source lines before the engine
// does. Heading lines are held until the next line of text shows what they
// are: a run of them with no text between is a table of contents (its last
// heading, and a volume heading just before it, belong to the text that
// follows); a bare number (第三回) takes the short title line after it.
#pragma once

#include <optional>
#include <vector>

#include "tidy/line_matcher.h"
#include "engine/run_hooks.h"

namespace quenlet::tidy {

class TidyRun final : public RunHooks {
public:
    explicit TidyRun(const TidyRules& rules) : matcher_(rules) {}

    void rawLine(Text line, LineFeed& feed) override;
    void sourceEnded(LineFeed& feed) override;
    void paragraphQueued(Text& paragraph) override;
    bool paragraphCorrected(Text& paragraph) override;
    bool segmentationFindsHeadingsAndRules() const override { return false; }  // found line by line
    void addFindings(RunFindings& findings) const override { findings.junkRemoved += junkRemoved_; }

private:
    struct Held {
        enum Kind { Heading, TocHead, Entry } kind;
        Text text;
        HeadingRank rank = HeadingRank::Chapter;
        int level = 1;
        bool bare = false;
    };
    void emptyLine();
    void bodyLine(TextView text, LineFeed& feed);
    void plainBodyLine(bool mayHoldSpaces, LineFeed& feed);
    void attachTitle();
    void settleTitle(int level);
    void handOnHeld(LineFeed& feed);
    void handOnOldest(LineFeed& feed);
    static void handOnAsContents(Held& line, LineFeed& feed);
    void hold(Held line, LineFeed& feed);

    LineMatcher matcher_;
    Text spaced_;
    Text compact_;
    std::vector<Held> held_;
    bool inTableOfContents_ = false;
    std::optional<Text> title_;  // a short line after a bare heading: its title, if an empty line follows
    Count junkRemoved_ = 0;
    bool standIns_ = false;  // the paragraph on its way holds hyphens kept from the corrections
};

}  // namespace quenlet::tidy
