// The first chapter as the source had it and as the copy has it, taken by the
// run: from the top up to the second chapter's heading, on both sides.
#include <gtest/gtest.h>

#include <memory>

#include "run/file_run.h"
#include "temp_dir.h"
#include "text/encoding.h"
#include "tidy/tidy_mode.h"

namespace quenlet::test {
namespace {

const Text kIndent = u"\u3000\u3000";

std::string encoded(Encoding encoding, const std::vector<Text>& lines) {
    std::string bytes;
    for (const Text& line : lines) {
        encodeText(encoding, line, bytes);
        bytes += "\r\n";
    }
    return bytes;
}

struct SampleCase {
    const char* name;
    std::vector<Text> source;
    bool tidy = false;
    std::string conversion;
    Encoding encoding = Encoding::Utf8;
    std::vector<Text> before;  // the source side expected
    std::vector<Text> after;   // the typeset side expected
};

TEST(ChapterSample, FromTheTopToTheSecondChapter) {
    const std::vector<Text> road{u"第一章\u3000开端", u"他走进房间，看见桌上", u"放着一封信。", u"第二章 来信", u"信上写着。"};
    const std::vector<Text> download{u"　　雨夜", u"　　正文 第一回  雨夜投店",
                                     u"　　更新时间:2007-11-16 7:55:51 本章字数:4804",
                                     u"　　老陈站在店门口，看着街上的灯火。", u"　　第二回 旧书新信",
                                     u"　　天亮了，他把信放在柜台上。"};
    const SampleCase cases[] = {
        {"rules alone, GB18030", road, false, "", Encoding::Gb18030, {road.begin(), road.begin() + 3},
         {u"《第一章开端》", u"", kIndent + u"他走进房间，看见桌上放着一封信。"}},
        {"converted: the copy's side as written", road, false, "s2t", Encoding::Utf8,
         {road.begin(), road.begin() + 3}, {u"《第一章開端》", u"", kIndent + u"他走進房間，看見桌上放着一封信。"}},
        // A short line before the first chapter is a heading by its look only:
        // it ends nothing, and the site's stamp is gone from the copy's side.
        {"tidied: the front matter, the junk gone", download, true, "", Encoding::Utf8,
         {download.begin(), download.begin() + 4},
         {u"《雨夜》", u"", u"", u"", u"《第一回　雨夜投店》", u"", kIndent + u"老陈站在店门口，看着街上的灯火。"}},
    };
    for (const SampleCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string source = dir.write("a.txt", encoded(c.encoding, c.source));
        FileRunSettings settings;
        settings.sampleFirstChapter = true;
        settings.conversion = c.conversion;
        if (c.tidy) settings.hooks = std::make_shared<tidy::TidyMode>(tidy::TidyRules::builtIn());
        TypesetEngine engine;
        const FileRunResult result = typesetFile(engine, source, {}, settings);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.firstChapter.source, c.before);
        EXPECT_EQ(result.firstChapter.typeset, c.after);
        EXPECT_FALSE(result.firstChapter.sourceCut || result.firstChapter.typesetCut);
    }
}

TEST(ChapterSample, ABookWithoutChaptersGivesItsBeginningWithinTheBound) {
    std::vector<Text> lines(2000, u"他走进房间，看见桌上放着一封信。");
    TempDir dir;
    const std::string source = dir.write("a.txt", encoded(Encoding::Utf8, lines));
    FileRunSettings settings;
    settings.sampleFirstChapter = true;
    TypesetEngine engine;
    const FileRunResult result = typesetFile(engine, source, {}, settings);
    ASSERT_TRUE(result.ok);
    const ChapterSample& sample = result.firstChapter;
    EXPECT_TRUE(sample.sourceCut && sample.typesetCut);
    EXPECT_EQ(sample.source.size(), ChapterSampler::kMaxLines);
    EXPECT_EQ(sample.typeset.size(), ChapterSampler::kMaxLines);
    EXPECT_EQ(sample.typeset.front(), kIndent + lines.front());

    // Without asking, nothing is kept and the copy is the same.
    const std::string sampled = readFile(dir.path("kovra-a.txt"));
    const FileRunResult plain = typesetFile(engine, source, {});
    EXPECT_EQ(plain.firstChapter, ChapterSample{});
    EXPECT_TRUE(plain.findings.headingList.empty());
    EXPECT_EQ(readFile(dir.path("kovra-a.txt")), sampled);
}

}  // namespace
}  // namespace quenlet::test
