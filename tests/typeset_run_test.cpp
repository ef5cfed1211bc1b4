// The per-file core: cleaning, dropping, merging, draining and the end-of-file
// flush, and the state that one file leaves to the next.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace quenlet::test {
namespace {

const Text kIndent = u"\u3000\u3000";

TEST(TypesetRun, RoadOfOneFile) {
    const RunOutput out = typesetLines({u"第一章\u3000开端", u"他走进房间，看见桌上", u"放着一封信。"});
    EXPECT_EQ(out.lines, (std::vector<Text>{u"《第一章开端》", u"", kIndent + u"他走进房间，看见桌上放着一封信。"}));
    EXPECT_EQ(out.stats, (Statistics{3, 0, 1, 2}));
}

TEST(TypesetRun, EmptySourceGivesNothingAndZeros) {
    const RunOutput out = typesetLines({});
    EXPECT_TRUE(out.lines.empty());
    EXPECT_EQ(out.stats, Statistics{});
}

TEST(TypesetRun, QuestionMarkFilter) {
    TypesetOptions noMerge;
    noMerge.MergeLines = false;
    const RunOutput out = typesetLines({u"他说??", u"他说??好", u"他说？?好", u"他说?好?", u"??", u"\u3000\u3000", u""},
                                       noMerge);
    EXPECT_EQ(out.lines, (std::vector<Text>{u"他说好", u"他说好", u"他说?好?", u""}));
    EXPECT_EQ(out.stats.SourceParagraphCount, 6) << "dropped lines stay counted; empty lines are not";
    EXPECT_EQ(out.stats.FinalParagraphCount, 0);
}

TEST(TypesetRun, WithoutMergingLinesAreOnlyCleaned) {
    TypesetOptions options;
    options.MergeLines = false;
    options.StripPrefix = u"第";
    const RunOutput out = typesetLines({u" 第一章 ", u"他说，\u3000“好。", u"\"a\"--"}, options);
    EXPECT_EQ(out.lines, (std::vector<Text>{u"一章", u"他说，“好。", u"\"a\"--"}));
    EXPECT_EQ(out.stats, (Statistics{3, 0, 0, 0}));
}

TEST(TypesetRun, DefaultPrefixNeverStrips) {
    const RunOutput out = typesetLines({u" 好的，走。"});
    EXPECT_EQ(out.lines, std::vector<Text>{kIndent + u"好的，走。"});
}

TEST(TypesetRun, HeldParagraphIsFlushedAtTheEnd) {
    TypesetOptions options;
    options.ParagraphEnd = u"<";
    RunOutput out = typesetLines({u"好了。", u"，他说，然后"}, options);
    EXPECT_EQ(out.lines, (std::vector<Text>{kIndent + u"好了。<", kIndent + u"他说，然后<"}));
    EXPECT_EQ(out.stats.FinalParagraphCount, 1) << "the flushed paragraph is not counted";

    out = typesetLines({u"好了。", u"，，"});
    EXPECT_EQ(out.lines, (std::vector<Text>{kIndent + u"好了。", kIndent})) << "tested before the strip";
    out = typesetLines({u"好了。", u"，"});
    EXPECT_EQ(out.lines, std::vector<Text>{kIndent + u"好了。"});
}

TEST(TypesetRun, StagesRunInOrderOnEachQueuedParagraph) {
    const RunOutput out = typesetLines({u"他说：\"你好。。我走了～\"然后＊走-了。"});
    EXPECT_EQ(out.lines, (std::vector<Text>{kIndent + u"他说：“你好……我走了…”", kIndent + u"然后走了。"}))
        << show(out.lines);
}

TEST(TypesetRun, DotRunCarriesAcrossParagraphsOfAFile) {
    TypesetOptions noSplit;
    noSplit.SplitParagraphs = false;
    const RunOutput out = typesetLines({u"他说完了。", u"。。好的，走吧。"}, noSplit);
    EXPECT_EQ(out.lines, (std::vector<Text>{kIndent + u"他说完了。", kIndent + u"好的，走吧。"}))
        << "the leading run is protected by the carried count, then stripped";
}

TEST(TypesetRun, CurrentCharCarriesFromOneFileToTheNext) {
    // The first file ends with a paragraph whose mark scan stops at "。", a
    // closing mark, so the next file's first held line passes the entry test
    // and the short line after it stands alone.
    TypesetEngine engine;
    typesetLines(engine, {u"好。"});
    const std::vector<Text> second = {u"他说，", u"你好", u"走了。"};
    RunOutput out = typesetLines(engine, second);
    EXPECT_EQ(out.lines, (std::vector<Text>{kIndent + u"他说，", u"《你好》", u"", kIndent + u"走了。"}))
        << show(out.lines);

    TypesetEngine fresh;
    out = typesetLines(fresh, second);
    EXPECT_EQ(out.lines, std::vector<Text>{kIndent + u"他说，你好走了。"});
}

TEST(TypesetRun, LongLinesHaveNoLengthLimit) {
    Text line(70000, u'字');
    line += u"，";
    line += Text(70000, u'字');
    line += u"。";
    const RunOutput out = typesetLines({line});
    ASSERT_EQ(out.lines.size(), 1U);
    EXPECT_EQ(out.lines[0], kIndent + line);
}

}  // namespace
}  // namespace quenlet::test
