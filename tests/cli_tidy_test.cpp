// quenlet-cli and the tidy mode: its options, its report, its warnings, and
// rules files that cannot be used.
#include <gtest/gtest.h>

#include "cli_runner.h"
#include "temp_dir.h"
#include "tidy/tidy_rules.h"

namespace quenlet::test {
namespace {

const std::string kDownload =
    "[某书 / 某人 著 ]\n"
    "\xE2\x80\x83\t\n"                          // an em space and a tab: an empty line
    "正文 第一回 开端\n"
    "更新时间:2007-1-12 23:59:08 本章字数:10\n"
    "他说：“好，\n"
    "第二回\xC2\xA0\xC2\xA0相遇\n"              // after an open quotation, with no-break spaces
    "她来了，张曛??瘢乔??\n"
    "走了。\n";

TEST(CliTidy, TidiesADownloadedNovel) {
    TempDir dir;
    const std::string source = dir.write("书.txt", kDownload);
    const CliResult r = runCli({"--tidy", "--json", source});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(dir.path("kovra-书.txt")),
              "《第一回开端》\r\n\r\n　　他说：“好，\r\n\r\n\r\n《第二回相遇》\r\n\r\n　　她来了，张曛瘢乔走了。\r\n");
    EXPECT_NE(r.out.find("\"headings\": 2, \"empty_headings\": 0, \"junk_removed\": 4, \"lines_dropped\": 0, "
                         "\"characters_dropped\": 0}"),
              std::string::npos)
        << r.out;
}

TEST(CliTidy, WithoutTidyDroppedLinesAreReported) {
    TempDir dir;
    const std::string source = dir.write("a.txt", "好的。\n她来了，张曛??瘢乔??\n他说??\n");
    const CliResult r = runCli({"--json", source});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenlet-cli: warning: " + source +
                         ": 2 lines ending in a run of question marks dropped (16 characters); --tidy keeps their text\n");
    EXPECT_NE(r.out.find("\"lines_dropped\": 2, \"characters_dropped\": 16}"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("headings"), std::string::npos) << "the tidy mode's counts only with --tidy";
}

TEST(CliTidy, ListsHeadingsInOrderWithChaptersUnderVolumes) {
    TempDir dir;
    const std::string source = dir.write("a.txt", "第一卷 风起\n第一章 开端\n天亮了。\n第二章 相遇\n天黑了。\n");
    const CliResult r = runCli({"--tidy", "--list-headings", "--quiet", source});
    EXPECT_EQ(r.out, source + ": 3 headings\n  第一卷风起\n    第一章开端\n    第二章相遇\n");
}

TEST(CliTidy, WarnsAboutALongFileWithoutHeadings) {
    TempDir dir;
    std::string text;
    while (text.size() < 110 * 1024) text += "他走了很远的路，终于到了。\n";
    const std::string source = dir.write("a.txt", text);
    const CliResult r = runCli({"--tidy", "--quiet", source});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenlet-cli: warning: " + source + ": no heading found in 110 KB of text\n");
    EXPECT_EQ(runCli({"--quiet", source}).err, "") << "only the tidy mode looks for headings";
}

TEST(CliTidy, PrintsTheBuiltInRules) {
    const CliResult r = runCli({"--print-rules"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(tidy::TidyRules::builtInText()));
}

TEST(CliTidy, UserRulesAddToTheBuiltInOnesAndTurnTheModeOn) {
    TempDir dir;
    const std::string rules = dir.write("my.rules", "# mine\ndrop-line ^求月票\nheading ^Chapter \\d+\n");
    const std::string source = dir.write("a.txt", "Chapter 1 Home\n求月票！\n更新时间:2007-1-12\n天亮了。\n");
    const CliResult r = runCli({"--rules", rules, "--quiet", source});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir.path("kovra-a.txt")), "《Chapter1Home》\r\n\r\n　　天亮了。\r\n");
}

TEST(CliTidy, ABadRulesFileIsAUsageError) {
    TempDir dir;
    const std::string rules = dir.write("bad.rules", "cut 更新\nheading ^第(\n");
    const std::string source = dir.write("a.txt", "天亮了。\n");
    const CliResult r = runCli({"--tidy", "--rules", rules, source});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quenlet-cli: " + rules + ":2: bad pattern: missing closing parenthesis (at character 4)\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path("kovra-a.txt")));
    EXPECT_EQ(runCli({"--rules", dir.path("missing.rules"), source}).err,
              "quenlet-cli: " + dir.path("missing.rules") + ": cannot read the rules file\n");
}

}  // namespace
}  // namespace quenlet::test
