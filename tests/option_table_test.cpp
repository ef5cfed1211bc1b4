// The option table: one entry for every typesetting option, the defaults
// taken from TypesetOptions{}, and a request turned into options as the
// flags say.
#include "options/option_table.h"

#include <gtest/gtest.h>

#include <set>
#include <variant>

namespace quenlet::test {
namespace {

TEST(OptionTable, EveryTypesettingOptionOnceWithAControlAndEverySwitchOnByDefault) {
    std::set<std::string_view> controls;
    std::size_t switches = 0, texts = 0;
    for (const OptionSpec& option : optionTable()) {
        if (std::holds_alternative<std::monostate>(option.sets)) continue;
        EXPECT_FALSE(option.control.empty()) << option.flags;
        EXPECT_TRUE(controls.insert(option.control).second) << option.control;
        if (const auto* on = std::get_if<bool TypesetOptions::*>(&option.sets)) {
            ++switches;
            // A flag can only turn a switch off, so every switch must start on.
            EXPECT_TRUE(TypesetOptions{}.**on) << option.flags;
            EXPECT_TRUE(std::holds_alternative<bool RunRequest::*>(option.request)) << option.flags;
        } else {
            ++texts;
            EXPECT_EQ(option.valueName, "TEXT") << option.flags;
        }
    }
    EXPECT_EQ(switches, 7U);  // MergeLines, SplitParagraphs and the five corrections
    EXPECT_EQ(texts, 7U);     // the markers, the indent and ending, the rule, the prefix
    EXPECT_EQ(&optionOf("--jobs"), &optionOf("--jobs"));
    EXPECT_EQ(longFlagOf(optionOf("--quiet")), "--quiet");
    EXPECT_THROW(optionOf("--no-such-option"), std::logic_error);
}

struct DefaultRow {
    const char* flag;
    std::string described;
    std::string help;
};

class DefaultRows : public testing::TestWithParam<DefaultRow> {};

// The help texts describe the defaults of TypesetOptions{} and of the request.
TEST_P(DefaultRows, HelpDescribesTheDefault) {
    const OptionSpec& option = optionOf(GetParam().flag);
    EXPECT_EQ(describeDefault(option), GetParam().described);
    EXPECT_EQ(helpText(option), GetParam().help);
}

INSTANTIATE_TEST_SUITE_P(
    OptionTable, DefaultRows,
    testing::Values(DefaultRow{"--heading-open", "《", "Text written before each heading (default 《)."},
                    DefaultRow{"--indent", "two full-width spaces",
                               "Text written before each paragraph (default two full-width spaces)."},
                    DefaultRow{"--paragraph-end", "none", "Text written after each paragraph (default none)."},
                    DefaultRow{"--replace", "one space", "The text that --find is replaced with (default one space)."},
                    DefaultRow{"--line-ends", "crlf", "Line ends of the result: crlf (default) or lf."},
                    DefaultRow{"--no-merge", "",
                               "Do not join broken lines: every line is cleaned and written as it is, nothing else "
                               "is done."}),
    [](const auto& info) {
        std::string name;
        for (const char c : std::string_view(info.param.flag).substr(2)) name += c == '-' ? '_' : c;
        return name;
    });

TEST(OptionTable, ARequestBecomesTheOptionsItsFlagsAndTextsSay) {
    RunRequest request;
    EXPECT_EQ(request.indent, "\u3000\u3000");  // from TypesetOptions{}
    EXPECT_EQ(std::get<TypesetOptions>(typesetOptionsOf(request)), TypesetOptions{});

    request.noSplit = request.keepTildes = true;
    request.headingOpen = "【";
    request.find = "";
    TypesetOptions expected;
    expected.SplitParagraphs = expected.TildeToEllipsis = false;
    expected.HeadingOpen = u"【";
    EXPECT_EQ(std::get<TypesetOptions>(typesetOptionsOf(request)), expected);

    // The first text that is not UTF-8 is named, in the table's order.
    request.replace = "\xFF";
    request.indent = "\xC0";
    EXPECT_EQ(std::get<std::string_view>(typesetOptionsOf(request)), "--indent");
}

}  // namespace
}  // namespace quenlet::test
