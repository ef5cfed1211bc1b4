// Simplified <-> traditional conversion of a file's typeset text: an output
// in front of the writer that converts the texts of every event on their way.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "base/helper_threads.h"
#include "engine/output_sink.h"
#include "text/chinese_conversion.h"
#include "text/text.h"

namespace quenlet {

// Converts the texts of every event before handing it on. With helper
// threads, events are gathered into batches that are converted side by side
// and handed on in their order; finish() hands on the last of them.
class ConvertingSink final : public OutputSink {
public:
    ConvertingSink(OutputSink& next, const ChineseConverter& converter, unsigned helpers = 0);
    ~ConvertingSink() override;
    ConvertingSink(const ConvertingSink&) = delete;
    ConvertingSink& operator=(const ConvertingSink&) = delete;

    void plainLine(TextView line) override;
    void blankLine() override;
    void heading(TextView open, TextView title, TextView close, HeadingRank rank) override;
    void paragraph(TextView indent, TextView body, TextView end) override;
    void listEntry(TextView indent, TextView entry, TextView end) override;
    void paragraphEnds() override;
    // Hands on every event still being converted; a conversion's failure is
    // thrown here (or by the event that found it).
    void finish();

    struct Event;
    using Batch = std::vector<Event>;
    // Markers, indents and endings repeat on every line: converted once.
    using MarkerCache = std::map<Text, Text, std::less<>>;

private:
    void add(Event event);
    void handOnOldest();

    OutputSink& next_;
    const ChineseConverter& converter_;
    unsigned helpers_;
    MarkerCache markers_;  // used inline only; each batch has its own
    std::unique_ptr<Batch> gathering_;
    std::size_t gatheredUnits_ = 0;
    std::deque<HelperTask<Batch>> converting_;
};

}  // namespace quenlet
