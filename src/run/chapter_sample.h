// The beginning of a book as it was and as it came out, for a front end to
// set side by side: the source's lines and the typeset lines from the top up
// to the heading that starts the second chapter, each side bounded in size.
// Taken during the run itself, so that it needs no second reading of either
// file and holds whatever encoding, conversion and tidying the run used.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/output_sink.h"
#include "engine/run_hooks.h"
#include "text/text.h"

namespace quenlet {

struct ChapterSample {
    std::vector<Text> source;   // as read: undecodable bytes are escape units
    std::vector<Text> typeset;  // as the text copy has them (markers, indent and conversion included)
    // The side reached its bound before the second chapter's heading.
    bool sourceCut = false;
    bool typesetCut = false;
    bool operator==(const ChapterSample&) const = default;
};

// Where the first chapter ends: at the first chapter or volume heading after
// a chapter heading. Headings that are headings only by their look (Minor)
// stand inside a chapter and end nothing; a volume heading before the first
// chapter belongs to it.
class FirstChapterEnd {
public:
    bool endsAt(HeadingRank rank) {
        if (rank == HeadingRank::Minor) return false;
        if (chapterSeen_) return true;
        chapterSeen_ = rank == HeadingRank::Chapter;
        return false;
    }

private:
    bool chapterSeen_ = false;
};

// Gathers a ChapterSample while a file is typeset. The run hands it each
// source line before the engine takes it, and the engine's findings after;
// the typeset side is a sink between the engine's output (after any
// conversion) and the writers, which it hands every event on to unchanged.
class ChapterSampler {
public:
    static constexpr std::size_t kMaxLines = 300;
    static constexpr std::size_t kMaxUnits = 16 * 1024;  // per side

    explicit ChapterSampler(OutputSink& next) : typesetSide_(next, sample_) {}
    ChapterSampler(const ChapterSampler&) = delete;
    ChapterSampler& operator=(const ChapterSampler&) = delete;

    OutputSink& sink() { return typesetSide_; }
    void sourceLine(TextView raw);
    // The headings the engine has written so far (their list must be on).
    void headingsWritten(const RunFindings& found);
    ChapterSample take();

private:
    class TypesetSide final : public OutputSink {
    public:
        TypesetSide(OutputSink& next, ChapterSample& sample) : next_(next), sample_(sample) {}
        void plainLine(TextView line) override;
        void blankLine() override;
        void heading(TextView open, TextView title, TextView close, HeadingRank rank) override;
        void paragraph(TextView indent, TextView body, TextView end) override;
        void listEntry(TextView indent, TextView entry, TextView end) override;

    private:
        void note(TextView before, TextView body = {}, TextView after = {});
        OutputSink& next_;
        ChapterSample& sample_;
        FirstChapterEnd end_;
        bool done_ = false;
        std::size_t units_ = 0;
    };

    void endSourceAt(TextView title);

    ChapterSample sample_;
    TypesetSide typesetSide_;
    FirstChapterEnd sourceEnd_;
    bool sourceDone_ = false;
    std::size_t sourceUnits_ = 0;
    std::size_t headingsSeen_ = 0;
};

}  // namespace quenlet
