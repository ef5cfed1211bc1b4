// The rules and what they match: undecodable bytes, which a rule takes whole
// or leaves whole in every encoding, and a pattern that backtracks without
// end, which gives up within its budget and is reported, not taken for "no
// match".
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "text/encoding.h"
#include "run/file_run.h"
#include "tidy/line_matcher.h"
#include "temp_dir.h"
#include "tidy/tidy_mode.h"

namespace quenlet::test {
namespace {

// One encoding's undecodable bytes: what its decoder escapes.
struct Undecodable {
    const char* name;
    Encoding encoding;
    std::string bytes;
    friend void PrintTo(const Undecodable& u, std::ostream* os) { *os << u.name; }
};

const Undecodable kUndecodable[] = {
    {"Utf8", Encoding::Utf8, "\xE6\x96"},  // a character cut short: two escape units
    {"Utf16LE", Encoding::Utf16LE, std::string("\x00\xD8", 2)},  // a lone U+D800: its two bytes
    {"Utf16BE", Encoding::Utf16BE, std::string("\xD8\x00", 2)},
    {"Gb18030", Encoding::Gb18030, "\xFF"},
    {"Big5", Encoding::Big5, "\x80\xFF"},
};

// One verb of the rules, a rule of it whose "." has to take the undecodable
// bytes (written B below) as one character, a source line and the lines
// (blank ones left out) the copy must hold. The characters are in every
// encoding's repertoire.
struct Verb {
    const char* name;
    const char* rule;
    std::u16string_view line;
    std::vector<std::u16string_view> expected;
    friend void PrintTo(const Verb& v, std::ostream* os) { *os << v.rule; }
};

const Verb kVerbs[] = {
    {"Cut", "cut 文字.", u"甲文字B乙。", {u"　　甲乙。"}},
    {"CutEndingBeforeThem", "cut 甲.", u"甲文B乙。", {u"　　B乙。"}},
    {"DropLine", "drop-line ^文字.乙", u"文字B乙。", {}},
    {"Prefix", "prefix ^网.", u"网B第一章 开端", {u"《第一章　开端》"}},
    {"Heading", "heading ^章.一", u"章B一", {u"《章B一》"}},
    {"Section", "section ^段.一", u"段B一", {u"《段B一》"}},
    {"Volume", "volume ^卷.一", u"卷B一", {u"《卷B一》"}},
    {"Toc", "toc ^目.次$", u"目B次", {u"《目B次》"}},
};

// `text` with each B replaced by the escape units of the undecodable bytes.
Text withUndecodable(std::u16string_view text, const Undecodable& bad) {
    Text escapes;
    makeDecoder(bad.encoding)
        ->decode(reinterpret_cast<const unsigned char*>(bad.bytes.data()), bad.bytes.size(), true, escapes);
    Text out;
    for (const char16_t c : text) {
        if (c == u'B') out += escapes;
        else out.push_back(c);
    }
    return out;
}

std::string encoded(Encoding encoding, TextView text) {
    std::string out;
    encodeText(encoding, text, out);
    return out;
}

using RuleCase = std::tuple<Undecodable, Verb>;

class RulesOverUndecodableBytes : public testing::TestWithParam<RuleCase> {};

TEST_P(RulesOverUndecodableBytes, TakeThemWholeOrLeaveThemWhole) {
    const auto& [bad, verb] = GetParam();
    TempDir dir;
    const std::string source = dir.write("a.txt", encoded(bad.encoding, withUndecodable(verb.line, bad) + u"\r\n"));
    tidy::TidyRules rules = tidy::TidyRules::builtIn();
    rules.add(verb.rule, "mine.rules");
    FileRunSettings settings;
    settings.forcedEncoding = bad.encoding;
    settings.hooks = std::make_shared<tidy::TidyMode>(std::move(rules));
    TypesetEngine engine;
    const FileRunResult result = typesetFile(engine, source, {}, settings);
    ASSERT_TRUE(result.ok) << result.error;

    std::string expected;
    for (std::size_t i = 0; i < verb.expected.size(); ++i)
        expected += encoded(bad.encoding, withUndecodable(verb.expected[i], bad) + u"\r\n");
    std::string copy = readFile(dir.path("kovra-a.txt"));
    const std::string blankLine = encoded(bad.encoding, u"\r\n");
    for (std::size_t at; (at = copy.find(blankLine + blankLine)) != std::string::npos;) copy.erase(at, blankLine.size());
    if (copy == blankLine) copy.clear();
    EXPECT_EQ(copy, expected);
    // Taken or left, the bytes are counted whole.
    const bool kept = verb.expected.size() == 1 && verb.expected[0].find(u'B') != std::u16string_view::npos;
    EXPECT_EQ(result.undecodableBytesWritten, kept ? bad.bytes.size() : 0U);
}

INSTANTIATE_TEST_SUITE_P(EveryEncodingAndVerb, RulesOverUndecodableBytes,
                         testing::Combine(testing::ValuesIn(kUndecodable), testing::ValuesIn(kVerbs)),
                         [](const testing::TestParamInfo<RuleCase>& info) {
                             return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
                         });

// ---- the match budget ----

TEST(MatchBudget, APatternThatBacktracksWithoutEndGivesUpAndSaysSo) {
    const tidy::Pattern pattern(u"^(.+)+求月票$");
    tidy::MatchData data;
    tidy::Match match;
    Text line;
    for (int i = 0; i < 10; ++i) line += u"他走进房间看见桌上放着一封信";
    EXPECT_FALSE(pattern.find(line + u"求月票。", 0, data, match));
    EXPECT_TRUE(data.takeLimitHit());
    EXPECT_FALSE(data.takeLimitHit()) << "taken once";
    EXPECT_TRUE(pattern.find(line + u"求月票", 0, data, match));
    EXPECT_FALSE(pattern.find(line, 0, data, match));
    EXPECT_FALSE(data.takeLimitHit()) << "a plain failure is no limit";
}

TEST(MatchBudget, ARuleThatGaveUpIsReportedOnceWithItsFirstLine) {
    tidy::TidyRules rules;
    rules.add("drop-line ^(.+)+求月票$\n", "mine.rules");
    const tidy::TidyMode mode(std::move(rules));
    const auto hooks = mode.hooksForFile();
    class NoSink : public LineSink {
        void writeLine(TextView) override {}
    } sink;
    TypesetEngine engine;
    engine.beginFile({}, sink, nullptr, hooks.get());
    Text hard;
    for (int i = 0; i < 10; ++i) hard += u"他走进房间看见桌上放着一封信";
    hard += u"求月票。";
    for (const Text& line : {Text(u"天亮了。"), Text(u"快求月票"), hard, Text(), hard, hard}) engine.processLine(line);
    engine.endFile();
    EXPECT_EQ(engine.findings().warnings,
              std::vector<std::string>{"line 3: the rule at mine.rules:1 backtracks too much to finish; it was not "
                                       "applied there nor on 2 more lines (simplify repeats inside repeats, such as "
                                       "(.+)+)"});
    EXPECT_EQ(engine.findings().junkRemoved, 1) << "the line it could match is dropped";
}

}  // namespace
}  // namespace quenlet::test
