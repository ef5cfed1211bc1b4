// The tidy mode through the engine, on small sources of our own: each rule of
// the mode, what the output sink is told (headings with their rank, list
// entries, paragraphs), and what the run reports.
#include <gtest/gtest.h>

#include "run/statistic_texts.h"
#include "tidy_harness.h"

namespace quenlet::test {
namespace {

TEST(TidyHeadings, AHeadingEndsTheParagraphHeldOpenByAQuotation) {
    const auto out = tidyRun({u"他说：“明日再来，", u"第二回 贾夫人仙逝扬州城", u"话说封肃听了。"});
    EXPECT_EQ(out.events, (Events{"P:他说：“明日再来，", "H:第二回　贾夫人仙逝扬州城", "P:话说封肃听了。"}));
    EXPECT_EQ(out.findings.headings, 1);
    EXPECT_EQ(out.stats.FinalParagraphCount, 3);
}

TEST(TidyHeadings, ABodySentenceStartingWithTheNumberStaysWholeText) {
    const auto out = tidyRun({u"此开卷第一回也。", u"第一回合，他就败下阵来。", u"第四回中既将薛家母子在荣府内寄居等事略已表明，此回则暂不能写矣．"});
    EXPECT_EQ(out.events, (Events{"P:此开卷第一回也。", "P:第一回合，他就败下阵来。",
                                  "P:第四回中既将薛家母子在荣府内寄居等事略已表明，此回则暂不能写矣．"}));
    EXPECT_EQ(out.findings.headings, 0);
}

struct HeadingRow {
    const char* name;
    Text line;
    const char* event;
    friend void PrintTo(const HeadingRow& row, std::ostream* os) { *os << row.name; }
};

class TidyHeadingForms : public testing::TestWithParam<HeadingRow> {};

// After an unfinished paragraph, so that only the tidy mode can make the line a heading.
TEST_P(TidyHeadingForms, AreRecognised) {
    const auto out = tidyRun({u"他说：“走，", GetParam().line, u"正文起。"});
    ASSERT_EQ(out.events.size(), 3U) << testing::PrintToString(out.events);
    EXPECT_EQ(out.events[1], GetParam().event);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, TidyHeadingForms,
    testing::Values(HeadingRow{"ChineseNumeralsAndIdeographicSpace", u"第一百二十回\u3000荐杜预老将献新谋", "H:第一百二十回　荐杜预老将献新谋"},
                    HeadingRow{"NoBreakSpaces", u"第二回\u00A0\u00A0\u00A0\u00A0廣源店股東拆股", "H:第二回　廣源店股東拆股"},
                    HeadingRow{"DigitsAndTabs", u"\t第001章\t重生", "H:第001章　重生"},
                    HeadingRow{"FullWidthDigits", u"第１２章 归来", "H:第１２章　归来"},
                    HeadingRow{"TraditionalUnit", u"第一囘 說楔子", "H:第一囘　說楔子"},
                    HeadingRow{"ColonSeparator", u"第三章：风起", "H:第三章：风起"},
                    HeadingRow{"QuestionEndedTitle", u"第十章 你是谁？", "H:第十章　你是谁？"},
                    HeadingRow{"VolumeAlone", u"卷一 谭楚玉戏里传情", "V:卷一　谭楚玉戏里传情"},
                    HeadingRow{"VolumeOrdinal", u"第二卷 云涌", "V:第二卷　云涌"},
                    HeadingRow{"UpperVolume", u"上部", "V:上部"},
                    HeadingRow{"SitePrefixGoes", u"正文 第3章 别离", "H:第3章　别离"},
                    HeadingRow{"EmptyBookTitlePrefixGoes", u"《》目录 第二回　悟彻菩提", "H:第二回　悟彻菩提"},
                    HeadingRow{"TitleAfterASitePrefix", u"正文 考城隍", "H:考城隍"},
                    HeadingRow{"Decoration", u"☆ 第五章 归来", "H:第五章　归来"},
                    HeadingRow{"BookNameBefore", u"西游记 第一回 灵根育孕", "H:西游记第一回　灵根育孕"},
                    HeadingRow{"ClassicalVolume", u"卷之三 庚娘", "V:卷之三　庚娘"},
                    HeadingRow{"VolumeBeforeTheChapterStays", u"上卷 第二回  贾夫人仙逝", "H:上卷第二回　贾夫人仙逝"},
                    HeadingRow{"Keyword", u"楔子　张天师祈禳瘟疫", "H:楔子　张天师祈禳瘟疫"},
                    HeadingRow{"KeywordAlone", u"后记", "H:后记"},
                    HeadingRow{"ExtraStory", u"番外一 后来", "H:番外一　后来"},
                    HeadingRow{"NumberedTitle", u"001 重生", "H:001　重生"},
                    HeadingRow{"Section", u"第二节 山路", "H:第二节　山路"}),
    [](const testing::TestParamInfo<HeadingRow>& info) { return std::string(info.param.name); });

TEST(TidyHeadings, ATitleGluedToItsNumberWhereAParagraphMayStart) {
    // (Two in a row, so that a list shows the tidy mode at work.)
    const auto out = tidyRun({u"上文完了。", u"第一回灵根育孕源流出", u"第一回灵根育孕源流出", u"诗曰。"});
    EXPECT_EQ(out.events, (Events{"P:上文完了。", "L:第一回　灵根育孕源流出", "H:第一回　灵根育孕源流出", "P:诗曰。"}));
}

TEST(TidyHeadings, LongLinesAndSentencesAreText) {
    const auto out = tidyRun({u"第一章 这一章的标题实在是太长了长得超过了四十个字以至于它不可能是一个标题而只能是正文的一部分",
                              u"第二章 他来了。", u"第三章 他说：“走吧”", u"他说 第一回合就输了，"});
    EXPECT_EQ(out.findings.headings, 0) << testing::PrintToString(out.events);
}

TEST(TidyHeadings, TheFirstWordsOfTheChapterOnTheHeadingLineBecomeText) {
    const auto out = tidyRun({u"第一零四回  醉金刚小鳅生大浪 痴公子余痛触前情 话说贾雨村刚欲过渡，", u"见有人飞奔而来。"});
    EXPECT_EQ(out.events, (Events{"H:第一零四回　醉金刚小鳅生大浪　痴公子余痛触前情", "P:话说贾雨村刚欲过渡，见有人飞奔而来。"}));
}

TEST(TidyHeadings, ABareNumberTakesTheTitleStandingAloneAfterIt) {
    const auto out = tidyRun({u"雨村忙回头，看时-", u"第三回", u"", u"-----------", u"　　贾雨村夤缘复旧职　林黛玉抛父进京都", u"",
                              u"却说雨村忙回头看时。"});
    EXPECT_EQ(out.events, (Events{"P:雨村忙回头，看时", "H:第三回　贾雨村夤缘复旧职　林黛玉抛父进京都", "P:却说雨村忙回头看时。"}));
}

TEST(TidyHeadings, ABareNumberKeepsAShortLineThatRunsOnIntoText) {
    // (The short line then stands alone, as any short line without marks after a finished paragraph.)
    const auto out = tidyRun({u"第一章", u"天色已晚他走进房间", u"看见一封信。"});
    EXPECT_EQ(out.events, (Events{"H:第一章", "M:天色已晚他走进房间", "P:看见一封信。"}));
}

TEST(TidyHeadings, ABareNumberTakesATitleBeforeItsSections) {
    const auto out = tidyRun({u"第一章", u"开端", u"第一节 山路", u"天亮了。"});
    EXPECT_EQ(out.events, (Events{"H:第一章　开端", "H:第一节　山路", "P:天亮了。"}));
}

TEST(TidyHeadings, AVolumeHeadsItsFirstChapter) {
    const auto out = tidyRun({u"第一卷 风起", u"", u"第一章 开端", u"天亮了。"});
    EXPECT_EQ(out.events, (Events{"V:第一卷　风起", "H:第一章　开端", "P:天亮了。"}));
    ASSERT_EQ(out.findings.headingList.size(), 2U);
    EXPECT_EQ(out.findings.headingList[0].rank, HeadingRank::Volume);
    EXPECT_EQ(out.findings.headingList[1].title, u"第一章　开端");
}

TEST(TidyHeadings, TheListOfHeadingsIsBounded) {
    // Every short line without marks is a heading: a source of nothing else
    // must not make the list grow with it.
    TypesetEngine engine;
    engine.setListingHeadings(true);
    EventSink sink;
    engine.beginFile({}, sink);
    const std::size_t lines = RunFindings::kMaxListedHeadings + 5;
    for (std::size_t i = 0; i < lines; ++i) engine.processLine(u"标题");
    engine.endFile();
    EXPECT_EQ(engine.findings().headings, static_cast<Count>(lines));
    EXPECT_EQ(engine.findings().headingList.size(), RunFindings::kMaxListedHeadings);
}

TEST(TidyContents, HeadingLinesWithNoTextBetweenAreAList) {
    const auto out = tidyRun({u"老残游记", u"", u"第一回　土不制水", u"第二回　历山山下", u"", u"第一回　土不制水",
                              u"话说山东登州府。"});
    EXPECT_EQ(out.events, (Events{"M:老残游记", "L:第一回　土不制水", "L:第二回　历山山下", "H:第一回　土不制水", "P:话说山东登州府。"}));
    EXPECT_EQ(out.findings.headings, 2);
}

TEST(TidyContents, ALongListIsNotHeldWhole) {
    std::vector<Text> source;
    for (int i = 1; i <= 1000; ++i) source.push_back(u"第" + Text(numberedText(u"", i, u"")) + u"章 标题");
    source.push_back(u"正文开始了。");
    const auto out = tidyRun(source);
    ASSERT_EQ(out.events.size(), 1001U);
    EXPECT_EQ(out.events[0], "L:第1章　标题");
    EXPECT_EQ(out.events[998], "L:第999章　标题");
    EXPECT_EQ(out.events[999], "H:第1000章　标题");
}

TEST(TidyContents, ABlockHeadedContentsKeepsItsOtherEntries) {
    const auto out = tidyRun({u"目录", u"序", u"人物表", u"第一章 开端", u"", u"序", u"这本书写了很久。"});
    EXPECT_EQ(out.events, (Events{"H:目录", "L:序", "L:人物表", "L:第一章　开端", "H:序", "P:这本书写了很久。"}));
}

TEST(TidyJunk, JunkLinesGoAndFragmentsAreCutOut) {
    const auto out = tidyRun({u"[红楼梦 / 曹雪芹 著 ]", u"------章节内容开始-------", u"第一回 甄士隐梦幻识通灵",
                              u"更新时间:2007-1-12 23:59:08 本章字数:8294", u"这是正文，更新时间:2007-1-12 23:59:08 接着说。",
                              u"一鸣扫描，雪儿校对", u"八零电子书下载网www.txt80.com"});
    EXPECT_EQ(out.events, (Events{"H:第一回　甄士隐梦幻识通灵", "P:这是正文，接着说。"}));
    EXPECT_EQ(out.findings.junkRemoved, 7);
    EXPECT_EQ(out.stats.SourceParagraphCount, 7) << "junk lines are source lines too";
}

TEST(TidySpaces, LinesOfAnyKindOfSpaceAreEmpty) {
    const auto out = tidyRun({u"他说，", u"\t\t", u"\u00A0\u3000", u"\u2003\u200B\uFEFF", u"好的。", u"\u3000"});
    EXPECT_EQ(out.events, (Events{"P:他说，好的。"}));
    EXPECT_EQ(out.findings.emptyHeadings, 0);
    EXPECT_EQ(out.stats.SourceParagraphCount, 2);
}

TEST(TidySpaces, EveryKindOfSpaceGoesFromText) {
    const auto out = tidyRun({u"他\u00A0说\u2003好\u202F的\u205F。"});
    EXPECT_EQ(out.events, (Events{"P:他说好的。"}));
}

TEST(TidyText, ALineEndingInQuestionMarksKeepsItsText) {
    const std::vector<Text> source{u"他说，张曛??瘢乔镆病??", u"好。"};
    const auto tidied = tidyRun(source);
    EXPECT_EQ(tidied.events, (Events{"P:他说，张曛瘢乔镆病好。"}));
    EXPECT_EQ(tidied.findings.linesDropped, 0);

    TypesetEngine engine;  // without the tidy mode the line goes, and the run says so
    EventSink sink;
    engine.beginFile({}, sink);
    for (const Text& line : source) engine.processLine(line);
    engine.endFile();
    EXPECT_EQ(sink.events, (Events{"P:好。"}));
    EXPECT_EQ(engine.findings().linesDropped, 1);
    EXPECT_EQ(engine.findings().charactersDropped, 13);
}

TEST(TidyText, ALongDashKeepsTheTextBeforeIt) {
    const auto out = tidyRun({u"他说————然后。后文", u"====", u"好＊＊＊＊＊的。"});
    EXPECT_EQ(out.events, (Events{"P:他说————然后。", "P:后文好的。"}));
}

TEST(TidyText, AFullWidthPeriodBetweenHanCharactersIsAFullStop) {
    const auto out = tidyRun({u"此開卷第一回也．作者自云：曾歷過一番夢幻之後．3．5 之數．"});
    EXPECT_EQ(out.events, (Events{"P:此開卷第一回也。", "P:作者自云：曾歷過一番夢幻之後．3．5之數．"}));
}

TEST(TidyText, HyphensBetweenDigitsStay) {
    const auto out = tidyRun({u"生于1500-1582年间，2007-1-16-那天-走了。"});
    EXPECT_EQ(out.events, (Events{"P:生于1500-1582年间，2007-1-16那天走了。"}));
}

TEST(TidyText, AStraightQuoteClosesAnOpenQuotation) {
    const auto out = tidyRun({u"他问：“怎么样？\"她说：\"好。\""});
    EXPECT_EQ(out.events, (Events{"P:他问：“怎么样？”", "P:她说：“好。”"}));
}

TEST(TidyText, NothingEmptyIsWritten) {
    const auto out = tidyRun({u"＊＊＊＊", u"***", u"他走了。", u"??"});
    EXPECT_EQ(out.events, (Events{"P:他走了。"}));
    EXPECT_EQ(out.findings.emptyHeadings, 0);
}

TEST(TidyOptions, WithoutMergingEveryLineIsWrittenAsItStands) {
    TypesetOptions options;
    options.MergeLines = false;
    const auto out = tidyRun({u"第一章 开端", u"他说，", u"更新时间:2007-1-12", u"\t", u"好。"}, options);
    EXPECT_EQ(out.events, (Events{"=第一章　开端", "=他说，", "=好。"}));
}

TEST(TidyOptions, TheUsersPrefixAndReplaceRuleReachHeadingsToo) {
    TypesetOptions options;
    options.StripPrefix = u"##";
    options.FindText = u"回";
    options.ReplaceText = u"囘";
    const auto out = tidyRun({u"##他说：“走，", u"##第一回 风起", u"##天亮了。"}, options);
    EXPECT_EQ(out.events, (Events{"P:他说：“走，", "H:第一囘　风起", "P:天亮了。"}));
}

TEST(TidyOptions, AReplaceRuleLeavingOnlySpacesWritesNothing) {
    TypesetOptions options;
    options.FindText = u"删";
    options.ReplaceText = u"\u3000";
    const auto out = tidyRun({u"删", u"天亮了。"}, options);
    EXPECT_EQ(out.events, (Events{"P:天亮了。"}));
    EXPECT_EQ(out.findings.emptyHeadings, 0);
}

TEST(TidyRules, AUserRuleAddsToTheBuiltInOnes) {
    tidy::TidyRules rules = tidy::TidyRules::builtIn();
    rules.add("drop-line ^求月票$\nheading ^Chapter \\d+\n", "mine.rules");
    const tidy::TidyMode mode(std::move(rules));
    const auto out = tidyRun({u"Chapter 7 Home", u"求月票", u"天亮了。"}, {}, mode);
    EXPECT_EQ(out.events, (Events{"H:Chapter7　Home", "P:天亮了。"}));
}

}  // namespace
}  // namespace quenlet::test
