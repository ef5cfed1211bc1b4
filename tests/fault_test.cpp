// Bad input and failing file systems: every failure names the file and the
// reason, the command line exits with 1, and nothing is lost -- the source is
// unchanged, no partial or temporary file is left, an earlier output stays.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <system_error>

#include "batch/batch_run.h"
#include "child_process.h"
#include "cli_runner.h"
#include "text/encoding.h"
#include "run/file_run.h"
#include "batch/parallel_batch.h"
#include "temp_dir.h"
#include "tidy/tidy_mode.h"

namespace quenlet::test {
namespace {

std::size_t entries(const std::string& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(Faults, FullDiskWhileWritingLeavesTheEarlierOutput) {
    for (const char* jobs : {"", "1", "2"}) {
        TempDir dir;
        const std::string source = dir.write("a.txt", novelText(300 * 1024));
        dir.write("kovra-a.txt", "earlier output");
        std::vector<std::string> args = {"-q", source};
        if (*jobs) args = {"-q", "--batch", dir.path(), "--jobs", jobs};
        const ChildResult child = runInChild(
            [&args](std::string& report) {
                const CliResult r = runCli(args);
                report = r.err;
                return r.status;
            },
            {.maxFileBytes = 64 * 1024});
        EXPECT_EQ(child.status, 1);
        EXPECT_EQ(child.report, "quenlet-cli: " + dir.path("kovra-a.txt") + ": cannot write: File too large\n");
        EXPECT_EQ(readFile(dir.path("kovra-a.txt")), "earlier output");
        EXPECT_EQ(readFile(source), novelText(300 * 1024));
        EXPECT_EQ(entries(dir.path()), 2U) << "no temporary file left";
    }
}

TEST(Faults, SourcesThatAreNotRegularFiles) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.path("pipe.txt").c_str(), 0644), 0);
    const CliResult r = runCli({dir.path("pipe.txt"), "/dev/null"});  // must not block on the FIFO
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenlet-cli: " + dir.path("pipe.txt") + ": not a regular file\n"
                     "quenlet-cli: /dev/null: not a regular file\n");
    EXPECT_EQ(entries(dir.path()), 1U);
}

TEST(Faults, FileThatVanishesDuringABatchIsReported) {
    TempDir dir;
    dir.write("a.txt", novelText(100));
    dir.write("b.txt", novelText(100));
    dir.write("c.txt", novelText(100));
    TypesetEngine engine;
    BatchRun::Hooks hooks;
    hooks.processEvents = [&dir] { std::filesystem::remove(dir.path("b.txt")); };
    const BatchResult r = BatchRun(engine, hooks).run(dir.path());
    EXPECT_EQ(r.files, 2);
    ASSERT_EQ(r.failures.size(), 1U);
    EXPECT_EQ(r.failures[0].error, dir.path("b.txt") + ": cannot open: No such file or directory");
}

// Truncates the source while its first paragraphs are being typeset.
class Shrinker : public RunObserver {
public:
    explicit Shrinker(std::string path) : path_(std::move(path)) {}
    void replacingParagraph(Count) override {
        if (!done_) ::truncate(path_.c_str(), 10);
        done_ = true;
    }

private:
    std::string path_;
    bool done_ = false;
};

TEST(Faults, FileThatShrinksWhileBeingReadGivesNoOutput) {
    for (Threading threading : {Threading::Inline, Threading::Pipelined}) {
        TempDir dir;
        const std::string source = dir.write("a.txt", novelText(4 * 1024 * 1024));
        dir.write("kovra-a.txt", "earlier output");
        TypesetEngine engine;
        Shrinker shrinker(source);
        FileRunSettings settings;
        settings.threading = threading;
        const FileRunResult r = typesetFile(engine, source, {}, settings, &shrinker);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, source + ": the file changed while it was being read");
        EXPECT_EQ(readFile(dir.path("kovra-a.txt")), "earlier output");
        EXPECT_EQ(entries(dir.path()), 2U);
        EXPECT_EQ(engine.statistics(), Statistics{}) << "a failed file counts nothing";
    }
}

// A look at the whole source that runs out of memory part of the way
// through, as a huge book might: with helper threads reading ahead or not,
// the file fails as out of memory and leaves nothing behind.
class FailingLook final : public RunHooks, private SourceLook {
public:
    SourceLook* firstLook() override { return this; }

private:
    void line(TextView) override {
        if (++lines_ == 5000) throw std::bad_alloc();
    }
    void ended() override {}
    int lines_ = 0;
};

