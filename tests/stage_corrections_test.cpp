// Quote normalisation, the fixed corrections and the user's replace rule, and
// the closing-mark strip: the small stages that rewrite Line in place.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace quenlet::test {
namespace {

class Stage : public ::testing::Test {
protected:
    Text apply(void (TypesetEngine::*stage)(), const Text& line) {
        engine.setOptions(options);
        engine.state().Line = line;
        (engine.*stage)();
        return engine.state().Line;
    }
    TypesetOptions options;
    TypesetEngine engine;
};

TEST_F(Stage, StraightQuotesAlternateAndRestartEachParagraph) {
    options.DotsToEllipsis = false;
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u"\"a\"b\"c\"d"), u"“a”b“c”d");
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u"\"a\"b\""), u"“a”b“");
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u"\"x"), u"“x");
}

TEST_F(Stage, DotRunsBecomeEllipsisOnlyWhenFollowedByText) {
    options.ConvertQuotes = false;
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u"好。。啊"), u"好……啊");
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u"a.b"), u"a.b");
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u"好，，啊"), u"好，，啊");
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u"好.。,、啊"), u"好……啊");
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u"好。。"), u"好。。");
    EXPECT_EQ(engine.state().DotRun, 2) << "a closing run is carried to the next paragraph";
}

TEST_F(Stage, CarriedDotRunProtectsLeadingRunUntilAnotherRunIsReplaced) {
    options.ConvertQuotes = false;
    engine.state().DotRun = 1;
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u"。。啊"), u"。。啊");
    engine.state().DotRun = 1;
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u"..啊..吧"), u"……啊……吧");
    engine.state().DotRun = 1;
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u"..啊"), u"..啊");
    engine.state().DotRun = 3;
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u""), u"");
    EXPECT_EQ(engine.state().DotRun, 3) << "an empty paragraph leaves the run as it was";
    options.DotsToEllipsis = false;
    EXPECT_EQ(apply(&TypesetEngine::ZZZ1, u"a。。b"), u"a。。b");
    EXPECT_EQ(engine.state().DotRun, 3);
}

TEST_F(Stage, FixedCorrections) {
    EXPECT_EQ(apply(&TypesetEngine::Zyt, u"＊＊＊"), u"");
    EXPECT_EQ(apply(&TypesetEngine::Zyt, u"好＊的*"), u"好的*");
    EXPECT_EQ(apply(&TypesetEngine::Zyt, u"a-b--c"), u"abc");
    EXPECT_EQ(apply(&TypesetEngine::Zyt, u"好～～"), u"好……");
    options.DeleteAsterisks = options.DeleteDoubleDashes = options.TildeToEllipsis = false;
    EXPECT_EQ(apply(&TypesetEngine::Zyt, u"＊-～"), u"＊-～");
}

TEST_F(Stage, UserRule) {
    auto rule = [this](const Text& find, const Text& replace, const Text& line) {
        options.FindText = find;
        options.ReplaceText = replace;
        return apply(&TypesetEngine::Zyt, line);
    };
    EXPECT_EQ(rule(u"你", u"您", u"你好你们"), u"您好您们");
    EXPECT_EQ(rule(u"哈哈", u"哈", u"哈哈哈哈"), u"哈");
    EXPECT_EQ(rule(u"x", u"yyy", u"xx"), u"yyyx");
    EXPECT_EQ(rule(u"x", u"", u"axbx"), u"ab");
    EXPECT_EQ(rule(u"x", u" ", u"xabx"), u"ab") << "spaces left at the ends are trimmed";
    EXPECT_EQ(rule(u"-", u"x", u"a-b"), u"ab") << "the dash correction runs first";
    // A replacement that begins with the search text moves past itself.
    EXPECT_EQ(rule(u"a", u"a", u"aaa"), u"aaa");
    EXPECT_EQ(rule(u"a", u"ab", u"aaa"), u"ababa");
    // Containing it elsewhere, the replacement feeds itself until k passes the start length.
    EXPECT_EQ(rule(u"a", u"ba", u"a"), u"ba");
    EXPECT_EQ(rule(u"a", u"ba", u"ax"), u"bbax");
    // Comparisons past the end of a text that has shrunk fail.
    EXPECT_EQ(rule(u"ab", u"", u"abab"), u"");
}

TEST_F(Stage, ClosingMarksAreStrippedFromTheFrontOnly) {
    EXPECT_EQ(apply(&TypesetEngine::ZZQT, u"，。好的"), u"好的");
    EXPECT_EQ(apply(&TypesetEngine::ZZQT, u"」好的。"), u"好的。");
    EXPECT_EQ(apply(&TypesetEngine::ZZQT, u"。」"), u"");
    EXPECT_EQ(apply(&TypesetEngine::ZZQT, u""), u"");
    EXPECT_EQ(apply(&TypesetEngine::ZZQT, u".a"), u".a");
    EXPECT_EQ(apply(&TypesetEngine::ZZQT, u":a"), u":a");
    EXPECT_EQ(apply(&TypesetEngine::ZZQT, u"“a"), u"“a");
    EXPECT_EQ(apply(&TypesetEngine::ZZQT, u"…”a"), u"a");
    EXPECT_EQ(apply(&TypesetEngine::ZZQT, u"  ， a "), u" a");
    EXPECT_EQ(apply(&TypesetEngine::ZZQT, u"\u3000，a"), u"\u3000，a");
}

}  // namespace
}  // namespace quenlet::test
