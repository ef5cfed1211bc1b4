#include <fcntl.h>
// quenlet-cli end to end: exact messages and statistics, exit statuses, and
// that a failure never leaves or changes an output.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>

#include "cli_app.h"
#include "temp_dir.h"
#include "child_process.h"
#include "cli_runner.h"

namespace quenlet::test {
namespace {

CliResult runCliUnprivileged(const std::vector<std::string>& args) {
    const ChildResult child = runUnprivileged([&args](std::string& report) {
        const CliResult r = runCli(args);
        report = r.err;
        return r.status;
    });
    return {child.status, "", child.report};
}

const std::string kSample = "第一章　开端\r\n他走进房间，看见桌上\r\n放着一封信。\r\n";
const std::string kSampleOut = "《第一章开端》\r\n\r\n　　他走进房间，看见桌上放着一封信。\r\n";
const std::string kSampleStats = "原文件共3个段落\n合并掉了1个段落\n新分成了0个段落\n最终成了2个段落\n";

TEST(Cli, TypesetsAFileAndPrintsStatisticsInWindowOrder) {
    TempDir dir;
    const std::string source = dir.write("书.txt", kSample);
    const CliResult r = runCli({source});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kSampleStats);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(dir.path("kovra-书.txt")), kSampleOut);
    EXPECT_EQ(readFile(source), kSample);
    EXPECT_EQ(runCli({source, "--quiet"}).out, "");
}

TEST(Cli, JsonStatistics) {
    TempDir dir;
    const std::string source = dir.write("a\"b.txt", kSample);
    const CliResult r = runCli({"--json", source});
    EXPECT_EQ(r.out, "{\"files\": 1, \"source_paragraphs\": 3, \"merged\": 1, \"split\": 0, \"final_paragraphs\": 2, "
                     "\"output\": \"" + dir.path() + "/kovra-a\\\"b.txt\", \"encoding\": \"utf-8\", \"lines_dropped\": 0, "
                     "\"characters_dropped\": 0}\n");
}

TEST(Cli, OptionTexts) {
    TempDir dir;
    const std::string source = dir.write("a.txt", "标题\n他说，好的。走吧。\n");
    const CliResult r = runCli({"--heading-open", "", "--heading-close", "]", "--indent", "> ", "--paragraph-end", "|",
                                "--find", "好的", "--replace", "行", "--no-split", source});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir.path("kovra-a.txt")), "标题]\r\n\r\n> 他说，行。走吧。|\r\n");
}

TEST(Cli, KeepsTheSourceEncodingAndByteOrderMark) {
    TempDir dir;
    const std::string gbk = "\xB5\xDA\xD2\xBB\xD5\xC2\r\n";  // 第一章
    dir.write("g.txt", gbk);
    dir.write("u.txt", "\xEF\xBB\xBF第一章\n");
    dir.write("w.txt", std::string("\xFF\xFE\x2C\x7B\x00\x4E\xE0\x7A", 8));
    const CliResult r = runCli({"--json", dir.path("g.txt"), dir.path("u.txt"), dir.path("w.txt")});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"encoding\": \"gb18030\""), std::string::npos);
    EXPECT_EQ(readFile(dir.path("kovra-g.txt")), "\xA1\xB6" + gbk.substr(0, 6) + "\xA1\xB7\r\n\r\n");
    EXPECT_EQ(readFile(dir.path("kovra-u.txt")), "\xEF\xBB\xBF《第一章》\r\n\r\n");
    EXPECT_EQ(readFile(dir.path("kovra-w.txt")),
              std::string("\xFF\xFE\x0A\x30\x2C\x7B\x00\x4E\xE0\x7A\x0B\x30\r\x00\n\x00\r\x00\n\x00", 20));
}

TEST(Cli, UndecodableBytesAreKeptAndReported) {
    TempDir dir;
    const std::string source = dir.write("x.txt", "好的，\x80走了。\n");
    const CliResult r = runCli({"--encoding", "utf-8", source});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenlet-cli: warning: " + source + ": 1 bytes are not valid utf-8; they were copied unchanged\n");
    EXPECT_EQ(readFile(dir.path("kovra-x.txt")), "　　好的，\x80走了。\r\n");
}

TEST(Cli, StandardInputToStandardOutput) {
    TempDir dir;
    const std::string in = dir.write("in", kSample);
    const int inFd = ::open(in.c_str(), O_RDONLY);
    const int outFd = ::open(dir.path("out").c_str(), O_WRONLY | O_CREAT, 0644);
    const CliResult r = runCli({"-"}, inFd, outFd);
    ::close(inFd);
    ::close(outFd);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, kSampleStats);
    EXPECT_EQ(readFile(dir.path("out")), kSampleOut);
}

