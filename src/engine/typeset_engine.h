// The typesetting engine: the shared state, the stages that work on it, and
// the per-file core that feeds source lines through them.
//
// One engine lives as long as the program. The stages keep their short names;
// they take no arguments and talk to each other only through DocumentState,
// the options of the current file and the output the run opened.
#pragma once

#include "engine/document_state.h"
#include "engine/output_sink.h"
#include "engine/run_hooks.h"
#include "text/text.h"
#include "engine/typeset_options.h"

namespace quenlet {

// Progress of one file's run, for front ends that want to show it.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    virtual void mergingStarted() {}
    // sourceLineNumber is the count of non-empty source lines read so far.
    virtual void replacingParagraph(Count /*sourceLineNumber*/) {}
    virtual void splittingParagraph(Count /*sourceLineNumber*/) {}
};

// What a file's run leaves for the runs after it (the values the run start
// does not reset) -- kept aside so that a failed file can leave no trace.
struct CarriedState {
    Text CurrentChar;
    Text ScanChar;
    Statistics Stats;
    Count FileCount = 0;
};

class TypesetEngine : public LineFeed {
public:
    DocumentState& state() { return s_; }
    const DocumentState& state() const { return s_; }
    const TypesetOptions& options() const override { return options_; }
    const Statistics& statistics() const { return s_.Stats; }
    // What the file run last begun has found so far.
    const RunFindings& findings() const { return findings_; }

    // For driving single stages (tests, tools): the options and the output
    // that the stages use outside a file run.
    void setOptions(const TypesetOptions& options) { options_ = options; }
    void setOutput(OutputSink* output) { output_ = output; }

    CarriedState carriedState() const { return {s_.CurrentChar, s_.ScanChar, s_.Stats, s_.FileCount}; }
    void restoreCarriedState(const CarriedState& saved) {
        s_.CurrentChar = saved.CurrentChar;
        s_.ScanChar = saved.ScanChar;
        s_.Stats = saved.Stats;
        s_.FileCount = saved.FileCount;
    }

    // How the file run last begun depends on the CurrentChar it started with.
    // Only line merging's entry test reads it, as the question "is it exactly
    // one closing mark?" (leavesParagraphClosed), and the answer matters only
    // if it decides whether a short line stands alone.
    struct CarriedDependence {
        bool onClosingMarkTest = false;  // the output would differ had the answer been the other one
        bool currentCharWritten = false;  // else the file hands on the value it was given
    };
    CarriedDependence carriedDependence() const { return dependence_; }
    static bool leavesParagraphClosed(TextView currentChar);

    // Zeroes the four statistics: once per single-file run, once per batch.
    void resetStatistics() { s_.Stats = {}; }

    // The per-file core. beginFile sets the run-start values, processLine takes
    // one physical source line (without its terminator), endFile writes the
    // paragraph still held at the end of the source. Hooks, when given, see
    // the source lines first and each paragraph on its way (run_hooks.h).
    void beginFile(const TypesetOptions& options, OutputSink& output, RunObserver* observer = nullptr,
                   RunHooks* hooks = nullptr);
    void processLine(Text rawLine);
    void endFile();

    // Where hooks hand lines back (LineFeed).
    void takeRawLine(Text line) override;
    void countSourceLine() override { ++s_.Stats.SourceParagraphCount; }
    void takeCleanLine(TextView line) override;
    void takeHeading(Text title, HeadingRank rank) override;
    void takeListEntry(Text entry) override;
    void endParagraph() override;
    bool holdingParagraph() const override { return s_.Pending == 1; }
    // Whether the runs list each heading's title in their findings (counting them costs nothing).
    void setListingHeadings(bool on) { listingHeadings_ = on; }
    // Forgets the hooks of the last file run (they live only as long as it).
    void detachHooks() {
        hooks_ = nullptr;
        segmentationFindsHeadingsAndRules_ = true;
    }

    // The stages.
    void ZZZ1();  // straight double quotes to “ ”, runs of 。.,、 to "……"
    void Zyt();   // the fixed corrections, then the user's replace rule
    void TH0();   // replaces every CorrectionFind in Line with CorrectionReplace
    void TH();    // the user's rule: FindText becomes ReplaceText
    void HB();    // joins broken source lines into paragraphs and queues them
    void fd();    // writes a paragraph as heading or body text, split into segments
    void FD0();   // writes a paragraph as heading or body text, unsplit
    void DJ();    // cuts a paragraph at headings, quotations and sentence ends
    void ZZQT();  // trims Line and strips closing marks from its front

private:
    bool removeQuestionMarkRuns();
    void fixedCorrectionsInOnePass();
    void noteLastCorrection();
    void mergeOrWrite();
    void drainQueue();
    void endHeldParagraph();
    bool normaliseForOwnLine();
    void queueParagraph(Text paragraph);
    void resetPairStates();
    bool scanForMark(const CharSet& marks);
    void writeHeading(HeadingRank rank = HeadingRank::Chapter);
    // The rank of a paragraph the writers make a heading by its look: a
    // chapter's, unless the hooks find the chapter headings themselves.
    HeadingRank headingByLookRank() const {
        return segmentationFindsHeadingsAndRules_ ? HeadingRank::Chapter : HeadingRank::Minor;
    }
    void writeBodyLine();
    void segmentCut(Count index, TextView segment);
    void writeSegment(TextView segment);
    // The text trimmed, then without the closing marks at its front.
    static TextView withoutClosingMarks(TextView text);
    void setCurrentChar(TextView value) {
        s_.CurrentChar.assign(value);
        dependence_.currentCharWritten = true;
    }
    void setCurrentChar(char16_t c) {
        s_.CurrentChar.assign(1, c);
        dependence_.currentCharWritten = true;
    }
    void writeIndented(TextView body);
    OutputSink& output();

    DocumentState s_;
    TypesetOptions options_;
    OutputSink* output_ = nullptr;
    RunObserver* observer_ = nullptr;
    RunHooks* hooks_ = nullptr;
    bool segmentationFindsHeadingsAndRules_ = true;  // the hooks' answer, asked once per file
    bool listingHeadings_ = false;
    RunFindings findings_;
    // While fd runs DJ, each segment is written as soon as it is cut off
    // instead of being kept in Segments: a paragraph cut into millions of
    // pieces then needs no table of them. The first is held back until a
    // second shows that the paragraph was cut at all.
    bool segmentsToWriter_ = false;
    // Whether ClosedFlag and PrevClosed hold the answer about the CurrentChar
    // the file started with (see CarriedDependence).
    bool closedFlagFromCarried_ = false;
    bool prevClosedFromCarried_ = false;
    CarriedDependence dependence_;
    Text firstSegment_;
};

}  // namespace quenlet
