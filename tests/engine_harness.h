// Helpers for driving the engine in tests: collect output lines, run a list
// of source lines through the per-file core, set up single stages.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "text/encoding.h"
#include "engine/typeset_engine.h"

namespace quenlet::test {

class CollectingSink : public LineSink {
public:
    void writeLine(TextView line) override { lines.emplace_back(line); }
    std::vector<Text> lines;
};

struct RunOutput {
    std::vector<Text> lines;
    Statistics stats;
};

// One file's run over the given source lines, in an engine that may carry
// state from earlier runs.
inline RunOutput typesetLines(TypesetEngine& engine, const std::vector<Text>& source,
                              const TypesetOptions& options = {}) {
    CollectingSink sink;
    engine.resetStatistics();
    engine.beginFile(options, sink);
    for (const Text& line : source) engine.processLine(line);
    engine.endFile();
    return {sink.lines, engine.statistics()};
}

inline RunOutput typesetLines(const std::vector<Text>& source, const TypesetOptions& options = {}) {
    TypesetEngine engine;
    return typesetLines(engine, source, options);
}

// Readable failure messages for UTF-16 text.
inline std::string show(const std::vector<Text>& lines) {
    std::string out;
    for (const Text& line : lines) out += "<" + toUtf8(line) + ">";
    return out;
}

inline Text operator""_t(const char16_t* text, std::size_t size) { return Text(text, size); }

}  // namespace quenlet::test
