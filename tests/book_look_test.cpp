// The tidy mode's first look at a whole book, on small books of our own:
// how chapter numbers are read, which lines the book's numbering makes
// headings (and which it leaves text), boilerplate by its repetition, and
// quotations that never close.
#include <gtest/gtest.h>

#include <algorithm>

#include "run/statistic_texts.h"
#include "tidy/numbering.h"
#include "tidy_harness.h"

namespace quenlet::test {
namespace {

using tidy::Frame;
using tidy::readNumber;
using tidy::readNumberedLine;

struct NumberRow {
    const char* name;
    Text text;
    std::int64_t value;  // -1: no number at the start
};

class ChapterNumbers : public testing::TestWithParam<NumberRow> {};

TEST_P(ChapterNumbers, AreReadInEveryNotation) {
    const auto read = readNumber(GetParam().text);
    if (GetParam().value < 0) {
        EXPECT_FALSE(read);
    } else {
        ASSERT_TRUE(read);
        EXPECT_EQ(read->value, GetParam().value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Notations, ChapterNumbers,
    testing::Values(NumberRow{"Units", u"一百二十三回", 123}, NumberRow{"HundredAlone", u"百二十回", 120},
                    NumberRow{"TenAlone", u"十五", 15}, NumberRow{"Twenty", u"廿三", 23},
                    NumberRow{"DigitByDigit", u"一二〇", 120}, NumberRow{"Zero", u"一百零八", 108},
                    NumberRow{"Capitals", u"壹佰贰拾", 120}, NumberRow{"Thousands", u"一千零一", 1001},
                    NumberRow{"DashForOne", u"—百回", 100}, NumberRow{"WideDigits", u"０３８", 38},
                    NumberRow{"Spaced", u"二 十 一", 21}, NumberRow{"LoneDash", u"—回", -1},
                    NumberRow{"NotANumber", u"回", -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HeadingForms, AreTheFramesAroundTheNumber) {
    struct Row {
        Text line;
        bool form;
        Frame frame = Frame::Ordinal;
        std::int64_t number = 0;
    };
    const Row rows[] = {
        {u"第十二回 甄士隐", true, Frame::Ordinal, 12}, {u"上卷 第二回 风起", true, Frame::Ordinal, 2},
        {u"【第十二章】归来", true, Frame::Ordinal, 12}, {u"【第十二章 归来", false},
        {u"第一卷 第三章 开端", true, Frame::Ordinal, 3}, {u"卷三 北行", true, Frame::VolumeWord, 3},
        {u"11、铁蜈蚣双环", true, Frame::Separator, 11}, {u"十、铁牢中的小英雄", true, Frame::Separator, 10},
        {u"（十二）归来", true, Frame::Bracket, 12}, {u"二十四", true, Frame::Alone, 24},
        {u"之三", true, Frame::Part, 3}, {u"第一回合，他败了。", false}, {u"第一节课", false},
        {u"1.5倍的价钱", false}, {u"一个人走了。", false}, {u"三千两银子", false},
    };
    for (const Row& row : rows) {
        const auto read = readNumberedLine(row.line);
        EXPECT_EQ(read.has_value(), row.form) << toUtf8(row.line);
        if (!read || !row.form) continue;
        EXPECT_EQ(read->form.frame, row.frame) << toUtf8(row.line);
        EXPECT_EQ(read->number, row.number) << toUtf8(row.line);
    }
}

// A paragraph of text long enough to count as a chapter's.
Text chapterText(int chapter) {
    Text text = u"这一章讲的是第" + Text(numberedText(u"", chapter, u"")) + u"件事。";
    while (text.size() < 260) text += u"他走过长街，看见灯火一盏接一盏地亮起来。";
    return text;
}

std::vector<std::string> headingsOf(const TidyOutput& out) {
    std::vector<std::string> headings;
    for (const std::string& event : out.events)
        if (event.starts_with("H:") || event.starts_with("V:")) headings.push_back(event.substr(2));  // not M:
    return headings;
}

const Text kChineseNumbers[] = {u"一", u"二", u"三", u"四", u"五", u"六", u"七", u"八", u"九", u"十"};

TEST(HeadingsBySequence, NumbersThatRunThroughTheBookAreHeadingsAndAListInsideAChapterIsNot) {
    std::vector<Text> book = {u"《独行记》", u""};
    for (int i = 1; i <= 12; ++i) {
        book.push_back((i <= 10 ? kChineseNumbers[i - 1] : Text(numberedText(u"", i, u""))) + u"、松下的乞丐第" +
                       Text(numberedText(u"", i, u"")) + u"面");
        book.push_back(chapterText(i));
        if (i == 3) {  // a list in the chapter's text
            book.push_back(u"一、要守口如瓶，");
            book.push_back(u"二、要见机行事。");
            book.push_back(chapterText(i));
        }
    }
    const auto out = tidyBook(book);
    const auto headings = headingsOf(out);
    ASSERT_EQ(headings.size(), 12U);
    EXPECT_EQ(headings[0], "一、松下的乞丐第1面");
    EXPECT_EQ(headings[11], "12、松下的乞丐第12面");
    EXPECT_EQ(out.events[0], "M:《独行记》") << "the book's title is a heading by its look only";
    EXPECT_NE(std::find(out.events.begin(), out.events.end(), "P:一、要守口如瓶，二、要见机行事。"), out.events.end());
    // Judged line by line, as without the first look, none of them is a heading.
    EXPECT_TRUE(headingsOf(tidyRun(book)).size() < 3);
}

TEST(HeadingsBySequence, ABareNumberAloneOnItsLineIsAHeadingWhenTheNumbersRun) {
    std::vector<Text> book;
    for (int i = 1; i <= 10; ++i) {
        book.push_back(kChineseNumbers[i - 1]);
        book.push_back(u"");
        book.push_back(chapterText(i));
    }
    const auto headings = headingsOf(tidyBook(book));
    EXPECT_EQ(headings, (std::vector<std::string>{"一", "二", "三", "四", "五", "六", "七", "八", "九", "十"}));
}

TEST(HeadingsBySequence, ABookWithoutNumberedHeadingsGetsNoneInvented) {
    std::vector<Text> book;
    for (int i = 1; i <= 10; ++i) book.push_back(chapterText(i));
    // One list, in one place: its numbers run, but not through the book.
    book.insert(book.begin() + 5, {u"一、粮草", u"二、兵马", u"三、船只", u"四、军饷"});
    const auto out = tidyBook(book);
    for (const std::string& h : headingsOf(out)) EXPECT_FALSE(h.starts_with("一、") || h.starts_with("三、")) << h;
    EXPECT_EQ(out.findings.headings, static_cast<Count>(headingsOf(out).size()));
}

TEST(HeadingsBySequence, ALineOfTheFormThatBreaksTheRunIsText) {
    std::vector<Text> book;
    for (int i = 1; i <= 10; ++i) {
        book.push_back(u"第" + kChineseNumbers[i - 1] + u"回 风雨" + kChineseNumbers[i - 1]);
        book.push_back(chapterText(i));
    }
    // A commentary's sentence starting with a number the run has passed, its
    // line broken where a title would end: alone it passes for a heading.
    book.insert(book.begin() + 12, {u"他记得很清楚那年的事。", u"第一回 说的是因果报应，世人都不信", u"他却信了。"});
    const auto out = tidyBook(book);
    EXPECT_EQ(headingsOf(out).size(), 10U);
    EXPECT_NE(std::find(out.events.begin(), out.events.end(), "P:第一回说的是因果报应，世人都不信他却信了。"),
              out.events.end());
    EXPECT_EQ(headingsOf(tidyRun(book)).size(), 11U);
    // The user's own rule is stronger than the numbering.
    tidy::TidyRules rules = tidy::TidyRules::builtIn();
    rules.add("heading ^第一回 说的是\n", "mine.rules");
    EXPECT_EQ(headingsOf(tidyRun(book, {}, tidy::TidyMode(std::move(rules)), true)).size(), 11U);
}

TEST(HeadingsBySequence, ABodySentenceOfAnotherFormStaysWhole) {
    std::vector<Text> book;
    for (int i = 1; i <= 10; ++i) {
        book.push_back(Text(numberedText(u"", i, u"、")) + u"山居");
        book.push_back(chapterText(i));
    }
    book.insert(book.begin() + 7, u"第二回的事，他记得很清楚。");
    const auto out = tidyBook(book);
    EXPECT_EQ(headingsOf(out).size(), 10U);
    EXPECT_NE(std::find(out.events.begin(), out.events.end(), "P:第二回的事，他记得很清楚。"), out.events.end());
}

TEST(HeadingsBySequence, ATitleRunIntoItsTextIsCutWhereItEnds) {
    std::vector<Text> book;
    for (int i = 1; i <= 10; ++i) {
        const Text n = kChineseNumbers[i - 1];
        Text line = u"第" + n + u"回\u00A0\u00A0望成名學究訓頑" + n + u"\u3000講制藝鄉紳勖後" + n;
        // Most run on into their text; one stands alone; one has no space in its title.
        if (i == 4) line = u"第四回 白簡留情補祝壽黃金有價快升官";
        else if (i != 2) line += u"話說陝西同州府，有一位老先生。";
        book.push_back(line);
        book.push_back(chapterText(i));
    }
    const auto out = tidyBook(book);
    const auto headings = headingsOf(out);
    ASSERT_EQ(headings.size(), 10U);
    EXPECT_EQ(headings[0], "第一回　望成名學究訓頑一　講制藝鄉紳勖後一");
    EXPECT_EQ(headings[1], "第二回　望成名學究訓頑二　講制藝鄉紳勖後二");
    EXPECT_EQ(headings[3], "第四回　白簡留情補祝壽黃金有價快升官");
    EXPECT_NE(std::find(out.events.begin(), out.events.end(), "P:話說陝西同州府，有一位老先生。"), out.events.end());
}

TEST(HeadingsBySequence, GapsRepeatsAndStepsBackAreReported) {
    std::vector<Text> book;
    for (const int i : {1, 2, 3, 5, 6, 6, 7, 8, 10, 11, 12, 9, 13}) {
        book.push_back(u"第" + Text(numberedText(u"", i, u"")) + u"章 旧事");
        book.push_back(chapterText(i));
    }
    const auto out = tidyBook(book);
    EXPECT_EQ(out.findings.sequenceMissing, (std::vector<std::int64_t>{4}));
    EXPECT_EQ(out.findings.sequenceRepeated, (std::vector<std::int64_t>{6}));
    EXPECT_EQ(out.findings.sequenceBackwards, (std::vector<std::int64_t>{12}));
    EXPECT_EQ(headingsOf(out).size(), 13U);
}

TEST(HeadingsBySequence, EachVolumeNumbersItsChaptersAfresh) {
    for (const Text& volumes : {Text(u"第一卷 风起|第二卷 云涌"), Text(u"上卷|下卷")}) {
        std::vector<Text> book;
        for (const Text& volume : {volumes.substr(0, volumes.find(u'|')), volumes.substr(volumes.find(u'|') + 1)}) {
            book.push_back(volume);
            for (int i = 1; i <= 5; ++i) {
                book.push_back(kChineseNumbers[i - 1] + u"、山居");
                book.push_back(chapterText(i));
            }
        }
        const auto out = tidyBook(book);
        EXPECT_EQ(headingsOf(out).size(), 12U) << toUtf8(volumes);
        EXPECT_TRUE(out.findings.sequenceBackwards.empty() && out.findings.sequenceRepeated.empty()) << toUtf8(volumes);
    }
}

TEST(HeadingsBySequence, SectionsNumberAfreshInEachChapter) {
    std::vector<Text> book;
    for (int i = 1; i <= 4; ++i) {
        book.push_back(u"第" + kChineseNumbers[i - 1] + u"章 山河");
        for (int j = 1; j <= 3; ++j) {
            // A section's title runs on into its text: no heading alone.
            book.push_back(u"第" + kChineseNumbers[j - 1] + u"节渡口话说那日天色将晚，" + chapterText(j));
        }
    }
    const auto out = tidyBook(book);
    EXPECT_EQ(headingsOf(out).size(), 16U);
    EXPECT_EQ(out.events[1], "H:第一节　渡口") << "a section cut where its title ends";
    EXPECT_TRUE(out.findings.sequenceBackwards.empty()) << "the sections' numbers are no chapters'";
    EXPECT_EQ(headingsOf(tidyRun(book)).size(), 4U) << "alone, a section run into its text is none";
}

TEST(Boilerplate, AnAdPastedAfterEveryChapterGoesHoweverItIsMangled) {
    const Text ads[] = {u"www.xiaoshuotxt.nett/x/t小.说。天.堂", u"w w w. xiaos huotxt .nett(xＴ小说\"//天,堂/",
                        u"ＷＷw.xiＡosＨuotxt.nettxt小＿说天/堂", u"www、xiaoshuotxt.nett@xt`小$说$天\"堂"};
    std::vector<Text> book;
    for (int i = 1; i <= 10; ++i) {
        book.push_back(u"第" + Text(numberedText(u"", i, u"")) + u"章 沉沦");
        book.push_back(chapterText(i));
        book.push_back(ads[i % 4]);
        book.push_back(u"诗曰：");  // recurs too, but is the book's own
    }
    // A signature with its address, in the middle of sentences here and there.
    for (const Text& around : {Text(u"那日他说：“你的七个理由。”--书香门第注www.bookhome.net你讲！"),
                               Text(u"天色晚了。书香门第注www.bookhome.net他走了。"), Text(u"书香门第注 www.bookhome.net")})
        book.insert(book.begin() + 5, around);
    const auto out = tidyBook(book);
    for (const std::string& event : out.events) {
        EXPECT_EQ(event.find("堂"), std::string::npos) << event;
        EXPECT_EQ(event.find("www"), std::string::npos) << event;
    }
    EXPECT_EQ(std::count_if(out.events.begin(), out.events.end(),
                            [](const std::string& e) { return e.find("诗曰") != std::string::npos; }),
              10);
    for (const std::string& event : out.events) EXPECT_EQ(event.find("书香"), std::string::npos) << event;
    EXPECT_NE(std::find(out.events.begin(), out.events.end(), "P:你讲！"), out.events.end());
    EXPECT_NE(std::find(out.events.begin(), out.events.end(), "P:他走了。"), out.events.end());
    EXPECT_GE(out.findings.junkRemoved, 13);
}

TEST(Quotations, OneLeftOpenNoLongerHoldsTheParagraphsAfterIt) {
    // One paragraph a line, the closing quotes lost.
    std::vector<Text> book;
    for (int i = 0; i < 300; ++i) book.push_back(u"他说：“今天天气很好，我们出去走走吧。");
    const auto out = tidyBook(book);
    EXPECT_EQ(std::count_if(out.events.begin(), out.events.end(),
                            [](const std::string& e) { return e.starts_with("P:"); }),
              300);
    // Broken lines still join: a line that does not end a sentence goes on in the next.
    const auto joined = tidyBook({u"　　他说：“今天天气", u"很好。", u"　　她说：“好。", u"　　走吧。”"});
    EXPECT_EQ(joined.events, (Events{"P:他说：“今天天气很好。", "P:她说：“好。", "P:走吧。”"}));
}

// A long file's look comes in two parts, one on a helper thread, taken
// together after: whatever line the later part starts at, the book comes
// out as from one look at every line -- joined where the lead-in shows the
// part what went before, looked at again where it does not.
TEST(LookInParts, ComesOutAsOneLookWhereverTheBookIsSplit) {
    std::vector<Text> book = {u"目录", u"第一章 渡口", u"第二章 山路", u"", u"上卷"};
    const Text ads[] = {u"w w w. xiaos huotxt .nett(xＴ小说\"//天,堂/", u"ＷＷw.xiＡosＨuotxt.nettxt小＿说天/堂"};
    for (int i = 1; i <= 12; ++i) {
        if (i == 7) book.push_back(u"下卷");
        const int number = i <= 6 ? i : i - 6;  // each volume numbers its chapters afresh
        if (i == 4) book.push_back(u"第四章　望成名學究訓頑兒　講制藝鄉紳勖後進話說陝西同州府有個秀才");
        else if (i != 9) book.push_back(u"第" + Text(numberedText(u"", number, u"")) + u"章 沉沦");  // one missing
        book.push_back(u"");
        book.push_back(u"　　" + chapterText(i));
        book.push_back(u"　　他说：“今天天气很好，我们出去走走吧。");
        if (i == 3) book.insert(book.end(), {u"一、要守口如瓶，", u"二、要见机行事。"});
        book.push_back(u"　　天色晚了。书香门第注www.bookhome.net他走了。");
        book.push_back(ads[i % 2]);
    }
    const TidyOutput whole = tidyBook(book);
    ASSERT_GE(headingsOf(whole).size(), 11U);
    std::size_t joined[2] = {0, 0};
    for (const std::size_t leadIn : {0, 4}) {
        for (std::size_t split = 1; split < book.size(); split += leadIn > 0 ? 1 : 5) {
            bool wasJoined = false;
            const TidyOutput parted = tidyBook(book, {}, LookParts{split, leadIn, &wasJoined});
            joined[leadIn > 0] += wasJoined;
            ASSERT_EQ(parted.events, whole.events) << "split at line " << split << ", lead-in " << leadIn;
            EXPECT_EQ(parted.findings.junkList, whole.findings.junkList) << split;
            EXPECT_EQ(parted.findings.sequenceMissing, whole.findings.sequenceMissing) << split;
            EXPECT_EQ(parted.findings.sequenceRepeated, whole.findings.sequenceRepeated) << split;
        }
    }
    EXPECT_GE(joined[1], book.size() * 9 / 10) << "with a lead-in, nearly every split is taken in";
    EXPECT_LT(joined[0], book.size() / 5) << "without one, some are not";
}

}  // namespace
}  // namespace quenlet::test
