// Optional behaviour joins a file's run at a few named points: the raw source
// lines before the run cleans them, and each finished paragraph before and
// after its normalisation. Every hook has a do-nothing default, and a run
// without hooks never calls one, so the stages stay exactly as they are.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/document_state.h"
#include "engine/output_sink.h"
#include "text/text.h"
#include "engine/typeset_options.h"

namespace quenlet {

// What a run found besides its four statistics.
struct RunFindings {
    struct Heading {
        Text title;
        HeadingRank rank = HeadingRank::Chapter;
        bool operator==(const Heading&) const = default;
    };
    Count headings = 0;  // headings written
    // Their titles in order, when asked for (TypesetEngine::setListingHeadings);
    // at most kMaxListedHeadings, so that no source can make the list outgrow memory.
    std::vector<Heading> headingList;
    static constexpr std::size_t kMaxListedHeadings = 100000;
    Count emptyHeadings = 0;      // headings with nothing but spaces between the markers
    Count junkRemoved = 0;        // junk lines dropped and junk fragments cut
    Count linesDropped = 0;       // lines dropped because they ended in a run of question marks
    Count charactersDropped = 0;  // the characters of those lines
    // What the hooks could not do as asked, each in a sentence that a front
    // end shows after the file's name ("line 12: ...").
    std::vector<std::string> warnings;
    // What the numbering of a book's headings shows (the tidy mode reads it
    // from the whole book): chapter numbers missing, numbers given twice, and
    // the numbers after which it stepped back.
    std::vector<std::int64_t> sequenceMissing;
    std::vector<std::int64_t> sequenceRepeated;
    std::vector<std::int64_t> sequenceBackwards;
    // The junk removed, each distinct piece once with how often it went, in
    // the order first seen; at most kMaxListedJunk pieces.
    struct JunkPiece {
        Text text;
        Count count = 0;
        bool operator==(const JunkPiece&) const = default;
    };
    std::vector<JunkPiece> junkList;
    static constexpr std::size_t kMaxListedJunk = 10000;

    // Adds another run's counts, as a batch sums its files' (not their lists of headings).
    RunFindings& operator+=(const RunFindings& more) {
        headings += more.headings;
        emptyHeadings += more.emptyHeadings;
        junkRemoved += more.junkRemoved;
        linesDropped += more.linesDropped;
        charactersDropped += more.charactersDropped;
        return *this;
    }
};

// How a line pre-processor hands lines back to the run.
class LineFeed {
public:
    virtual ~LineFeed() = default;
    // A source line as read: cleaned, merged and written as the run does without hooks.
    virtual void takeRawLine(Text line) = 0;
    // Counts one non-empty source line that the pre-processor takes care of itself.
    virtual void countSourceLine() = 0;
    // A line already cleaned (and counted): merged and written as usual.
    virtual void takeCleanLine(TextView line) = 0;
    // A heading: ends the paragraph being held, then is written as a heading of
    // its own, never cut and never joined to anything. Without the user's
    // prefix (StripPrefix), which only a line taken with takeCleanLine loses.
    virtual void takeHeading(Text title, HeadingRank rank) = 0;
    // One entry of a table of contents: ends the paragraph being held, then is
    // written as a line of its own.
    virtual void takeListEntry(Text entry) = 0;
    // Ends the paragraph line merging holds, as it stands, so that the next
    // line starts a paragraph of its own.
    virtual void endParagraph() = 0;
    // True while line merging holds an unfinished paragraph.
    virtual bool holdingParagraph() const = 0;
    // The options of the file's run.
    virtual const TypesetOptions& options() const = 0;
};

// A look at the whole source before its run begins: every line as read, in
// order, then the end. The run then reads the source again from its start.
//
// A long source may be looked at in two parts at once, on two threads: this
// look takes the lines up to some line, a later look (made by laterLook) the
// lines from there, after a few lines before its first that only show it
// what they leave behind (leadIn). Taking the later look in must give what
// this look would have found seeing every line itself; where it cannot
// (takeLater is false), this look is given the later lines too.
class SourceLook {
public:
    virtual ~SourceLook() = default;
    virtual void line(TextView raw) = 0;
    virtual void ended() = 0;
    // A look at a later part, that may run on another thread; none when this
    // look must see every line itself.
    virtual std::unique_ptr<SourceLook> laterLook() { return nullptr; }
    // For a later look: a line of the lead-in before its first line.
    virtual void leadIn(TextView /*raw*/) {}
    // Takes in a later look made by laterLook that has seen the lines after
    // this look's last (and not ended); false when that would not be exact.
    virtual bool takeLater(SourceLook& /*later*/) { return false; }
    // False once this look has gathered so much that taking the other part in
    // could no longer be exact: the later look is then given up early.
    virtual bool mayStillJoin() const { return true; }
};

class RunHooks {
public:
    virtual ~RunHooks() = default;
    // The look the hooks want at the whole source first, or none.
    virtual SourceLook* firstLook() { return nullptr; }
    // Every source line as read, in order. The hooks hand lines on through
    // `feed`, at once or later (they may hold lines to look ahead).
    virtual void rawLine(Text line, LineFeed& feed) { feed.takeRawLine(std::move(line)); }
    // The source has ended: whatever is still held must be handed on now.
    virtual void sourceEnded(LineFeed& /*feed*/) {}
    // A finished paragraph (or heading, or list entry) about to pass through
    // quote normalisation and the corrections.
    virtual void paragraphQueued(Text& /*paragraph*/) {}
    // The same after the corrections, about to be written; false drops it.
    virtual bool paragraphCorrected(Text& /*paragraph*/) { return true; }
    // Whether the segmentation still cuts chapter headings (第 .. 章) out of
    // body text and drops rule runs (----) with the text before them. Hooks
    // that find headings and rule lines themselves say no, so that a sentence
    // starting with 第一回, or holding a long dash (他说————), stays whole.
    virtual bool segmentationFindsHeadingsAndRules() const { return true; }
    // Adds what the hooks found to the run's findings, once the file has ended.
    virtual void addFindings(RunFindings& /*findings*/) const {}
};

// Makes the hooks of one file's run. One maker serves many files, on several
// threads at once, so it must stay read-only; each file gets hooks of its own.
class RunHooksMaker {
public:
    virtual ~RunHooksMaker() = default;
    virtual std::unique_ptr<RunHooks> hooksForFile() const = 0;
};

}  // namespace quenlet
