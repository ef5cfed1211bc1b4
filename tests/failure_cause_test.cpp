// The failures of a file or a batch give the kind of failure, the file it
// concerns and the system's error number, for front ends that phrase their
// own messages -- and the English message names that same file. (The window's
// tests follow the commonest kinds through to their Chinese messages.)
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <sstream>
#include <system_error>

#include "batch/batch_run.h"
#include "child_process.h"
#include "formats/epub_writer.h"
#include "run/file_run.h"
#include "batch/parallel_batch.h"
#include "temp_dir.h"

namespace quenlet::test {
namespace {

const std::string kNovel = "第一章　开端\r\n他说：“你好。”然后走了，\r\n走得很远。\r\n";

std::string bigNovel(std::size_t bytes) {
    std::string text;
    while (text.size() < bytes) text += kNovel;
    return text;
}

// Throws from inside the run, as the system would.
class FailingObserver : public RunObserver {
public:
    explicit FailingObserver(std::function<void()> fail) : fail_(std::move(fail)) {}
    void replacingParagraph(Count) override {
        if (!failed_) {
            failed_ = true;
            fail_();
        }
    }

private:
    std::function<void()> fail_;
    bool failed_ = false;
};

// A file run's failure, checked for agreement with its English message.
FailureCause failureOf(const FileRunResult& r) {
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.starts_with(r.failure.path + ": ")) << r.error;
    EXPECT_EQ(r.errorNumber, r.failure.errorNumber);
    return r.failure;
}

FailureCause typeset(const std::string& path, const FileRunSettings& settings = {}, RunObserver* observer = nullptr) {
    TypesetEngine engine;
    return failureOf(typesetFile(engine, path, {}, settings, observer));
}

FailureCause firstBatchFailure(const BatchResult& r) {
    if (r.failures.empty()) return {};
    EXPECT_TRUE(r.failures[0].error.starts_with(r.failures[0].cause.path + ": ")) << r.failures[0].error;
    return r.failures[0].cause;
}

// The cause found in a child process (unprivileged, or under limits), brought back as text.
FailureCause inChild(ChildLimits limits, const std::function<FailureCause()>& body) {
    const ChildResult child = runInChild(
        [&body](std::string& report) {
            const FailureCause cause = body();
            report = std::to_string(static_cast<int>(cause.kind)) + " " + std::to_string(cause.errorNumber) + " " +
                     cause.path;
            return 0;
        },
        limits);
    std::istringstream in(child.report);
    int kind = 0;
    FailureCause cause;
    in >> kind >> cause.errorNumber;
    in.get();
    std::getline(in, cause.path);
    cause.kind = static_cast<FailureKind>(kind);
    return cause;
}

struct KindCase {
    std::string name;
    std::function<FailureCause(const TempDir&)> run;
    FailureKind kind;
    int errorNumber;
    std::string path;  // relative to the scratch folder
};

const KindCase kKindCases[] = {
    {"SourceThatShrinksWhileRead",
     [](const TempDir& dir) {
         const std::string source = dir.write("a.txt", bigNovel(2 * 1024 * 1024));
         FailingObserver shrink([&] { ::truncate(source.c_str(), 10); });
         FileRunSettings inline_;
         inline_.threading = Threading::Inline;
         return typeset(source, inline_, &shrink);
     },
     FailureKind::ChangedWhileRead, 0, "a.txt"},
    {"ReadOnlyFolder",
     [](const TempDir& dir) {
         const std::string source = dir.write("shelf/a.txt", kNovel);
         ::chmod(dir.path("shelf").c_str(), 0555);
         return inChild({.unprivileged = true}, [&] { return typeset(source); });
     },
     FailureKind::CannotCreateOutput, EACCES, "shelf/kovra-a.txt"},
    {"FullDisk",
     [](const TempDir& dir) {
         const std::string source = dir.write("a.txt", bigNovel(300 * 1024));
         return inChild({.maxFileBytes = 64 * 1024}, [&] { return typeset(source); });
     },
     FailureKind::CannotWrite, EFBIG, "kovra-a.txt"},
    {"OutOfMemory",
     [](const TempDir& dir) {
         FailingObserver fail([] { throw std::bad_alloc(); });
         return typeset(dir.write("a.txt", kNovel), {}, &fail);
     },
     FailureKind::OutOfMemory, ENOMEM, "a.txt"},
    {"UnknownConversion",
     [](const TempDir& dir) {
         FileRunSettings settings;
         settings.conversion = "x2y";
         return typeset(dir.write("a.txt", kNovel), settings);
     },
     FailureKind::ConversionUnavailable, 0, "a.txt"},
    {"SourceInNoSupportedEncoding",
     [](const TempDir& dir) {
         std::string utf32;
         for (const char c : bigNovel(8 * 1024)) utf32 += std::string(1, c) + std::string(3, '\0');
         return typeset(dir.write("a.txt", "\xFF\xFE" + std::string(2, '\0') + utf32));
     },
     FailureKind::UnsupportedEncoding, 0, "a.txt"},
    {"BatchFolderMissing",
     [](const TempDir& dir) {
         TypesetEngine engine;
         return firstBatchFailure(BatchRun(engine, {}).run(dir.path("none")));
     },
     FailureKind::CannotListFolder, ENOENT, "none"},
    {"BatchFileOfManyJobs",
     [](const TempDir& dir) {
         dir.write("a.txt", kNovel);
         dir.write("b.txt", kNovel);
         dir.makeFolders(dir.path("kovra-b.txt"));
         TypesetEngine engine;
         return firstBatchFailure(ParallelBatch(engine, {}, 2).run(dir.path()));
     },
     FailureKind::CannotReplaceOutput, EISDIR, "kovra-b.txt"},
    {"TwoSourcesWithOneBookName",
     [](const TempDir& dir) {
         dir.write("a.TXT", kNovel);
         dir.write("a.txt", kNovel);
         BatchRun::Hooks hooks;
         hooks.settings.book = formats::epubFormat();
         TypesetEngine engine;
         return firstBatchFailure(ParallelBatch(engine, hooks, 2).run(dir.path()));
     },
     FailureKind::OutputNameTaken, 0, "a.txt"},
};

class FailureKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(FailureKinds, NameTheKindTheFileAndTheErrorNumber) {
    const KindCase& c = GetParam();
    TempDir dir;
    const FailureCause cause = c.run(dir);
    EXPECT_EQ(cause.kind, c.kind);
    EXPECT_EQ(cause.errorNumber, c.errorNumber) << std::generic_category().message(cause.errorNumber);
    EXPECT_EQ(cause.path, dir.path(c.path));
}

INSTANTIATE_TEST_SUITE_P(Sites, FailureKinds, ::testing::ValuesIn(kKindCases),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quenlet::test
