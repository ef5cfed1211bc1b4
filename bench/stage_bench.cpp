// One paragraph of about a million characters through the whole engine, built
// to hit each place where the rules restart their scan or cut the text, against
// a paragraph of ordinary prose of the same size. Linear stages keep every
// case within a small factor of the prose.
#include <benchmark/benchmark.h>

#include "engine/typeset_engine.h"

namespace {

using quenlet::Text;

class NullSink final : public quenlet::LineSink {
public:
    void writeLine(quenlet::TextView line) override { benchmark::DoNotOptimize(line.data()); }
    void writeLine(quenlet::TextView, quenlet::TextView body, quenlet::TextView) override {
        benchmark::DoNotOptimize(body.data());
    }
};

constexpr std::size_t kCharacters = 1'000'000;

Text repeatedUpTo(std::u16string_view piece, std::u16string_view ending = u"。") {
    Text text;
    text.reserve(kCharacters + piece.size() + ending.size());
    while (text.size() < kCharacters) text += piece;
    text += ending;
    return text;
}

void typesetParagraph(benchmark::State& state, const Text& paragraph, const quenlet::TypesetOptions& options) {
    quenlet::TypesetEngine engine;
    NullSink sink;
    for (auto _ : state) {
        engine.beginFile(options, sink);
        engine.processLine(paragraph);
        engine.endFile();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * paragraph.size()));
}

void prose(benchmark::State& state) {
    typesetParagraph(state, repeatedUpTo(u"他走进房间，看见桌上放着一封信，信上写着几行小字。"), {});
}
void hyphens(benchmark::State& state) { typesetParagraph(state, repeatedUpTo(u"好-"), {}); }
void dotRuns(benchmark::State& state) { typesetParagraph(state, repeatedUpTo(u"。。x"), {}); }
void userRule(benchmark::State& state) {
    quenlet::TypesetOptions options;
    options.FindText = u"哈哈";
    options.ReplaceText = u"哈";
    typesetParagraph(state, u"，" + repeatedUpTo(u"哈"), options);
}
void closingRuns(benchmark::State& state) {
    typesetParagraph(state, repeatedUpTo(u"好。" + Text(998, u'”')), {});
}
void quotations(benchmark::State& state) { typesetParagraph(state, repeatedUpTo(u"「a」"), {}); }
void headings(benchmark::State& state) { typesetParagraph(state, repeatedUpTo(u"第1章"), {}); }

BENCHMARK(prose)->Unit(benchmark::kMillisecond);
BENCHMARK(hyphens)->Unit(benchmark::kMillisecond);
BENCHMARK(dotRuns)->Unit(benchmark::kMillisecond);
BENCHMARK(userRule)->Unit(benchmark::kMillisecond);
BENCHMARK(closingRuns)->Unit(benchmark::kMillisecond);
BENCHMARK(quotations)->Unit(benchmark::kMillisecond);
BENCHMARK(headings)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
