#include <gtest/gtest.h>

#include "engine_harness.h"

namespace quenlet::test {
namespace {

// Line merging driven directly: each line goes to HB as the run would hand it
// over (without draining the queue, so the queue shows what HB decided).
class LineMerging : public ::testing::Test {
protected:
    void SetUp() override { engine.beginFile({}, sink); }
    void merge(const Text& line) {
        engine.state().ParagraphCount = 0;
        engine.state().Line = line;
        engine.HB();
    }
    std::vector<Text> queued() const {
        const DocumentState& s = engine.state();
        return {s.Paragraphs.begin() + 1, s.Paragraphs.begin() + 1 + s.ParagraphCount};
    }
    TypesetEngine engine;
    CollectingSink sink;
    DocumentState& s = engine.state();
};

TEST_F(LineMerging, ShortUnpunctuatedFirstLineStandsAlone) {
    merge(u"第一章开端");
    EXPECT_EQ(queued(), std::vector<Text>{u"第一章开端"});
    EXPECT_EQ(s.Pending, 0);
    EXPECT_EQ(s.Stats.MergedCount, 0);
}

TEST_F(LineMerging, HeldLineIsJoinedWithTheLineThatEndsTheSentence) {
    merge(u"他走进房间，看见桌上");
    EXPECT_EQ(s.Pending, 1);
    EXPECT_EQ(s.Stats.MergedCount, 1);
    EXPECT_TRUE(queued().empty());
    merge(u"放着一封信。");
    EXPECT_EQ(queued(), std::vector<Text>{u"他走进房间，看见桌上放着一封信。"});
    EXPECT_EQ(s.Pending, 0);
}

TEST_F(LineMerging, QuotationSpreadOverLinesEndsAtClosingQuote) {
    merge(u"他说：“今天下雨了。");
    EXPECT_EQ(s.Pending, 1);
    merge(u"我们不去了。”");
    EXPECT_EQ(queued(), std::vector<Text>{u"他说：“今天下雨了。我们不去了。”"});
    EXPECT_EQ(s.Stats.MergedCount, 1);
}

TEST_F(LineMerging, QuestionMarkEndsOnlyWithClosingQuote) {
    merge(u"你去哪里了，好吗？");
    EXPECT_EQ(s.Pending, 1);
    merge(u"他问，你去吗？”");
    EXPECT_EQ(s.Pending, 0);
    merge(u"这是一个很长的句子，真的·");
    EXPECT_EQ(s.Pending, 0) << "a middle dot ends a sentence";
}

TEST_F(LineMerging, PairStatesAreFlagsNotCounts) {
    merge(u"他（（）说，");
    EXPECT_EQ(s.PairState[9], 0);
    merge(u"a'b'c，");
    EXPECT_EQ(s.PairState[13], 0);
    EXPECT_EQ(s.QuoteSpan, -1);
}

TEST_F(LineMerging, UnclosedQuotationGivesUpAfterAHundredAndFiftyLines) {
    merge(u"他说：“很长的话。");
    for (int line = 2; line <= 150; ++line) {
        merge(u"还在说，很长的话。");
        ASSERT_EQ(s.Pending, 1) << "line " << line;
    }
    merge(u"终于说完了，很长的话。");
    EXPECT_EQ(s.Pending, 0);
    EXPECT_EQ(s.QuoteSpan, -1);
    EXPECT_EQ(s.Stats.MergedCount, 150);
}

TEST_F(LineMerging, EmptyLineStandsAloneOnlyAfterAClosedParagraph) {
    merge(u"");
    EXPECT_EQ(queued(), std::vector<Text>{u""});
    merge(u"他说，");
    merge(u"");
    EXPECT_EQ(s.Pending, 1);
    EXPECT_EQ(s.Stats.MergedCount, 2);
    EXPECT_EQ(s.CurrentChar, u"") << "the two-character ending of an empty line is empty";
}

TEST_F(LineMerging, LongUnpunctuatedLineIsHeldUnlessItEndsInMiddleDot) {
    const Text thirty(30, u'字');
    merge(thirty);
    EXPECT_EQ(s.Pending, 1);
    merge(u"他说了一句话。");
    merge(thirty + u"·");
    EXPECT_EQ(s.Pending, 0);
}

TEST_F(LineMerging, ShortLineAfterHeldLineIsJoinedUnlessEntryTestSucceeds) {
    merge(u"他说，");
    merge(u"你好");
    EXPECT_EQ(s.Pending, 1) << "entry test failed: the short line is held too";
    // A held line whose entry test succeeded (the line before it was a lone
    // closing mark) lets the next short line stand alone.
    TypesetEngine other;
    CollectingSink otherSink;
    other.beginFile({}, otherSink);
    for (const Text& line : {u"—"_t, u"他说，"_t, u"你好"_t}) {
        other.state().ParagraphCount = 0;
        other.state().Line = line;
        other.HB();
    }
    ASSERT_EQ(other.state().ParagraphCount, 2) << "held text and the short line are queued separately";
    EXPECT_EQ(other.state().Paragraphs[1], u"—他说，");
    EXPECT_EQ(other.state().Paragraphs[2], u"你好");
}

}  // namespace
}  // namespace quenlet::test
