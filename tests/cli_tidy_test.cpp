// quenlet-cli and the tidy mode: its options, its report, its warnings, and
// rules files that cannot be used.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

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
              "《第一回　开端》\r\n\r\n　　他说：“好，\r\n\r\n\r\n《第二回　相遇》\r\n\r\n　　她来了，张曛瘢乔走了。\r\n");
    EXPECT_NE(r.out.find("\"headings\": 2, \"empty_headings\": 0, \"junk_removed\": 4, \"sequence_gaps\": [], "
                         "\"sequence_repeats\": [], \"sequence_backwards\": [], \"lines_dropped\": 0, "
                         "\"characters_dropped\": 0}"),
              std::string::npos)
        << r.out;
}

TEST(CliTidy, SaysWhatTheNumberingOfTheChaptersShowsAndListsTheJunk) {
    TempDir dir;
    std::string text;
    for (const int chapter : {1, 2, 3, 5, 6, 6, 8, 9, 10}) {
        text += "第" + std::to_string(chapter) + "章 风雨\n";
        for (int line = 0; line < 10; ++line) text += "他走过长街，看见灯火一盏接一盏地亮起来。\n";
        text += "w w w. xiaos huotxt .net 小说天堂\n";
    }
    const std::string source = dir.write("a.txt", text);
    const CliResult r = runCli({"--tidy", "--json", "--list-junk", source});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenlet-cli: note: " + source + ": chapters 4, 7 missing\nquenlet-cli: note: " + source +
                         ": chapter 6 given twice\n");
    EXPECT_NE(r.out.find("\"sequence_gaps\": [4, 7], \"sequence_repeats\": [6], \"sequence_backwards\": []"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(source + ": 9 pieces of junk removed\n  9\u00D7 www.xiaoshuotxt.net小说天堂\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(runCli({"--tidy", "--quiet", source}).err, "") << "notes are left out when quiet";
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
    EXPECT_EQ(r.out, source + ": 3 headings\n  第一卷　风起\n    第一章　开端\n    第二章　相遇\n");
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
    EXPECT_EQ(readFile(dir.path("kovra-a.txt")), "《Chapter1　Home》\r\n\r\n　　天亮了。\r\n");
}

TEST(CliTidy, ABadRulesFileIsAUsageError) {
    TempDir dir;
    const std::string rules = dir.write("bad.rules", "cut 更新\nheading ^第(\n");
    const std::string source = dir.write("a.txt", "天亮了。\n");
    const CliResult r = runCli({"--tidy", "--rules", rules, source});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quenlet-cli: " + rules + ":2: bad pattern: missing closing parenthesis (at character 4)\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path("kovra-a.txt")));
}

// Files that are no rules file, and rules files with hostile text: a usage
// error naming the file and the reason, the file's own text (and its name)
// escaped so that it cannot drive the terminal.
struct UnusableRules {
    const char* name;
    std::function<std::string(const TempDir&)> make;  // the path to give --rules
    std::string error;                                 // after "quenlet-cli: <path>"
};

const UnusableRules kUnusableRules[] = {
    {"Missing", [](const TempDir& dir) { return dir.path("missing.rules"); },
     ": cannot read the rules file: No such file or directory"},
    {"Folder", [](const TempDir& dir) { return dir.path(); }, ": this is a folder, not a rules file"},
    {"Device", [](const TempDir&) { return std::string("/dev/zero"); },
     ": this is a device or a socket, not a rules file"},
    {"OverLarge",
     [](const TempDir& dir) {
         const std::string path = dir.write("big.rules", "");
         std::filesystem::resize_file(path, tidy::TidyRules::kMaxFileBytes + 1);
         return path;
     },
     ": the rules file is larger than 16 MB"},
    {"Utf16", [](const TempDir& dir) { return dir.write("wide.rules", std::string("\xFF\xFE" "c\0u\0t\0 \0x\0\n\0", 14)); },
     ": the file is not UTF-8 (it looks like UTF-16); a rules file is UTF-8 text"},
    {"Utf16WithoutMark", [](const TempDir& dir) { return dir.write("wide.rules", std::string("c\0u\0t\0 \0x\0\n\0", 12)); },
     ": the file is not UTF-8 (it looks like UTF-16); a rules file is UTF-8 text"},
    {"UndefinedName", [](const TempDir& dir) { return dir.write("a.rules", "define N [一二]\nheading ^第{N}{M}章\n"); },
     ":2: {M} is not defined (define M PATTERN on an earlier line defines it; \\{ is a literal brace)"},
    {"ControlCharactersInTheText", [](const TempDir& dir) { return dir.write("a.rules", "\x1b]0;x\x07 cut a\n"); },
     ":1: unknown rule \"\\x1b]0;x\\x07\" (a line holds define, drop-line, cut, prefix, heading, section, volume or "
     "toc, then a pattern)"},
};

class UnusableRulesFiles : public testing::TestWithParam<UnusableRules> {};

TEST_P(UnusableRulesFiles, AreUsageErrorsNamingTheFileAndTheReason) {
    TempDir dir;
    const std::string rules = GetParam().make(dir);
    const std::string source = dir.write("a.txt", "天亮了。\n");
    const CliResult r = runCli({"--rules", rules, source});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quenlet-cli: " + rules + GetParam().error + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path("kovra-a.txt")));
}

INSTANTIATE_TEST_SUITE_P(Files, UnusableRulesFiles, testing::ValuesIn(kUnusableRules),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliTidy, ARulesFileNameIsEscapedInMessages) {
    TempDir dir;
    const std::string rules = dir.write("\x1b[2Jx.rules", "heading (\n");
    const std::string source = dir.write("a.txt", "天亮了。\n");
    EXPECT_EQ(runCli({"--rules", rules, source}).err,
              "quenlet-cli: " + dir.path() + "/\\x1b[2Jx.rules:1: bad pattern: missing closing parenthesis (at character 2)\n");
}

TEST(CliTidy, ARulesFileFromAPipeIsRead) {
    TempDir dir;
    const std::string source = dir.write("a.txt", "广告。\n天亮了。\n");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "drop-line 广告\n", 16), 16);
    ::close(fds[1]);
    const CliResult r = runCli({"--rules", "/dev/fd/" + std::to_string(fds[0]), "--quiet", source});
    ::close(fds[0]);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir.path("kovra-a.txt")), "　　天亮了。\r\n");
}

// A rule that gave up on its match budget, through to the command line's warning.
TEST(CliTidy, ARuleThatBacktracksWithoutEndIsReportedOnce) {
    TempDir dir;
    const std::string rules = dir.write("slow.rules", "drop-line ^(.+)+求月票$\n");
    std::string text = "天亮了。\n";
    for (int i = 0; i < 3; ++i) text += "他走进房间看见桌上放着一封信他走进房间看见桌上放着一封信求月票。\n";
    const std::string source = dir.write("a.txt", text);
    const CliResult r = runCli({"--rules", rules, "--quiet", source});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenlet-cli: warning: " + source + ": line 2: the rule at " + rules +
                         ":1 backtracks too much to finish; it was not applied there nor on 2 more lines (simplify "
                         "repeats inside repeats, such as (.+)+)\n");
}

}  // namespace
}  // namespace quenlet::test
