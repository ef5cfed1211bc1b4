// Rules files: the format, the errors a person gets for a bad line, the
// built-in file, and the reading of which characters a pattern needs (which
// decides whether a pattern runs on a line at all, so it must never be wrong).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "text/encoding.h"
#include "engine_harness.h"
#include "tidy/needed_chars.h"
#include "tidy/tidy_rules.h"
#include "tidy/tidy_text.h"

namespace quenlet::test {
namespace {

using tidy::RuleKind;
using tidy::RulesError;
using tidy::TidyRules;

std::string errorOf(std::string_view text) {
    TidyRules rules;
    try {
        rules.add(text, "mine.rules");
    } catch (const RulesError& e) {
        EXPECT_TRUE(rules.rules().empty()) << "a bad file adds nothing";
        return e.what();
    }
    return "(no error)";
}

TEST(TidyRules, ReadsKindsCommentsAndBlankLines) {
    TidyRules rules;
    rules.add("\xEF\xBB\xBF# a comment\n\n  drop-line ^广告$\r\ncut 更新时间\t\nprefix ^正文 ?\nheading ^第\nsection ^节\n"
              "volume ^卷\ntoc ^目录$\n",
              "mine.rules");
    ASSERT_EQ(rules.rules().size(), 7U);
    const RuleKind kinds[] = {RuleKind::DropLine, RuleKind::Cut,    RuleKind::Prefix, RuleKind::Heading,
                              RuleKind::Section,  RuleKind::Volume, RuleKind::Toc};
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(rules.rules()[i].kind, kinds[i]) << i;
    EXPECT_EQ(rules.rules()[1].origin, "mine.rules:4");
}

TEST(TidyRules, NamesStandForTheirPatterns) {
    TidyRules rules;
    rules.add("define N [一二三]+\ndefine CH 第{N}章\nheading ^{CH}\ncut \\p{Han}{2}\n", "a");
    rules.add("heading ^{CH}节\n", "b");  // names carry over to later files
    tidy::MatchData data;
    tidy::Match m;
    ASSERT_EQ(rules.rules().size(), 3U);
    EXPECT_TRUE(rules.rules()[0].pattern.find(u"第二三章 风", 0, data, m));
    EXPECT_EQ(m.end, 4U);
    EXPECT_TRUE(rules.rules()[2].pattern.find(u"第一章节", 0, data, m));
    EXPECT_FALSE(rules.rules()[0].pattern.find(u"第四章", 0, data, m));
}

TEST(TidyRules, BracesOfEscapesAreNoNames) {
    TidyRules rules;
    rules.add("cut \\p{Han}\\{X}\n", "a");
    tidy::MatchData data;
    tidy::Match m;
    EXPECT_TRUE(rules.rules()[0].pattern.find(u"字{X}", 0, data, m));
    // After an escaped backslash the brace opens a name again.
    EXPECT_EQ(errorOf("cut \\\\{X}\n"),
              "mine.rules:1: {X} is not defined (define X PATTERN on an earlier line defines it; \\{ is a literal brace)");
}

TEST(TidyRules, BadLinesNameTheFileTheLineAndTheReason) {
    EXPECT_EQ(errorOf("cut a\n\ncut (unclosed\n"),
              "mine.rules:3: bad pattern: missing closing parenthesis (at character 10)");
    EXPECT_EQ(errorOf("delete foo\n"), "mine.rules:1: unknown rule \"delete\" (a line holds define, drop-line, cut, "
                                       "prefix, heading, section, volume or toc, then a pattern)");
    EXPECT_EQ(errorOf("heading\n"), "mine.rules:1: heading needs a pattern");
    EXPECT_EQ(errorOf("define 9x a\n"), "mine.rules:1: define needs a name (letters, digits and _, not starting with a digit)");
    EXPECT_EQ(errorOf("define X [a\n"), "mine.rules:1: bad pattern: missing terminating ] for character class (at character 3)");
    EXPECT_EQ(errorOf("cut \xFF\xFE\n"), "mine.rules:1: the line is not valid UTF-8");
}

TEST(TidyRules, AMissingFileIsAnError) {
    TidyRules rules;
    EXPECT_THROW(rules.addFile("/nonexistent/quenlet.rules"), RulesError);
}

TEST(TidyRules, BuiltInRulesAreTheInstalledFile) {
    std::ifstream in(QUENLET_RULES_FILE, std::ios::binary);
    std::ostringstream file;
    file << in.rdbuf();
    EXPECT_EQ(TidyRules::builtInText(), file.str());
    EXPECT_GT(TidyRules::builtIn().rules().size(), 20U);
}

// ---- which characters a pattern needs ----

std::string needs(std::u16string_view pattern) {
    const auto found = tidy::neededCharacters(pattern);
    if (!found) return "-";
    return toUtf8(Text(found->first.begin(), found->first.end())) + "|" +
           toUtf8(Text(found->second.begin(), found->second.end()));
}

struct NeedsRow {
    const char* name;
    std::u16string_view pattern;
    const char* needs;
    friend void PrintTo(const NeedsRow& row, std::ostream* os) { *os << row.name; }
};

class NeededCharacters : public testing::TestWithParam<NeedsRow> {};

TEST_P(NeededCharacters, Reading) { EXPECT_EQ(needs(GetParam().pattern), GetParam().needs); }

INSTANTIATE_TEST_SUITE_P(
    Patterns, NeededCharacters,
    testing::Values(NeedsRow{"Literals", u"本章字数", "数|字"},
                    NeedsRow{"SmallestSetsWin", u"[一二]+字[数數]", "字|数數"},
                    NeedsRow{"AlternativesJoin", u"(?:扫描|录入)员", "员|录扫"},
                    NeedsRow{"OptionalPartsNeedNothing", u"(?:本章)?字?数*", "-"},
                    NeedsRow{"RepeatedPartsAreNeeded", u"a{2,}b{0,3}", "a|a"},
                    NeedsRow{"LookaroundsAndAnchorsAreNoCharacters", u"^(?=x)(?<!y)\\bz$", "z|z"},
                    NeedsRow{"EscapedMarks", u"\\[\\x{7AE0}", "章|["},
                    NeedsRow{"AnyCharacterNeedsNothing", u".", "-"},
                    NeedsRow{"NegatedClassNeedsNothing", u"[^a]", "-"},
                    NeedsRow{"ClassesWithEscapesAreOpen", u"[\\d]", "-"},
                    NeedsRow{"AnAlternativeWithoutNeedsOpensAll", u"ab|.", "-"},
                    NeedsRow{"InlineOptionsAreBeyondTheReading", u"(?i)end", "-"},
                    NeedsRow{"BackReferencesAreBeyondTheReading", u"(a)\\1", "-"},
                    NeedsRow{"LiteralBraceIsACharacter", u"{N}", "N|}"},
                    NeedsRow{"PunctuationIsTheLastChoice", u"字[数數] ?[:：]", "字|数數"}),
    [](const testing::TestParamInfo<NeedsRow>& info) { return std::string(info.param.name); });

// A pattern skipped on a line it would have matched is a rule silently not
// applied: for every built-in junk rule, each sample line it matches holds
// characters of both needed sets.
TEST(NeededCharacters, NeverHideAMatchOfTheBuiltInRules) {
    const Text samples[] = {
        u"------章节内容开始-------", u"更新时间:2007-1-16 7:55:51 本章字数:5791", u"字数：3000字",
        u"八零电子书下载网www.txt80.com", u"TXT小说天堂 https://www.x.com，最有文艺气息的文学网站",
        u"本站长期招收作品更新管理员，欢迎", u"天才一秒记住本站地址", u"手机用户请访问m.x.com阅读",
        u"更多精彩小说请访问", u"后一页 前一页 回目录 回首页", u"首页 | 原创书库 | 言情 | 武侠", u"[红楼梦 / 曹雪芹 著 ]",
        u"书籍介绍:", u"一鸣扫描，雪儿校对", u"某某扫校", u"校对：某某", u"请在下载24小时内删除", u"请购买正版图书",
        u"作品仅供读者预览", u"不得用作商业用途", u"版权归作者所有", u"End of the Project Gutenberg EBook of X",
        u"请记住本书首发域名：abc.com", u"＊＊＊", u"= = = =",
    };
    const TidyRules rules = TidyRules::builtIn();
    tidy::MatchData data;
    Text spaced;
    for (const tidy::Rule& rule : rules.rules()) {
        if (!tidy::isJunkRule(rule.kind) || !rule.needs) continue;
        for (const Text& sample : samples) {
            tidy::spacedLine(sample, spaced);
            tidy::Match m;
            if (!rule.pattern.find(spaced, 0, data, m)) continue;
            auto holds = [&](const std::vector<char16_t>& set) {
                return std::any_of(spaced.begin(), spaced.end(),
                                   [&](char16_t c) { return std::find(set.begin(), set.end(), c) != set.end(); });
            };
            EXPECT_TRUE(holds(rule.needs->first) && holds(rule.needs->second)) << rule.origin << " on " << toUtf8(sample);
        }
    }
}

}  // namespace
}  // namespace quenlet::test
