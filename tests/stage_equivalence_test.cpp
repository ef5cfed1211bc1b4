// The engine's single-pass stages against the stages written exactly as their
// rules are stated, on generated paragraphs built from the characters the
// rules react to, and on the long adversarial ones that make the literal
// rules quadratic.
#include <gtest/gtest.h>

#include <random>

#include "engine_harness.h"
#include "support/reference_stages.h"

namespace quenlet::test {
namespace {

// Characters every stage reacts to, plus spaces and ordinary text.
constexpr std::u16string_view kAlphabet =
    u"。.,、!！?？…·“”‘’\"'「」『』[]［］()（）*＊-－—=＝～第章回部1一ab ：，";

Text randomParagraph(std::mt19937& random, std::size_t maxLength) {
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
    Text text;
    for (std::size_t n = length(random); n > 0; --n) text.push_back(kAlphabet[pick(random)]);
    return text;
}

void expectSameState(const DocumentState& fast, const DocumentState& literal, const Text& input) {
    ASSERT_EQ(fast.Line, literal.Line) << toUtf8(input);
    ASSERT_EQ(fast.DotRun, literal.DotRun) << toUtf8(input);
    ASSERT_EQ(fast.SegmentIndex, literal.SegmentIndex) << toUtf8(input);
    for (Count i = 0; i <= fast.SegmentIndex; ++i) ASSERT_EQ(fast.Segments[i], literal.Segments[i]) << toUtf8(input);
    // The rule-run counters left at the end are not compared: every call starts
    // them afresh, and skipping a rescan leaves them at other values.
}

// Runs one stage both ways from the same state.
template <typename Fast, typename Literal>
void compare(const Text& paragraph, Count carriedDotRun, Fast fast, Literal literal) {
    TypesetEngine engine;
    engine.state().Line = paragraph;
    engine.state().DotRun = carriedDotRun;
    DocumentState expected = engine.state();
    fast(engine);
    literal(expected);
    expectSameState(engine.state(), expected, paragraph);
}

void compareAllStages(const Text& paragraph, Count carriedDotRun, const TypesetOptions& rule) {
    compare(paragraph, carriedDotRun, [](TypesetEngine& e) { e.DJ(); }, [](DocumentState& s) { reference::DJ(s); });
    TypesetOptions dotsOnly;
    dotsOnly.ConvertQuotes = false;
    compare(
        paragraph, carriedDotRun,
        [&](TypesetEngine& e) {
            e.setOptions(dotsOnly);
            e.ZZZ1();
        },
        [](DocumentState& s) { reference::dotRuns(s); });
    compare(
        paragraph, carriedDotRun,
        [&](TypesetEngine& e) {
            e.setOptions(rule);
            e.TH();
        },
        [&](DocumentState& s) { reference::TH(s, rule); });
    for (const Text& find : {u"－"_t, u"～"_t}) {
        compare(
            paragraph, carriedDotRun,
            [&](TypesetEngine& e) {
                e.state().CorrectionFind = find;
                e.state().CorrectionReplace = u"…";
                e.TH0();
            },
            [&](DocumentState& s) {
                s.CorrectionFind = find;
                s.CorrectionReplace = u"…";
                reference::TH0(s);
            });
    }
}

TEST(StageEquivalence, RandomParagraphs) {
    std::mt19937 random(20261208);
    const std::pair<Text, Text> rules[] = {
        {u"哈哈", u"哈"}, {u"a", u"ba"}, {u"。", u"。。"}, {u"第", u"第"}, {u"ab", u""}, {u"”", u" "}, {u"b", u"aab"},
    };
    for (int round = 0; round < 30000; ++round) {
        const Text paragraph = randomParagraph(random, round % 10 == 0 ? 200 : 24);
        TypesetOptions rule;
        rule.FindText = rules[round % std::size(rules)].first;
        rule.ReplaceText = rules[round % std::size(rules)].second;
        compareAllStages(paragraph, round % 4, rule);
        if (HasFatalFailure()) return;
    }
}

Text repeated(std::u16string_view piece, std::size_t times) {
    Text text;
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

TEST(StageEquivalence, AdversarialParagraphs) {
    TypesetOptions rule;
    rule.FindText = u"哈哈";
    rule.ReplaceText = u"哈";
    const Text cases[] = {
        repeated(u"-", 3000),
        repeated(u"。。x", 1000),
        u"。。" + repeated(u"a。。", 1000),
        repeated(u"哈", 3000),
        repeated(u"a", 2000) + u"。" + repeated(u"”", 2000),
        repeated(u"x。”」！", 800),
        repeated(u"「a」", 1500),
        repeated(u"第1章", 1200),
        repeated(u"****x", 900),
        u"  a。”” b。” ",
    };
    for (const Text& paragraph : cases) {
        compareAllStages(paragraph, 1, rule);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace quenlet::test
