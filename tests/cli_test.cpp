#include <fcntl.h>
// quenlet-cli end to end: exact messages and statistics, exit statuses, and
// that a failure never leaves or changes an output.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cli/cli_app.h"
#include "temp_dir.h"
#include "child_process.h"
#include "cli_runner.h"
#include "text/encoding.h"
#include "novel_generator.h"
#include "run/file_run.h"

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
                     "\"output\": \"" + dir.path() + "/kovra-a\\\"b.txt\", \"encoding\": \"utf-8\", "
                     "\"input_encoding\": \"utf-8\", \"bom\": false, \"detected_by\": \"utf-8\", "
                     "\"output_encoding\": \"utf-8\", \"output_bom\": false, \"lines_dropped\": 0, "
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
    EXPECT_EQ(r.err, "quenlet-cli: warning: " + source + ": 1 byte is not valid utf-8; it was copied unchanged\n");
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
    EXPECT_EQ(runCli({"--encoding", "latin-1", "a.txt"}).status, 2);
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
    const CliResult r = runCli({dir.path("missing.txt"), dir.path("none/a.txt"), dir.path("folder.txt"), good});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenlet-cli: " + dir.path("missing.txt") + ": cannot open: No such file or directory\n"
                     "quenlet-cli: " + dir.path("none/a.txt") + ": cannot open: No such file or directory\n"
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
    EXPECT_EQ(r.err, "quenlet-cli: " + dir.path("kovra-b.txt") + ": cannot replace output: Is a directory\n");
    const CliResult json = runCli({"--batch", dir.path(), "--json"});
    EXPECT_EQ(json.out, r.out) << "--quiet silences no JSON";
    // The totals, after a line for each file, are as they always were.
    EXPECT_EQ(json.out.substr(json.out.rfind('\n', json.out.size() - 2) + 1), "{\"files\": 1, \"source_paragraphs\": 3, \"merged\": 1, \"split\": 0, \"final_paragraphs\": 2, "
                        "\"lines_dropped\": 0, \"characters_dropped\": 0, \"failed\": [{\"path\": \"" + dir.path("b.txt") + "\", \"error\": \"" + dir.path("kovra-b.txt") +
                        ": cannot replace output: Is a directory\"}]}\n");
    EXPECT_EQ(runCli({"--batch", dir.path("missing")}).status, 1);
}


// --- Encodings: Big5, the output's encoding and line ends, conversion. ---

std::string encoded(Encoding encoding, TextView text) {
    std::string out;
    encodeText(encoding, text, out);
    return out;
}

Text decoded(Encoding encoding, const std::string& bytes) {
    Text out;
    makeDecoder(encoding)->decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), true, out);
    return out;
}

const Text kBig5Sample = u"第一回　開端\r\n他走進房間，看見桌上\r\n放著一封信，信上寫著幾行小字。\r\n";

TEST(Cli, Big5IsDetectedAndTypesetIntoBig5WithANote) {
    TempDir dir;
    const std::string source = dir.write("b.txt", encoded(Encoding::Big5, kBig5Sample));
    const CliResult r = runCli({"--json", source});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"encoding\": \"big5\", \"input_encoding\": \"big5\", \"bom\": false, "
                         "\"detected_by\": \"big5 score\", \"output_encoding\": \"big5\", \"output_bom\": false,"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.err, "quenlet-cli: note: " + source + ": read as big5 (big5 score); --encoding chooses another\n");
    // The markers and the indent in Big5: 《 A1 6D, 》 A1 6E, U+3000 A1 40.
    EXPECT_EQ(readFile(dir.path("kovra-b.txt")),
              "\xA1\x6D" + encoded(Encoding::Big5, u"第一回開端") + "\xA1\x6E\r\n\r\n\xA1\x40\xA1\x40" +
                  encoded(Encoding::Big5, u"他走進房間，看見桌上放著一封信，信上寫著幾行小字。") + "\r\n");
    EXPECT_EQ(runCli({"-q", source}).err, "");
}