struct FailingLookMaker final : RunHooksMaker {
    std::unique_ptr<RunHooks> hooksForFile() const override { return std::make_unique<FailingLook>(); }
};

TEST(Faults, ALookAtTheWholeSourceThatFailsFailsTheFile) {
    for (Threading threading : {Threading::Inline, Threading::Pipelined}) {
        TempDir dir;
        const std::string source = dir.write("a.txt", novelText(2 * 1024 * 1024));
        FileRunSettings settings;
        settings.threading = threading;
        settings.hooks = std::make_shared<FailingLookMaker>();
        TypesetEngine engine;
        const FileRunResult r = typesetFile(engine, source, {}, settings);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, source + ": out of memory");
        EXPECT_EQ(entries(dir.path()), 1U);
    }
}

// Appends to the source as its paragraphs are typeset, as a download still
// going on would: without an end, unless reading stops at the size the file
// had when it was opened (here a cap ends it all the same).
class Grower : public RunObserver {
public:
    Grower(std::string path, int cap) : path_(std::move(path)), cap_(cap) {}
    void replacingParagraph(Count) override {
        if (appended >= cap_) return;
        std::ofstream(path_, std::ios::binary | std::ios::app) << novelText(1);
        ++appended;
    }
    int appended = 0;

private:
    std::string path_;
    int cap_;
};

TEST(Faults, FileThatGrowsWhileBeingReadIsReadToItsSizeAndReportedAsChanged) {
    for (const bool tidy : {false, true})
        for (Threading threading : {Threading::Inline, Threading::Pipelined}) {
            TempDir dir;
            // Larger than the reader reads ahead, so that it grows while being read.
            const std::string source = dir.write("a.txt", novelText(4 * 1024 * 1024));
            dir.write("kovra-a.txt", "earlier output");
            const int paragraphs = 3 * (4 * 1024 * 1024 / static_cast<int>(novelText(1).size()) + 1);
            Grower grower(source, 2 * paragraphs + 1);
            FileRunSettings settings;
            settings.threading = threading;
            if (tidy) settings.hooks = std::make_shared<tidy::TidyMode>(tidy::TidyRules::builtIn());
            TypesetEngine engine;
            const FileRunResult r = typesetFile(engine, source, {}, settings, &grower);
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.error, source + ": the file changed while it was being read");
            EXPECT_LE(grower.appended, paragraphs) << "nothing appended is typeset";
            EXPECT_EQ(readFile(dir.path("kovra-a.txt")), "earlier output");
            EXPECT_EQ(entries(dir.path()), 2U);
        }
}

// Standard streams closed when the program starts are never taken for one of
// its files: reading from a closed standard input and writing to a closed
// standard output fail as such, and nothing else does.
TEST(Faults, ClosedStandardStreams) {
    TempDir dir;
    const std::string source = dir.write("a.txt", novelText(3000));
    dir.write("tree/b.txt", novelText(2000));
    dir.write("tree/c/d.txt", novelText(1000));
    ASSERT_EQ(runCli({"-q", source}).status, 0);
    ASSERT_EQ(runCli({"-q", "--batch", dir.path("tree")}).status, 0);
    const std::string outputs[] = {dir.path("kovra-a.txt"), dir.path("tree/kovra-b.txt"), dir.path("tree/c/kovra-d.txt")};
    std::map<std::string, std::string> expected;
    for (const std::string& output : outputs) expected[output] = readFile(output);
    const std::string noInput = "quenlet-cli: standard input: cannot read: Bad file descriptor\n";
    const std::string noOutput = "quenlet-cli: standard output: cannot write: Bad file descriptor\n";
    struct Row {
        std::vector<std::string> args;
        std::vector<int> closed;
        int status;
        std::string err;
    };
    const Row rows[] = {
        {{"-"}, {0}, 1, noInput},
        {{"-q", "-", source}, {0, 1}, 1, noInput},
        {{source}, {1}, 1, noOutput},
        {{"--batch", dir.path("tree"), "--jobs", "2", "-q", "--list-headings"}, {1}, 1, noOutput},
        {{"-q", source, "--batch"}, {2}, 2, ""},
        {{"-q", "--batch", dir.path("tree"), "--jobs", "2"}, {0, 1, 2}, 0, ""},
    };
    for (const Row& row : rows) {
        for (const std::string& output : outputs) std::filesystem::remove(output);
        std::vector<std::string> args = {QUENLET_CLI};
        args.insert(args.end(), row.args.begin(), row.args.end());
        Program cli(args, {}, {}, row.closed);
        const Program::Result r = cli.wait();
        EXPECT_EQ(r.status, row.status) << row.args[0] << ": " << r.err;
        EXPECT_EQ(r.err, row.err) << row.args[0];
        for (const std::string& output : outputs)
            if (exists(output)) {
                EXPECT_EQ(readFile(output), expected[output]) << row.args[0] << ": " << output;
            }
    }
}

