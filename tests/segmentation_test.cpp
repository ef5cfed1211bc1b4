#include <gtest/gtest.h>

#include "engine_harness.h"

namespace quenlet::test {
namespace {

struct Cut {
    std::vector<Text> segments;
    Text lineAfter;
};

Cut cut(const Text& paragraph) {
    TypesetEngine engine;
    engine.state().Line = paragraph;
    engine.state().InParenthesis = 0;
    engine.DJ();
    const DocumentState& s = engine.state();
    return {std::vector<Text>(s.Segments.begin(), s.Segments.begin() + s.SegmentIndex + 1), s.Line};
}

struct Case {
    Text paragraph;
    std::vector<Text> segments;
};

TEST(Segmentation, CutsAtSentenceEndsQuotationsAndHeadings) {
    const Case cases[] = {
        {u"你好。他说", {u"你好。", u"他说"}},
        {u"“你好。”他说", {u"“你好。”", u"他说"}},
        {u"他说：“你好。”", {u"他说：“你好。”"}},
        {u"你好？“他说”", {u"你好？", u"“他说”"}},
        {u"x.“y”", {u"x.", u"“y”"}},
        {u"「a」「b」", {u"「a」", u"「b」"}},
        {u"[a][b]", {u"[a]", u"[b]"}},
        {u"‘a’‘b’", {u"‘a’", u"‘b’"}},
        {u"\"a。\"b", {u"\"a。\"", u"b"}},
        {u"'a。'b", {u"'a。", u"b"}},
        {u"第一章风起云涌", {u"", u"", u"第一章", u"", u"风起云涌"}},
        {u"第1234章标题", {u"", u"", u"第1234章", u"", u"标题"}},
        {u"第12345章标题", {u"第12345章标题"}},
        {u"第（一）章标题", {u"", u"", u"第（一）章", u"", u"标题"}},
        {u"(第一章)标题", {u"(第一章)标题"}},
        {u"第二部分内容。后文", {u"", u"", u"第二部", u"", u"分内容。", u"后文"}},
        {u"第一部第一章", {u"", u"", u"第一部", u"", u"第一章"}},
        {u"好。”然后", {u"好。", u"然后"}},
        {u"你？！他", {u"你？", u"他"}},
        {u"你！？他", {u"你！", u"？", u"他"}},
        {u"他走了……", {u"他走了…"}},
        {u"“他走了……”", {u"“他走了……”"}},
        {u"*****abc", {u"abc"}},
        {u"他说————然后。后文", {u"然后。", u"后文"}},
        {u"AB——CD,abc===def", {u"AB——CD,abc===def"}},
        {u"*****", {u"*****"}},
        {u"****(abc", {u"****(abc"}},
        {u"。abc", {u"。", u"abc"}},
        // A run counter is not reset when a pass starts: the star that closed
        // the dash run is counted again by the next pass.
        {u"好。————***xy", {u"好。", u"xy"}},
        {u"————***xy", {u"xy"}},
    };
    for (const Case& c : cases) {
        const Cut result = cut(c.paragraph);
        EXPECT_EQ(result.segments, c.segments) << toUtf8(c.paragraph) << " gave " << show(result.segments);
        EXPECT_EQ(result.lineAfter, c.paragraph) << toUtf8(c.paragraph);
    }
}

TEST(Segmentation, RemainderOfSpacesEmptiesLine) {
    const Cut result = cut(u"a。  ");
    EXPECT_EQ(result.segments, (std::vector<Text>{u"a。", u""}));
    EXPECT_EQ(result.lineAfter, u"");
}

TEST(Segmentation, SentenceCutsAreCappedAtAThousandAndOne) {
    Text paragraph;
    for (int i = 0; i < 1500; ++i) paragraph += u"a。";
    const Cut result = cut(paragraph);
    ASSERT_EQ(result.segments.size(), 1002U);
    for (int i = 0; i <= 1000; ++i) ASSERT_EQ(result.segments[i], u"a。") << i;
    Text rest;
    for (int i = 0; i < 499; ++i) rest += u"a。";
    EXPECT_EQ(result.segments[1001], rest);
    EXPECT_EQ(result.lineAfter, u"");
}

TEST(Segmentation, CapCountsHeadingSlotsButOnlyStopsAfterASentenceCut) {
    // 250 headings fill 1000 slots; the next sentence cut reaches 1001 and stops.
    Text paragraph;
    for (int i = 0; i < 250; ++i) paragraph += u"第1章";
    paragraph += u"a。b。c";
    const Cut result = cut(paragraph);
    ASSERT_EQ(result.segments.size(), 1002U);
    EXPECT_EQ(result.segments[1000], u"a。");
    EXPECT_EQ(result.segments[1001], u"b。c");
    EXPECT_EQ(result.lineAfter, u"");
}

TEST(Segmentation, QuotationCutsAreNotCappedAndTableGrows) {
    Text paragraph;
    for (int i = 0; i < 12000; ++i) paragraph += u"「a」";
    const Cut result = cut(paragraph);
    ASSERT_EQ(result.segments.size(), 12000U);
    EXPECT_EQ(result.segments.back(), u"「a」");
}

}  // namespace
}  // namespace quenlet::test