TEST(Cli, OnlyGuessedEncodingsGetANote) {
    TempDir dir;
    const std::string gbk = dir.write("g.txt", encoded(Encoding::Gb18030, u"第一章　开端\r\n他走进房间，看见桌上放着一封信。\r\n"));
    const std::string marked = dir.write("m.txt", "\xEF\xBB\xBF" "\xE5\xA5\xBD");
    EXPECT_EQ(runCli({gbk}).err, "quenlet-cli: note: " + gbk + ": read as gb18030 (gb18030 score); --encoding chooses another\n");
    EXPECT_EQ(runCli({marked, dir.write("u.txt", kSample)}).err, "");
    EXPECT_EQ(runCli({"--encoding", "gb18030", gbk}).err, "");
    EXPECT_EQ(runCli({"--batch", dir.path(), "-q"}).err, "");
}

// UTF-8 with LF line ends is the default result, decoded and re-encoded.
TEST(Cli, OutputEncodingAndLineEndsChangeNothingElse) {
    TempDir dir;
    const std::string novel = bench::generateNovel(64 * 1024, Encoding::Gb18030, 5);
    const std::string source = dir.write("n.txt", novel);
    ASSERT_EQ(runCli({"-q", source}).status, 0);
    Text expected = decoded(Encoding::Gb18030, readFile(dir.path("kovra-n.txt")));
    for (std::size_t at; (at = expected.find(u"\r\n")) != Text::npos;) expected.erase(at, 1);
    const CliResult r = runCli({"-q", "--output-encoding", "utf-8", "--line-ends", "lf", source});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir.path("kovra-n.txt")), toUtf8(expected));
    ASSERT_EQ(runCli({"-q", "--output-encoding", "utf-16be", source}).status, 0);
    EXPECT_EQ(readFile(dir.path("kovra-n.txt")).substr(0, 4), "\xFE\xFF\x30\x0A");  // a mark, then 《
    ASSERT_EQ(runCli({"-q", "--output-encoding", "utf-8-bom", source}).status, 0);
    EXPECT_EQ(readFile(dir.path("kovra-n.txt")).substr(0, 6), "\xEF\xBB\xBF《");
}

TEST(Cli, ConvertTurnsTraditionalIntoSimplified) {
    TempDir dir;
    const std::string source = dir.write("t.txt", "紅樓夢\n他說，好的。\n");
    const CliResult r = runCli({"--convert", "t2s", "--heading-open", "【說", source});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir.path("kovra-t.txt")), "【说红楼梦》\r\n\r\n　　他说，好的。\r\n");
    // A Big5 novel into simplified UTF-8 with LF line ends.
    const std::string big5 = dir.write("b.txt", encoded(Encoding::Big5, kBig5Sample));
    ASSERT_EQ(runCli({"-q", "--convert", "t2s", "--output-encoding", "utf-8", "--line-ends", "lf", big5}).status, 0);
    EXPECT_EQ(readFile(dir.path("kovra-b.txt")), "《第一回开端》\n\n　　他走进房间，看见桌上放著一封信，信上写著几行小字。\n");  // 著 is simplified too
}

