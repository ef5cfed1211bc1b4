#include <gtest/gtest.h>

#include "engine_harness.h"

namespace quenlet::test {
namespace {

// Writes queued paragraphs one after the other through fd or FD0, as the run
// does after the earlier stages.
class ParagraphOutput : public ::testing::Test {
protected:
    std::vector<Text> write(std::initializer_list<Text> paragraphs, bool split) {
        engine.beginFile(options, sink);
        for (const Text& p : paragraphs) {
            engine.state().Line = p;
            if (split) engine.fd();
            else engine.FD0();
        }
        return sink.lines;
    }
    TypesetOptions options;
    TypesetEngine engine;
    CollectingSink sink;
};

TEST_F(ParagraphOutput, HeadingsAreSetApartAndOnlyTheFirstHasNoBlankLinesBefore) {
    EXPECT_EQ(write({u"标题一", u"正文，内容。", u"标题二"}, false),
              (std::vector<Text>{u"《标题一》", u"", u"\u3000\u3000正文，内容。", u"", u"", u"《标题二》", u""}));
    EXPECT_EQ(engine.statistics().FinalParagraphCount, 3);
    EXPECT_EQ(engine.state().HeadingsWritten, 1);
}

TEST_F(ParagraphOutput, EmptyAndOneCharacterParagraphs) {
    options.HeadingOpen.clear();
    options.HeadingClose.clear();
    EXPECT_EQ(write({u"", u"字", u"。", u"好。"}, true),
              (std::vector<Text>{u"", u"", u"", u"", u"字", u"", u"\u3000\u3000好。"}));
    EXPECT_EQ(engine.statistics().FinalParagraphCount, 3);
}

TEST_F(ParagraphOutput, SplitWriterKnowsMoreMarks) {
    EXPECT_EQ(write({u"『书名』"}, false), (std::vector<Text>{u"《『书名』》", u""}));
    sink.lines.clear();
    EXPECT_EQ(write({u"『书名』"}, true), (std::vector<Text>{u"\u3000\u3000『书名』"}));
    sink.lines.clear();
    EXPECT_EQ(write({u"甲；乙"}, true), (std::vector<Text>{u"《甲；乙》", u""}));
}

TEST_F(ParagraphOutput, SegmentsAreStrippedAndShortOnesDropped) {
    options.StripPrefix = Text(u"他");  // (assigning a literal trips a GCC 12 -Wrestrict false positive)
    EXPECT_EQ(write({u"第一章风起。他说，好。"}, true),
              (std::vector<Text>{u"\u3000\u3000第一章", u"\u3000\u3000风起。", u"\u3000\u3000说，好。"}));
    EXPECT_EQ(engine.statistics().SplitCount, 5);
    EXPECT_EQ(engine.statistics().FinalParagraphCount, 3);
    sink.lines.clear();
    EXPECT_EQ(write({u"他说，好"}, true), (std::vector<Text>{u"\u3000\u3000他说，好"}))
        << "an uncut paragraph keeps its prefix";
}

TEST_F(ParagraphOutput, EmptiedParagraphWritesNothing) {
    EXPECT_TRUE(write({u"，****  "}, true).empty());
    EXPECT_EQ(engine.statistics().FinalParagraphCount, 0);
}

TEST_F(ParagraphOutput, MarkScanLeavesFirstMarkOrLastCharacterInCurrentChar) {
    write({u"你好，世界。"}, false);
    EXPECT_EQ(engine.state().CurrentChar, u"，");
    write({u"标题"}, false);
    EXPECT_EQ(engine.state().CurrentChar, u"题");
    write({u""}, false);
    EXPECT_EQ(engine.state().CurrentChar, u"题");
}

}  // namespace
}  // namespace quenlet::test
