// Every stage works in time proportional to the paragraph, however the text
// is built. Each case is typeset at two sizes, 1x and 16x, and the CPU time of
// this thread (not the wall clock, which a busy machine stretches at will)
// must grow by far less than the 256x a quadratic rule would take. The best of
// several runs is compared, so that a stall in one run does not count.
#include <ctime>

#include <gtest/gtest.h>

#include "engine/typeset_engine.h"

namespace quenlet::test {
namespace {

class NullSink final : public LineSink {
public:
    void writeLine(TextView) override {}
    void writeLine(TextView, TextView, TextView) override {}
};

double threadSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

Text repeated(std::u16string_view piece, std::size_t characters, std::u16string_view ending = u"。") {
    Text text;
    while (text.size() < characters) text += piece;
    text += ending;
    return text;
}

struct Shape {
    const char* name;
    std::u16string_view piece;
    std::u16string_view find = {};  // the user's rule, when the case needs one
    std::u16string_view replace = u" ";
    std::u16string_view prefix = {};
};
void PrintTo(const Shape& row, std::ostream* out) { *out << row.name; }

// The least CPU time of a few runs of one paragraph through the engine.
double bestTime(const Shape& shape, std::size_t characters) {
    TypesetOptions options;
    options.FindText = Text(shape.find);
    options.ReplaceText = Text(shape.replace);
    const Text paragraph = Text(shape.prefix) + repeated(shape.piece, characters);
    TypesetEngine engine;
    NullSink sink;
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        const double start = threadSeconds();
        engine.beginFile(options, sink);
        engine.processLine(paragraph);
        engine.endFile();
        best = std::min(best, threadSeconds() - start);
    }
    return best;
}

class LinearTime : public ::testing::TestWithParam<Shape> {};

TEST_P(LinearTime, SixteenTimesTheTextTakesAboutSixteenTimesTheWork) {
    constexpr std::size_t kSmall = 32 * 1024;
    const double small = bestTime(GetParam(), kSmall);
    const double large = bestTime(GetParam(), 16 * kSmall);
    // A floor on the small time keeps timer granularity from inflating the ratio.
    EXPECT_LT(large / std::max(small, 20e-6), 64.0) << small * 1e3 << " ms, then " << large * 1e3 << " ms";
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, LinearTime,
    ::testing::Values(Shape{"prose", u"他走进房间，看见桌上放着一封信，信上写着几行小字。"},
                      Shape{"hyphens", u"好-"}, Shape{"dot_runs", u"。。x"},
                      Shape{"user_rule", u"哈", u"哈哈", u"哈", u"，"},
                      Shape{"closing_runs", u"好。”””””””””””””””””””””””””””””””””””””””””””””"},
                      Shape{"quotations", u"「a」"}, Shape{"headings", u"第1章"},
                      Shape{"question_marks", u"好??"}, Shape{"straight_quotes", u"\"他\"说，"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quenlet::test