TEST(Cli, UnknownConversionIsAUsageErrorListingTheValidOnes) {
    const CliResult r = runCli({"--convert", "t2x", "a.txt"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown conversion \"t2x\"; the conversions are s2t, t2s, s2tw, tw2s, s2twp, tw2sp, s2hk, "
                         "hk2s, t2tw, t2hk"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(runCli({"--output-encoding", "latin-1", "a.txt"}).status, 2);
    EXPECT_EQ(runCli({"--line-ends", "cr", "a.txt"}).status, 2);
}

TEST(Cli, ACharacterTheOutputCannotHoldFailsTheFileUnlessReplaced) {
    TempDir dir;
    const std::string source = dir.write("s.txt", "第一章\n他说，好的。\n");
    dir.write("kovra-s.txt", "earlier output");
    CliResult r = runCli({"--output-encoding", "big5", source});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenlet-cli: " + dir.path("kovra-s.txt") +
                         ": line 3: 说 (U+8BF4) cannot be written in big5; nothing was written\n");
    EXPECT_EQ(readFile(dir.path("kovra-s.txt")), "earlier output");

    r = runCli({"--output-encoding", "big5", "--replace-unencodable", "-q", source});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenlet-cli: warning: " + source + ": 1 character cannot be written in big5; it became ?\n");
    EXPECT_EQ(readFile(dir.path("kovra-s.txt")), "\xA1\x6D\xB2\xC4\xA4\x40\xB3\xB9\xA1\x6E\r\n\r\n\xA1\x40\xA1\x40\xA5\x4C?"
                                                  "\xA1\x41\xA6\x6E\xAA\xBA\xA1\x43\r\n");

    // Standard output gets nothing either.
    const std::string in = dir.write("in", "他说\n");
    const int inFd = ::open(in.c_str(), O_RDONLY);
    const int outFd = ::open(dir.path("out").c_str(), O_WRONLY | O_CREAT, 0644);
    r = runCli({"--output-encoding", "big5", "-"}, inFd, outFd);
    ::close(inFd);
    ::close(outFd);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenlet-cli: standard output: line 1: 说 (U+8BF4) cannot be written in big5; nothing was written\n");
    EXPECT_EQ(readFile(dir.path("out")), "");
}

TEST(Cli, UndecodableBytesBecomeReplacementsInAnotherEncoding) {
    TempDir dir;
    const std::string source = dir.write("x.txt", "\xBA\xC3\xB5\xC4\xA3\xAC\x80\xD7\xDF\xC1\xCB\xA1\xA3\n");  // 好的，?走了。
    CliResult r = runCli({"-q", "--encoding", "gb18030", "--output-encoding", "utf-8", source});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenlet-cli: warning: " + source + ": 1 byte is not valid gb18030; it became U+FFFD in utf-8\n");
    EXPECT_EQ(readFile(dir.path("kovra-x.txt")), "　　好的，\xEF\xBF\xBD走了。\r\n");
    r = runCli({"-q", "--encoding", "gb18030", "--output-encoding", "big5", source});
    EXPECT_EQ(r.err, "quenlet-cli: warning: " + source + ": 1 byte is not valid gb18030; it became ? in big5\n");
    EXPECT_EQ(readFile(dir.path("kovra-x.txt")), "\xA1\x40\xA1\x40\xA6\x6E\xAA\xBA\xA1\x41?\xA8\xAB\xA4\x46\xA1\x43\r\n");
}

// The new options hand nothing from one file to the next: any number of jobs
// gives the same outputs.
TEST(Cli, BatchWithConversionIsTheSameForAnyNumberOfJobs) {
    TempDir one, three;
    for (int i = 0; i < 6; ++i) {
        const auto encoding = i % 2 ? Encoding::Big5 : Encoding::Gb18030;
        const std::string novel = bench::generateNovel(12 * 1024, encoding, 100 + i);
        one.write("f" + std::to_string(i) + ".txt", novel);
        three.write("f" + std::to_string(i) + ".txt", novel);
    }
    const std::vector<std::string> options = {"-q", "--convert", "s2tw", "--output-encoding", "utf-8", "--line-ends", "lf"};
    auto run = [&options](const TempDir& dir, const char* jobs) {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"--batch", dir.path(), "--jobs", jobs});
        return runCli(args);
    };
    ASSERT_EQ(run(one, "1").status, 0);
    ASSERT_EQ(run(three, "3").status, 0);
    for (int i = 0; i < 6; ++i) {
        const std::string name = "kovra-f" + std::to_string(i) + ".txt";
        EXPECT_EQ(readFile(one.path(name)), readFile(three.path(name))) << name;
        EXPECT_EQ(readFile(one.path(name)).find('\r'), std::string::npos) << name;
    }
}


