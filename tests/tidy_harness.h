// Driving the tidy mode through the engine in tests: a sink that records
// what it is told, and a run over source lines given in the test, with or
// without the first look at the whole source.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/typeset_engine.h"
#include "text/encoding.h"
#include "tidy/tidy_mode.h"

namespace quenlet::test {

// Records the sink's events: "H:" a chapter heading, "V:" a volume heading,
// "L:" a list entry, "P:" a paragraph, "=" a plain line; blank lines are left out.
class EventSink : public OutputSink {
public:
    void plainLine(TextView line) override { events.push_back("=" + toUtf8(line)); }
    void blankLine() override {}
    void heading(TextView, TextView title, TextView, HeadingRank rank) override {
        events.push_back((rank == HeadingRank::Volume ? "V:" : rank == HeadingRank::Minor ? "M:" : "H:") + toUtf8(title));
    }
    void paragraph(TextView, TextView body, TextView) override { events.push_back("P:" + toUtf8(body)); }
    void listEntry(TextView, TextView entry, TextView) override { events.push_back("L:" + toUtf8(entry)); }
    std::vector<std::string> events;
};

struct TidyOutput {
    std::vector<std::string> events;
    Statistics stats;
    RunFindings findings;
};

inline const tidy::TidyMode& builtInMode() {
    static const tidy::TidyMode mode(tidy::TidyRules::builtIn());
    return mode;
}

// The source's lines through the tidy mode, each judged alone (as when the
// engine is fed lines directly), or -- for tidyBook -- after the first look
// at the whole of them, as a file's run does.
inline TidyOutput tidyRun(const std::vector<Text>& source, const TypesetOptions& options = {},
                          const tidy::TidyMode& mode = builtInMode(), bool lookFirst = false) {
    TypesetEngine engine;
    engine.setListingHeadings(true);
    EventSink sink;
    const auto hooks = mode.hooksForFile();
    if (SourceLook* look = lookFirst ? hooks->firstLook() : nullptr) {
        for (const Text& line : source) look->line(line);
        look->ended();
    }
    engine.beginFile(options, sink, nullptr, hooks.get());
    for (const Text& line : source) engine.processLine(line);
    engine.endFile();
    return {sink.events, engine.statistics(), engine.findings()};
}

inline TidyOutput tidyBook(const std::vector<Text>& source, const TypesetOptions& options = {}) {
    return tidyRun(source, options, builtInMode(), true);
}

using Events = std::vector<std::string>;

}  // namespace quenlet::test
