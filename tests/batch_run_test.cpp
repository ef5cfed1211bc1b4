// The batch: which files it typesets and in what order, what it skips, totals,
// the state that carries from file to file, and failures that leave no trace.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "batch/batch_run.h"
#include "batch/parallel_batch.h"
#include "temp_dir.h"
#include "child_process.h"

namespace quenlet::test {
namespace {

class Recorder : public BatchObserver {
public:
    void fileStarted(Count number, const std::string& path) override {
        started.push_back(std::to_string(number) + " " + path);
    }
    void fileFailed(const std::string& path, const std::string&, const FailureCause&) override { failed.push_back(path); }
    std::vector<std::string> started;
    std::vector<std::string> failed;
};

BatchResult batch(const std::string& folder, Recorder* recorder = nullptr, TypesetEngine* engine = nullptr) {
    TypesetEngine own;
    BatchRun::Hooks hooks;
    hooks.observer = recorder;
    return BatchRun(engine ? *engine : own, hooks).run(folder);
}

std::string lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "他说了一句话。\n";
    return text;
}

TEST(Batch, NamesThatMatch) {
    for (const char* name : {"readme.TXT", "Story.txt", "a.b.txt", ".txt", "kovra-a.txt"})
        EXPECT_TRUE(isTextFileName(name)) << name;
    for (const char* name : {"notes.txt.bak", "txt", "a.tx", "a_txt"}) EXPECT_FALSE(isTextFileName(name)) << name;
    EXPECT_TRUE(isOutputFileName("kovra-a.txt"));
    EXPECT_FALSE(isOutputFileName("KOVRA-a.txt"));
}

TEST(Batch, EmptyTreeGivesNoFilesAndZeros) {
    TempDir dir;
    std::filesystem::create_directories(dir.path("a/b"));
    dir.write("a/notes.md", "x");
    const BatchResult r = batch(dir.path());
    EXPECT_EQ(r.files, 0);
    EXPECT_EQ(r.statistics, Statistics{});
    EXPECT_TRUE(r.failures.empty());
}

TEST(Batch, WalksDepthFirstFilesBeforeFoldersInNameOrder) {
    TempDir dir;
    for (const char* name : {"b.txt", "B.TXT", "a.txt", "x/z.txt", "x/y/w.txt", "x/a.txt", "w/q.txt", ".hidden/h.txt"})
        dir.write(name, lines(1));
    dir.write("kovra-a.txt", "earlier output");
    Recorder recorder;
    const BatchResult r = batch(dir.path(), &recorder);
    const std::string d = dir.path() + "/";
    EXPECT_EQ(recorder.started,
              (std::vector<std::string>{"1 " + d + "B.TXT", "2 " + d + "a.txt", "3 " + d + "b.txt", "4 " + d + ".hidden/h.txt",
                                        "5 " + d + "w/q.txt", "6 " + d + "x/a.txt", "7 " + d + "x/z.txt",
                                        "8 " + d + "x/y/w.txt"}));
    EXPECT_EQ(r.files, 8);
    EXPECT_EQ(readFile(d + "kovra-a.txt"), "　　他说了一句话。\r\n");
    EXPECT_TRUE(exists(d + "x/y/kovra-w.txt"));
    EXPECT_TRUE(exists(d + "kovra-B.TXT"));

    // A second batch overwrites the outputs and never prefixes them twice.
    const BatchResult again = batch(dir.path());
    EXPECT_EQ(again.files, 8);
    EXPECT_FALSE(exists(d + "kovra-kovra-a.txt"));
}

TEST(Batch, StatisticsAreSummedOverFiles) {
    TempDir dir;
    dir.write("one.txt", lines(10));
    dir.write("two/two.txt", lines(20));
    const BatchResult r = batch(dir.path());
    EXPECT_EQ(r.files, 2);
    EXPECT_EQ(r.statistics, (Statistics{30, 0, 0, 30}));
}

TEST(Batch, LinksAndSpecialFiles) {
    TempDir dir;
    const std::string target = dir.write("elsewhere/story.dat", lines(1));
    std::filesystem::create_directory(dir.path("tree"));
    std::filesystem::create_symlink(target, dir.path("tree/linked.txt"));
    std::filesystem::create_symlink(dir.path("elsewhere"), dir.path("tree/folder-link"));
    std::filesystem::create_symlink(dir.path("tree"), dir.path("tree/loop"));
    std::filesystem::create_symlink(dir.path("nothing"), dir.path("tree/broken.txt"));
    std::filesystem::create_symlink(dir.path("tree/itself.txt"), dir.path("tree/itself.txt"));
    ASSERT_EQ(::mkfifo(dir.path("tree/pipe.txt").c_str(), 0644), 0);
    dir.write("elsewhere/inside.txt", lines(1));
    std::filesystem::create_symlink(dir.path("tree"), dir.path("tree-link"));

    const BatchResult r = batch(dir.path("tree-link"));  // the folder given is entered even as a link
    EXPECT_EQ(r.files, 1);
    // A link that leads to no file cannot be read: it is reported, never passed over.
    ASSERT_EQ(r.failures.size(), 2U);
    EXPECT_EQ(r.failures[0].error, dir.path("tree-link/broken.txt") + ": cannot open: No such file or directory");
    EXPECT_EQ(r.failures[1].error, dir.path("tree-link/itself.txt") + ": cannot open: Too many levels of symbolic links");
    EXPECT_TRUE(exists(dir.path("tree/kovra-linked.txt")));
    EXPECT_FALSE(exists(dir.path("elsewhere/kovra-inside.txt")));
    EXPECT_EQ(readFile(target), lines(1));
}

TEST(Batch, StateCarriesFromFileToFileAndAFailedFileLeavesNoTrace) {
    // c.txt is typeset differently depending on what the file before it
    // left behind; b.txt fails after it was read, and must not count.
    const std::string a = "好。\n";
    const std::string b = "标题\n";
    const std::string c = "他说，\n你好\n走了。\n";
    TempDir withFailure;
    withFailure.write("a.txt", a);
    withFailure.write("b.txt", b);
    withFailure.write("c.txt", c);
    std::filesystem::create_directory(withFailure.path("kovra-b.txt"));
    TempDir without;
    without.write("a.txt", a);
    without.write("c.txt", c);

    Recorder recorder;
    const BatchResult failed = batch(withFailure.path(), &recorder);
    const BatchResult clean = batch(without.path());
    EXPECT_EQ(recorder.failed, std::vector<std::string>{withFailure.path("b.txt")});
    ASSERT_EQ(failed.failures.size(), 1U);
    EXPECT_EQ(failed.failures[0].error, withFailure.path("kovra-b.txt") + ": cannot replace output: Is a directory");
    EXPECT_EQ(failed.files, 2);
    EXPECT_EQ(failed.statistics, clean.statistics);
    EXPECT_EQ(readFile(withFailure.path("kovra-c.txt")), readFile(without.path("kovra-c.txt")));
    EXPECT_EQ(readFile(without.path("kovra-c.txt")), "　　他说，\r\n《你好》\r\n\r\n　　走了。\r\n");
}

TEST(Batch, OptionsAreTakenForEachFileAndEventsProcessedAfterEachEntry) {
    TempDir dir;
    dir.write("a.txt", "标题\n");
    dir.write("b.txt", "标题\n");
    dir.write("c.md", "x");
    dir.write("kovra-d.txt", "x");
    TypesetEngine engine;
    int taken = 0;
    int events = 0;
    BatchRun::Hooks hooks;
    hooks.takeOptions = [&taken] {
        TypesetOptions options;
        options.HeadingOpen = Text(1, static_cast<char16_t>(u'0' + ++taken));
        return options;
    };
    hooks.processEvents = [&events] { ++events; };
    BatchRun(engine, hooks).run(dir.path());
    EXPECT_EQ(readFile(dir.path("kovra-a.txt")), "1标题》\r\n\r\n");
    EXPECT_EQ(readFile(dir.path("kovra-b.txt")), "2标题》\r\n\r\n");
    EXPECT_EQ(taken, 2);
    EXPECT_EQ(events, 4);
}

// A front end whose settings may change during a batch gives them file by
// file (the window's tests change them between files); many jobs take them too.
TEST(Batch, SettingsAreTakenForEachFileWhenTheHooksGiveThem) {
    TempDir dir;
    dir.write("a.txt", "标题\n");
    dir.write("b.txt", "标题\n");
    TypesetEngine engine;
    BatchRun::Hooks hooks;
    hooks.settings.outputFormat = outputFormatFromName("gb18030");  // passed over for the hook
    hooks.takeSettings = [] {
        FileRunSettings settings;
        settings.outputFormat = outputFormatFromName("utf-16le");
        return settings;
    };
    EXPECT_EQ(ParallelBatch(engine, hooks, 2).run(dir.path()).files, 2);
    using namespace std::string_literals;
    const std::string utf16 = "\xFF\xFE\x0A\x30\x07\x68\x98\x98\x0B\x30\r\0\n\0\r\0\n\0"s;  // 《标题》
    EXPECT_EQ(readFile(dir.path("kovra-a.txt")), utf16);
    EXPECT_EQ(readFile(dir.path("kovra-b.txt")), utf16);
}

TEST(Batch, UnreadableFileAndUnlistableFolderAreReportedWhileTheRestCompletes) {
    TempDir dir;
    dir.write("a.txt", lines(1));
    dir.write("b.txt", lines(1));
    dir.write("closed/c.txt", lines(1));
    dir.write("open/d.txt", lines(1));
    ::chmod(dir.path("b.txt").c_str(), 0);
    ::chmod(dir.path("closed").c_str(), 0);
    const ChildResult child = runUnprivileged([&dir](std::string& report) {
        const BatchResult r = batch(dir.path());
        for (const BatchFailure& f : r.failures) report += f.path + " | " + f.error + "\n";
        return static_cast<int>(r.files);
    });
    EXPECT_EQ(child.status, 2);
    EXPECT_EQ(child.report, dir.path("b.txt") + " | " + dir.path("b.txt") + ": cannot open: Permission denied\n" +
                                dir.path("closed") + " | " + dir.path("closed") +
                                ": cannot list folder: Permission denied\n");
    EXPECT_TRUE(exists(dir.path("open/kovra-d.txt")));
    EXPECT_FALSE(exists(dir.path("kovra-b.txt")));
}

}  // namespace
}  // namespace quenlet::test