// Under a limit on file sizes (ulimit -f) an output that outgrows it fails
// as a full disk does, leaving no temporary file and the earlier output.
TEST(Faults, OutputsBeyondTheLimitOnFileSizesFailAndAreCleanedUp) {
    TempDir dir;
    const std::string source = dir.write("a.txt", novelText(300 * 1024));
    dir.write("kovra-a.txt", "earlier output");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-q", source}, {"-q", "--format", "txt,epub", source},
          {"-q", "--batch", dir.path(), "--jobs", "2", "--epub"}}) {
        std::vector<std::string> command = {QUENLET_CLI};
        command.insert(command.end(), args.begin(), args.end());
        Program cli(command, {.maxFileBytes = 64 * 1024});
        const Program::Result r = cli.wait();
        EXPECT_EQ(r.signal, 0) << args[1];
        EXPECT_EQ(r.status, 1) << args[1];
        EXPECT_NE(r.err.find(": cannot write: File too large\n"), std::string::npos) << args[1] << ": " << r.err;
        EXPECT_EQ(readFile(dir.path("kovra-a.txt")), "earlier output");
        EXPECT_EQ(entries(dir.path()), 2U) << args[1] << ": no temporary file left";
    }
}

TEST(Faults, NamesThatAreNotUtf8KeepTheirBytes) {
    TempDir dir;
    const std::string name = "a\xff\xfe.txt";
    dir.write(name, novelText(100));
    CliResult r = runCli({"--json", dir.path(name)});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(exists(dir.path("kovra-" + name)));
    EXPECT_NE(r.out.find("kovra-a\\udcff\\udcfe.txt"), std::string::npos) << r.out;
    std::filesystem::remove(dir.path("kovra-" + name));
    r = runCli({"--batch", dir.path(), "-q"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(exists(dir.path("kovra-" + name)));
}

std::string encoded(Encoding encoding, TextView text) {
    std::string bytes;
    encodeText(encoding, text, bytes);
    return bytes;
}

// A GB18030 novel with a byte that is not UTF-8, so that detection picks
// GB18030 without building its code tables.
std::string encodedGb18030Novel() {
    std::string bytes = "\xB5\xDA\xD2\xBB\xD5\xC2\r\n";  // 第一章
    for (int i = 0; i < 100; ++i) bytes += "\xCB\xFB\xCB\xB5\xA3\xAC\xBA\xC3\xA1\xA3\r\n";  // 他说，好。
    return bytes;
}

TEST(Faults, OddInputsAreTypesetWithoutLoss) {
    struct Case {
        std::string name;
        std::string input;
        std::string output;
        std::string firstStatistic;
    };
    const Case cases[] = {
        {"only CRs", std::string(5000, '\r'), "", "原文件共0个段落"},
        {"only ??", "??\r\n？？\r\n?？\n", "", "原文件共3个段落"},
        // The odd byte cannot belong to any line: it comes last, after the
        // final line end, so that every line before it stays aligned.
        {"utf-16 odd length", std::string("\xFF\xFE" "a\x00" "b", 5),
         "\xFF\xFE" + encoded(Encoding::Utf16LE, u"《a》\r\n\r\n") + "b", "原文件共1个段落"},
        {"utf-16be odd length after a line end", std::string("\xFE\xFF" "\x00" "a" "\x00\r\x00\n" "\x00" "b" "\x00\n" "c", 13),
         "\xFE\xFF" + encoded(Encoding::Utf16BE, u"《a》\r\n\r\n\r\n\r\n《b》\r\n\r\n") + "c", "原文件共2个段落"},
        {"gb18030 cut short", encoded(Encoding::Gb18030, u"他说") + "\xBA",
         encoded(Encoding::Gb18030, u"《他说") + "\xBA" + encoded(Encoding::Gb18030, u"》\r\n\r\n"), "原文件共1个段落"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string source = dir.write("x.txt", c.input);
        const CliResult r = runCli({source});
        EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
        EXPECT_EQ(readFile(dir.path("kovra-x.txt")), c.output) << c.name;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), c.firstStatistic) << c.name;
        EXPECT_EQ(readFile(source), c.input) << c.name;
    }
}

TEST(Faults, HundredMegabytesWithoutALineBreak) {
    TempDir dir;
    std::string text;
    const std::string piece = "他说：“你好。”然后走了，走得很远「真的」！";
    while (text.size() < 100 * 1024 * 1024) text += piece;
    text += "。";
    const std::string source = dir.write("long.txt", text);
    text.clear();
    TypesetEngine engine;
    const FileRunResult r = typesetFile(engine, source, {});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(engine.statistics().SourceParagraphCount, 1);
    // Each piece is cut twice, after the quotation and at "！"; the cuts stop
    // at the first sentence-end cut beyond slot 1000.
    EXPECT_EQ(engine.statistics().SplitCount, 1002);
    EXPECT_GT(std::filesystem::file_size(dir.path("kovra-long.txt")), 100U * 1024 * 1024);
}

TEST(Faults, TwoProcessesWritingTheSameOutputLeaveOneCompleteOutput) {
    TempDir dir;
    const std::string source = dir.write("a.txt", novelText(8 * 1024 * 1024));
    ASSERT_EQ(runCli({source, "-q"}).status, 0);
    const std::string expected = readFile(dir.path("kovra-a.txt"));
    std::filesystem::remove(dir.path("kovra-a.txt"));
    pid_t children[2];
    for (pid_t& child : children) {
        child = ::fork();
        if (child == 0) {
            ::execl(QUENLET_CLI, QUENLET_CLI, "-q", source.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(readFile(dir.path("kovra-a.txt")), expected);
    EXPECT_EQ(entries(dir.path()), 2U);
}

TEST(Faults, WithoutThreadsEverythingIsDoneOnTheMainThread) {
    TempDir dir;
    const std::string source = dir.write("a.txt", novelText(2 * 1024 * 1024));
    for (int i = 0; i < 6; ++i) dir.write("tree/" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt", novelText(1000 * i));
    ASSERT_EQ(runCli({"-q", source}).status, 0);
    ASSERT_EQ(runCli({"-q", "--batch", dir.path("tree"), "--jobs", "1"}).status, 0);
    std::map<std::string, std::string> expected;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
        if (entry.path().filename().string().starts_with("kovra-")) {
            expected[entry.path()] = readFile(entry.path());
            std::filesystem::remove(entry.path());
        }
    // Under a limit of no further processes, no thread can be started.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-q", source}, {"-q", "--batch", dir.path("tree"), "--jobs", "4"}}) {
        const ChildResult child = runInChild(
            [&args](std::string& report) {
                const CliResult r = runCli(args);
                report = r.err;
                return r.status;
            },
            {.unprivileged = true, .maxProcesses = 0});
        EXPECT_EQ(child.status, 0) << args.back();
        EXPECT_EQ(child.report, "");
    }
    for (const auto& [path, bytes] : expected) EXPECT_EQ(readFile(path), bytes) << path;
    EXPECT_EQ(expected.size(), 7U);
}

// A book, a conversion and a batch of both, with helper threads that cannot
// be started: none at all, or only some of those asked for (the limit counts
// the test's child itself). Each is done as without a limit, never ended by
// the start that failed.
TEST(Faults, HelpersThatCannotStartLeaveTheirWorkToTheOthers) {
    TempDir dir;
    const std::string source = dir.write("a.txt", novelText(600 * 1024));
    for (int i = 0; i < 4; ++i) dir.write("tree/f" + std::to_string(i) + ".txt", novelText(40000 * (i + 1)));
    auto takeOutputs = [&dir] {
        std::map<std::string, std::string> outputs;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
            if (entry.path().filename().string().starts_with("kovra-")) {
                outputs[entry.path()] = readFile(entry.path());
                std::filesystem::remove(entry.path());
            }
        return outputs;
    };
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-q", "--epub", source},
          {"-q", "--convert", "s2t", source},
          {"-q", "--batch", dir.path("tree"), "--jobs", "4", "--format", "txt,epub", "--convert", "s2tw"}}) {
        ASSERT_EQ(runCli(args).status, 0);
        const auto expected = takeOutputs();
        for (long limit : {0L, 2L, 3L}) {
            const ChildResult child = runInChild(
                [&args](std::string& report) {
                    const CliResult r = runCli(args);
                    report = r.err;
                    return r.status;
                },
                {.unprivileged = true, .maxProcesses = limit});
            EXPECT_EQ(child.status, 0) << args[1] << " under a limit of " << limit;
            EXPECT_EQ(child.report, "");
            EXPECT_EQ(takeOutputs(), expected) << args[1] << " under a limit of " << limit;
        }
    }
}

TEST(Faults, ManyJobsStayWithinTheLimitOnOpenFiles) {
    TempDir dir;
    for (int i = 0; i < 120; ++i) dir.write("d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt", novelText(3000));
    const ChildResult child = runInChild(
        [&dir](std::string& report) {
            const CliResult r = runCli({"--batch", dir.path(), "--jobs", "64", "--json"});
            // The failures, if any, then the file count.
            for (std::size_t at = r.err.find("quenlet-cli:"); at != std::string::npos; at = r.err.find("quenlet-cli:", at + 1))
                report += r.err.substr(at, r.err.find('\n', at) - at + 1);
            const std::string totals = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);  // the last line
            report += totals.substr(0, totals.find(','));
            return r.status;
        },
        {.maxOpenFiles = 40});
    EXPECT_EQ(child.status, 0);
    EXPECT_EQ(child.report.substr(0, 300), "{\"files\": 120");
}

TEST(Faults, RunningOutOfDescriptorsIsNamedAsSuch) {
    TempDir dir;
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' own checks need spare descriptors (the vptr check probes
    // memory through a pipe) and report what is not there without them.
    GTEST_SKIP() << "not under the sanitizers";
#endif
    const std::string source = dir.write("gb.txt", encodedGb18030Novel());
    bool tablesFailed = false;
    for (long limit = 5; limit <= 12; ++limit) {
        std::filesystem::remove(dir.path("kovra-gb.txt"));
        Program cli({QUENLET_CLI, "-q", source}, {.maxOpenFiles = limit});
        const Program::Result r = cli.wait();
        if (r.status == 0) continue;
        EXPECT_EQ(r.status, 1) << "limit " << limit << ": " << r.err;
        EXPECT_TRUE(r.err.starts_with("quenlet-cli: " + source + ": ") ||
                    r.err.starts_with("quenlet-cli: " + dir.path("kovra-gb.txt") + ": "))
            << "limit " << limit << ": " << r.err;
        EXPECT_NE(r.err.find("Too many open files"), std::string::npos) << "limit " << limit << ": " << r.err;
        tablesFailed = tablesFailed || r.err.find("cannot load the GB18030 code tables") != std::string::npos;
    }
    EXPECT_TRUE(tablesFailed) << "some limit lets the files open but not the converter";
}

// Fails the run from inside, as the system would.
class FailingObserver : public RunObserver {
public:
    explicit FailingObserver(std::function<void()> fail) : fail_(std::move(fail)) {}
    void replacingParagraph(Count) override { fail_(); }

private:
    std::function<void()> fail_;
};

TEST(Faults, FailuresWithoutAFileOfTheirOwnNameTheFile) {
    TempDir dir;
    const std::string source = dir.write("a.txt", novelText(1000));
    const std::pair<std::function<void()>, std::string> failures[] = {
        {[] { throw std::bad_alloc(); }, ": out of memory"},
        {[] { throw std::system_error(EAGAIN, std::generic_category()); }, ": Resource temporarily unavailable"},
    };
    for (const auto& [fail, reason] : failures) {
        TypesetEngine engine;
        FailingObserver observer(fail);
        const FileRunResult r = typesetFile(engine, source, {}, {}, &observer);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, source + reason);
        EXPECT_EQ(entries(dir.path()), 1U);
    }
}

}  // namespace
}  // namespace quenlet::test