TEST(Cli, StatisticsThatCannotBeWrittenFailTheRun) {
    TempDir dir;
    const std::string source = dir.write("a.txt", kSample);
    for (const std::vector<std::string>& args : {std::vector<std::string>{source},
                                                 {"--json", source},
                                                 {"--batch", dir.path()},
                                                 {"--batch", dir.path(), "--json", "--jobs", "2"}}) {
        std::ofstream full("/dev/full");
        std::ostringstream err;
        std::vector<const char*> argv = {"quenlet-cli"};
        for (const std::string& a : args) argv.push_back(a.c_str());
        const int status = cli::run(static_cast<int>(argv.size()), argv.data(), {full, err});
        EXPECT_EQ(status, 1) << args.front();
        const std::string message = "quenlet-cli: standard output: cannot write: No space left on device\n";
        EXPECT_TRUE(err.str().ends_with(message)) << err.str();
        EXPECT_EQ(readFile(dir.path("kovra-a.txt")), kSampleOut) << "the copy itself is made";
    }
}

TEST(Cli, UsageErrorsNameWhatIsWrong) {
    TempDir dir;
    const std::string source = dir.write("a.txt", kSample);
    CliResult r = runCli({"--jobs", "2", source});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--batch"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(dir.path("kovra-a.txt")));
    for (const char* option : {"--heading-open", "--indent", "--find", "--replace", "--strip-prefix", "--title", "--author"}) {
        r = runCli({option, "ok\xC3(", source});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, std::string("quenlet-cli: ") + option + ": the text is not valid UTF-8\n");
    }
}