TEST(Cli, UsageErrorsExitWithTwo) {
    EXPECT_EQ(runCli({}).status, 2);
    EXPECT_EQ(runCli({"--no-such-option", "a.txt"}).status, 2);
    EXPECT_EQ(runCli({"--encoding", "big5", "a.txt"}).status, 2);
    EXPECT_EQ(runCli({"--find", "\xFF", "a.txt"}).status, 2);
    const CliResult help = runCli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--no-merge", "--no-split", "--heading-open", "--heading-close", "--indent",
                               "--paragraph-end", "--find", "--replace", "--strip-prefix", "--keep-asterisks",
                               "--keep-dashes", "--keep-dots", "--keep-tildes", "--keep-quotes", "--encoding",
                               "--json", "--quiet"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

TEST(Cli, FailuresAreReportedAndTheOtherFilesStillDone) {
    TempDir dir;
    const std::string good = dir.write("good.txt", kSample);
    std::filesystem::create_directory(dir.path("folder.txt"));
    const CliResult r = runCli({dir.path("missing.txt"), dir.path("folder.txt"), good});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenlet-cli: " + dir.path("missing.txt") + ": cannot open: No such file or directory\n"
                     "quenlet-cli: " + dir.path("folder.txt") + ": is a directory\n");
    EXPECT_EQ(r.out, kSampleStats);
    EXPECT_FALSE(exists(dir.path("kovra-missing.txt")));
    EXPECT_FALSE(exists(dir.path("kovra-folder.txt")));
    EXPECT_EQ(readFile(dir.path("kovra-good.txt")), kSampleOut);
}

TEST(Cli, OutputPathThatIsADirectoryIsReportedAndLeftAlone) {
    TempDir dir;
    const std::string source = dir.write("a.txt", kSample);
    std::filesystem::create_directory(dir.path("kovra-a.txt"));
    const CliResult r = runCli({source});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenlet-cli: " + dir.path("kovra-a.txt") + ": cannot replace output: Is a directory\n");
    EXPECT_TRUE(std::filesystem::is_directory(dir.path("kovra-a.txt")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "no temporary file left";
}

TEST(Cli, UnreadableSourceAndReadOnlyFolderLeaveExistingOutputUnchanged) {
    TempDir dir;
    const std::string locked = dir.write("locked/a.txt", kSample);
    dir.write("locked/kovra-a.txt", "earlier output");
    ::chmod(dir.path("locked").c_str(), 0555);
    const std::string secret = dir.write("secret.txt", kSample);
    dir.write("kovra-secret.txt", "earlier output");
    ::chmod(secret.c_str(), 0);

    CliResult r = runCliUnprivileged({locked});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenlet-cli: " + dir.path("locked/kovra-a.txt") + ": cannot create output: Permission denied\n");
    EXPECT_EQ(readFile(dir.path("locked/kovra-a.txt")), "earlier output");

    r = runCliUnprivileged({secret});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenlet-cli: " + secret + ": cannot open: Permission denied\n");
    EXPECT_EQ(readFile(dir.path("kovra-secret.txt")), "earlier output");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3) << "no temporary file left";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path("locked")), {}), 2);
}

TEST(Cli, BatchPrintsFileCountAndTotalsWithProgressOnStandardError) {
    TempDir dir;
    dir.write("a.txt", kSample);
    dir.write("sub/b.txt", kSample);
    CliResult r = runCli({"--batch", dir.path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "共2个文件\n原文件共6个段落\n合并掉了2个段落\n新分成了0个段落\n最终成了4个段落\n");
    EXPECT_EQ(r.err, "处理第1文件 " + dir.path("a.txt") + "\n处理第2文件 " + dir.path("sub/b.txt") + "\n");
    EXPECT_EQ(readFile(dir.path("sub/kovra-b.txt")), kSampleOut);
    r = runCli({"--batch", dir.path(), "-q"});
    EXPECT_EQ(r.out + r.err, "");
}

TEST(Cli, BatchJsonListsFailuresAndExitsWithOne) {
    TempDir dir;
    dir.write("a.txt", kSample);
    dir.write("b.txt", kSample);
    std::filesystem::create_directory(dir.path("kovra-b.txt"));
    const CliResult r = runCli({"--batch", dir.path(), "--json", "--quiet"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quenlet-cli: " + dir.path("kovra-b.txt") + ": cannot replace output: Is a directory\n");
    const CliResult json = runCli({"--batch", dir.path(), "--json"});
    EXPECT_EQ(json.out, "{\"files\": 1, \"source_paragraphs\": 3, \"merged\": 1, \"split\": 0, \"final_paragraphs\": 2, "
                        "\"lines_dropped\": 0, \"characters_dropped\": 0, \"failed\": [{\"path\": \"" + dir.path("b.txt") + "\", \"error\": \"" + dir.path("kovra-b.txt") +
                        ": cannot replace output: Is a directory\"}]}\n");
    EXPECT_EQ(runCli({"--batch", dir.path("missing")}).status, 1);
}

}  // namespace
}  // namespace quenlet::test
