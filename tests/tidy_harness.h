// Driving the tidy mode through the engine in tests: a sink that records
// what it is told, and a run over source lines given in the test, with or
// without the first look at the whole source.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
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
//
// A long file's look may come in two parts: `split` is then the first line of
// the later part, whose look sees the `leadIn` lines before it first;
// `joined` tells whether the later look was taken in.
struct LookParts {
    std::size_t split = 0;
    std::size_t leadIn = 0;
    bool* joined = nullptr;
};

inline void lookAtBook(RunHooks& hooks, const std::vector<Text>& source, const std::optional<LookParts>& parts) {
    SourceLook* const look = hooks.firstLook();
    const std::unique_ptr<SourceLook> later = parts ? look->laterLook() : nullptr;
    const std::size_t split = later ? std::min(parts->split, source.size()) : source.size();
    for (std::size_t i = 0; i < split; ++i) look->line(source[i]);
    if (later) {
        for (std::size_t i = split - std::min(split, parts->leadIn); i < split; ++i) later->leadIn(source[i]);
        for (std::size_t i = split; i < source.size(); ++i) later->line(source[i]);
        const bool joined = look->takeLater(*later);
        if (!joined)
            for (std::size_t i = split; i < source.size(); ++i) look->line(source[i]);
        if (parts->joined) *parts->joined = joined;
    }
    look->ended();
}

inline TidyOutput tidyRun(const std::vector<Text>& source, const TypesetOptions& options = {},
                          const tidy::TidyMode& mode = builtInMode(), bool lookFirst = false,
                          const std::optional<LookParts>& parts = std::nullopt) {
    TypesetEngine engine;
    engine.setListingHeadings(true);
    EventSink sink;
    const auto hooks = mode.hooksForFile();
    if (lookFirst) lookAtBook(*hooks, source, parts);
    engine.beginFile(options, sink, nullptr, hooks.get());
    for (const Text& line : source) engine.processLine(line);
    engine.endFile();
    return {sink.events, engine.statistics(), engine.findings()};
}

inline TidyOutput tidyBook(const std::vector<Text>& source, const TypesetOptions& options = {},
                           const std::optional<LookParts>& parts = std::nullopt) {
    return tidyRun(source, options, builtInMode(), true, parts);
}

using Events = std::vector<std::string>;

}  // namespace quenlet::test