TEST(Cli, NamesOnStandardErrorCannotForgeLinesOrDriveTheTerminal) {
    TempDir dir;
    const std::string forged = "a\n处理第9文件 \x1b[2Jb.txt";
    dir.write(forged, kSample);
    std::filesystem::create_directory(dir.path("kovra-" + forged));  // so that it fails too
    const std::string shown = "a\\n处理第9文件 \\x1b[2Jb.txt";
    CliResult r = runCli({"--batch", dir.path(), "-q"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenlet-cli: " + dir.path("kovra-" + shown) + ": cannot replace output: Is a directory\n");
    std::filesystem::remove(dir.path("kovra-" + forged));
    r = runCli({"--batch", dir.path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "处理第1文件 " + dir.path(shown) + "\n");
    r = runCli({dir.path(forged + "\xff")});
    EXPECT_EQ(r.err, "quenlet-cli: " + dir.path(shown) + "\\xff: cannot open: No such file or directory\n");
}

// The warning on undecodable bytes counts those that reach the text copy and
// says truly where the others went.
TEST(Cli, WarningsCountTheUndecodableBytesThatAreWritten) {
    TempDir dir;
    // Five bytes that are not UTF-8: the line holding two of them ends in ??
    // and is dropped (but kept by the tidy mode), one is in a line of site
    // junk, one in a fragment a cut rule takes.
    const std::string source = dir.write("x.txt", "好\x80的。\n坏\x81\x82??\n本站\x83欢迎你\n他说【广告\x84】好了。\n");
    const std::string rules = dir.write("ads.rules", "cut 【广告[^】]*】\n");
    const std::string warning = "quenlet-cli: warning: " + source + ": ";
    struct Row {
        const char* name;
        std::vector<std::string> options;
        std::string says;
    };
    const Row rows[] = {
        {"lines dropped", {},
         "5 bytes are not valid utf-8; 3 of them were copied unchanged, the others went with the lines that were "
         "dropped\n" + warning + "1 line ending in a run of question marks dropped (5 characters); --tidy keeps their text\n"},
        {"junk removed", {"--rules", rules},
         "5 bytes are not valid utf-8; 3 of them were copied unchanged, the others went with the junk that was removed\n"},
        {"into another encoding", {"--rules", rules, "--output-encoding", "utf-16le"},
         "5 bytes are not valid utf-8; 3 of them became U+FFFD in utf-16le, the others went with the junk that was "
         "removed\n"},
        // A book alone has a warning of its own for what it shows as U+FFFD.
        {"no text copy", {"--rules", rules, "--epub"},
         "5 bytes are not valid utf-8\nquenlet-cli: warning: " + dir.path("kovra-x.epub") +
             ": 3 characters cannot go into an EPUB (undecodable bytes, control characters); they are shown as U+FFFD\n"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = {"--encoding", "utf-8", "--no-merge", "-q", source};
        args.insert(args.begin(), row.options.begin(), row.options.end());
        const CliResult r = runCli(args);
        EXPECT_EQ(r.status, 0) << row.name;
        EXPECT_EQ(r.err, warning + row.says) << row.name;
    }
    // The odd byte of a UTF-16 file is written last, and counted.
    const std::string odd = dir.write("w.txt", std::string("\xFF\xFE" "a\x00" "b", 5));
    const CliResult r = runCli({"-q", odd});
    EXPECT_EQ(r.err, "quenlet-cli: warning: " + odd + ": 1 byte is not valid utf-16le; it was copied unchanged\n");
}

// Looks, while the run is going, for a descriptor open on a file in `folder`.
class SpoolSpy : public RunObserver {
public:
    explicit SpoolSpy(std::string folder) : folder_(std::move(folder)) {}
    void mergingStarted() override {
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
            if (!error && target.starts_with(folder_ + "/")) found = true;
        }
    }
    bool found = false;

private:
    std::string folder_;
};

// A UTF-8 novel with a stray byte stays UTF-8: the byte is kept and
// reported, and the indents and markers around it are UTF-8 too.
TEST(Cli, Utf8WithAStrayByteIsReadAsUtf8) {
    TempDir dir;
    std::string text = novelText(4 * 1024);
    text.insert(text.find("走得") + 3, "\xB0");
    const std::string source = dir.write("a.txt", text);
    const CliResult r = runCli({source});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenlet-cli: note: " + source + ": read as utf-8 (utf-8 but for a few bytes); --encoding "
                     "chooses another\nquenlet-cli: warning: " + source + ": 1 byte is not valid utf-8; it was "
                     "copied unchanged\n");
    EXPECT_NE(readFile(dir.path("kovra-a.txt")).find("\xE8\xB5\xB0\xB0\xE5\xBE\x97"), std::string::npos);  // 走\xB0得
}

// A long file that reads as Chinese in no supported encoding fails, naming
// what it most likely is, unless --encoding forces one.
TEST(Cli, AFileInNoSupportedEncodingIsRefusedUnlessForced) {
    TempDir dir;
    std::string utf32 = "\xFF\xFE" + std::string(2, '\0');
    for (const char16_t c : fromUtf8(novelText(1024))) utf32 += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8), '\0', '\0'};
    const std::string source = dir.write("a.txt", utf32);
    CliResult r = runCli({source});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenlet-cli: " + source + ": starts with the byte order mark of UTF-32LE, which is not supported "
                     "(UTF-8, UTF-16, GB18030 and Big5 are); --encoding reads it as one of them all the same\n");
    EXPECT_FALSE(exists(dir.path("kovra-a.txt")));
    r = runCli({"--encoding", "utf-16le", "-q", source});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(exists(dir.path("kovra-a.txt")));
}

TEST(Cli, StandardInputIsSpooledUnderTmpdir) {
    TempDir dir;
    std::filesystem::create_directory(dir.path("spool"));
    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved ? saved : "";
    ::setenv("TMPDIR", dir.path("spool").c_str(), 1);
    int pipes[2];
    ASSERT_EQ(::pipe(pipes), 0);
    ASSERT_EQ(::write(pipes[1], kSample.data(), kSample.size()), static_cast<ssize_t>(kSample.size()));
    ::close(pipes[1]);
    const int out = ::open(dir.path("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    TypesetEngine engine;
    SpoolSpy spy(dir.path("spool"));
    const FileRunResult r = typesetStream(engine, pipes[0], out, {}, {}, &spy);
    ::close(pipes[0]);
    ::close(out);
    if (saved) ::setenv("TMPDIR", savedValue.c_str(), 1);
    else ::unsetenv("TMPDIR");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(spy.found);
    EXPECT_EQ(readFile(dir.path("out")), kSampleOut);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path("spool"))) << "the spool has no name";
}

}  // namespace
}  // namespace quenlet::test
