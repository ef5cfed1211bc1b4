// Simplified <-> traditional conversion: every named conversion on words it
// must change, undecodable bytes kept, and every event of the output converted.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "run/converting_sink.h"
#include "text/chinese_conversion.h"
#include "text/encoding.h"

namespace quenlet::test {
namespace {

struct ConversionCase {
    const char* name;
    Text from;
    Text to;
};

class Conversions : public testing::TestWithParam<ConversionCase> {};

TEST_P(Conversions, ChangeTheWordsTheyAreFor) {
    const ConversionCase& c = GetParam();
    Text out = u">";
    ChineseConverter::load(c.name)->convert(c.from, out);
    EXPECT_EQ(toUtf8(out), toUtf8(u">" + c.to));
}

INSTANTIATE_TEST_SUITE_P(
    Named, Conversions,
    testing::Values(ConversionCase{"t2s", u"紅樓夢，他說：「好。」", u"红楼梦，他说：「好。」"},
                    ConversionCase{"s2t", u"红楼梦，他说", u"紅樓夢，他說"},
                    ConversionCase{"s2tw", u"红楼梦里的台风", u"紅樓夢裡的颱風"},
                    ConversionCase{"tw2s", u"紅樓夢裡的颱風", u"红楼梦里的台风"},
                    ConversionCase{"s2twp", u"鼠标和软件", u"滑鼠和軟體"},
                    ConversionCase{"tw2sp", u"滑鼠和軟體", u"鼠标和软件"},
                    ConversionCase{"s2hk", u"红楼梦", u"紅樓夢"},
                    ConversionCase{"hk2s", u"紅樓夢", u"红楼梦"},
                    ConversionCase{"t2tw", u"裏面", u"裡面"},
                    ConversionCase{"t2hk", u"說", u"説"}),
    [](const testing::TestParamInfo<ConversionCase>& info) { return std::string(info.param.name); });

TEST(Conversion, EveryListedNameLoadsAndNothingElse) {
    EXPECT_EQ(conversionNames().size(), 10U);
    for (std::string_view name : conversionNames()) EXPECT_NO_THROW(ChineseConverter::load(name)) << name;
    EXPECT_EQ(ChineseConverter::load("t2s"), ChineseConverter::load("t2s"));  // loaded once
    EXPECT_THROW(ChineseConverter::load("t2jp"), std::runtime_error);
    EXPECT_THROW(ChineseConverter::load("../t2s"), std::runtime_error);
    EXPECT_FALSE(isConversionName(""));
}

TEST(Conversion, UndecodableBytesPassThroughUnchanged) {
    Text out;
    ChineseConverter::load("t2s")->convert(u"\xDC80說\xDCFF\xDCFE說話\xD800", out);
    EXPECT_EQ(out, u"\xDC80说\xDCFF\xDCFE说话\xD800");
    out.clear();
    ChineseConverter::load("t2s")->convert(u"\U00020547說", out);  // a character beyond the BMP stays whole
    EXPECT_EQ(out, u"\U00020547说");
}

// Records every event as one string.
class RecordingSink final : public OutputSink {
public:
    void plainLine(TextView line) override { add(u"plain:", line); }
    void blankLine() override { add(u"blank", u""); }
    void heading(TextView open, TextView title, TextView close, HeadingRank rank) override {
        add(rank == HeadingRank::Volume ? u"volume:" : u"heading:", Text(open) + u"|" + Text(title) + u"|" + Text(close));
    }
    void paragraph(TextView indent, TextView body, TextView end) override {
        add(u"paragraph:", Text(indent) + u"|" + Text(body) + u"|" + Text(end));
    }
    void listEntry(TextView indent, TextView entry, TextView end) override {
        add(u"entry:", Text(indent) + u"|" + Text(entry) + u"|" + Text(end));
    }
    std::vector<std::string> events;

private:
    void add(TextView kind, TextView text) { events.push_back(toUtf8(Text(kind) + Text(text))); }
};

TEST(Conversion, TheSinkConvertsEveryTextOfEveryEvent) {
    RecordingSink recorded;
    ConvertingSink sink(recorded, *ChineseConverter::load("t2s"));
    sink.plainLine(u"說");
    sink.blankLine();
    sink.heading(u"【說", u"第一卷　紅樓", u"】", HeadingRank::Volume);
    sink.paragraph(u"　　", u"他說話。", u"（說）");
    sink.paragraph(u"　　", u"他說話。", u"（說）");
    sink.listEntry(u"·", u"樓", u"");
    EXPECT_EQ(recorded.events, (std::vector<std::string>{"plain:说", "blank", "volume:【说|第一卷　红楼|】",
                                                         "paragraph:　　|他说话。|（说）", "paragraph:　　|他说话。|（说）",
                                                         "entry:·|楼|"}));
}

// Batches converted on helper threads come out in their order, the same as
// one event after the other.
TEST(Conversion, HelperThreadsKeepTheOrder) {
    auto feed = [](OutputSink& sink) {
        for (int i = 0; i < 6000; ++i) {
            const Text number = fromUtf8(std::to_string(i));
            if (i % 50 == 0) sink.heading(u"《", u"第" + number + u"回　說話", u"》", HeadingRank::Chapter);
            if (i % 7 == 0) sink.blankLine();
            sink.paragraph(u"　　", u"他說：「紅樓夢」" + number + u"\xDC81。", u"");
        }
    };
    const auto converter = ChineseConverter::load("t2s");
    RecordingSink inline_, threaded;
    ConvertingSink one(inline_, *converter);
    ConvertingSink three(threaded, *converter, 3);
    feed(one);
    feed(three);
    EXPECT_LT(threaded.events.size(), inline_.events.size());  // still being converted
    three.finish();
    one.finish();
    EXPECT_EQ(threaded.events, inline_.events);
    EXPECT_EQ(inline_.events[2], "paragraph:　　|他说：「红楼梦」0\x81。|");
}

}  // namespace
}  // namespace quenlet::test
