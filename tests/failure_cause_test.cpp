// Every way a file or a batch can fail gives the kind of failure, the file it
// concerns and the system's error number, for front ends that phrase their
// own messages -- and the English message names that same file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <sstream>
#include <system_error>

#include "batch_run.h"
#include "child_process.h"
#include "file_run.h"
#include "parallel_batch.h"
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
    std::string path;  // relative to the scratch folder, unless absolute or a stream's name
};

const KindCase kKindCases[] = {
    {"MissingSource", [](const TempDir& dir) { return typeset(dir.path("gone.txt")); }, FailureKind::CannotOpen,
     ENOENT, "gone.txt"},
    {"SourceIsAFolder",
     [](const TempDir& dir) {
         dir.makeFolders(dir.path("shelf.txt"));
         return typeset(dir.path("shelf.txt"));
     },
     FailureKind::IsDirectory, 0, "shelf.txt"},
    {"SourceIsAFifo",
     [](const TempDir& dir) {
         ::mkfifo(dir.path("pipe.txt").c_str(), 0644);
         return typeset(dir.path("pipe.txt"));
     },
     FailureKind::NotRegularFile, 0, "pipe.txt"},
    {"SourceWithoutPermission",
     [](const TempDir& dir) {
         const std::string source = dir.write("a.txt", kNovel);
         ::chmod(source.c_str(), 0);
         return inChild({.unprivileged = true}, [&] { return typeset(source); });
     },
     FailureKind::CannotOpen, EACCES, "a.txt"},
    {"SourceThatCannotBeRead", [](const TempDir&) { return typeset("/proc/self/mem"); }, FailureKind::CannotRead, EIO,
     "/proc/self/mem"},
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
    {"OutputNameTakenByAFolder",
     [](const TempDir& dir) {
         dir.makeFolders(dir.path("kovra-a.txt"));
         return typeset(dir.write("a.txt", kNovel));
     },
     FailureKind::CannotReplaceOutput, EISDIR, "kovra-a.txt"},
    {"OutputIsTheSourceThroughAHardLink",
     [](const TempDir& dir) {
         const std::string source = dir.write("a.txt", kNovel);
         ::link(source.c_str(), dir.path("kovra-a.txt").c_str());
         return typeset(source);
     },
     FailureKind::WouldReplaceSource, 0, "kovra-a.txt"},
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
    {"SystemErrorOfNoKnownKind",
     [](const TempDir& dir) {
         FailingObserver fail([] { throw std::system_error(EAGAIN, std::generic_category()); });
         return typeset(dir.write("a.txt", kNovel), {}, &fail);
     },
     FailureKind::Other, EAGAIN, "a.txt"},
    {"BatchFolderMissing",
     [](const TempDir& dir) {
         TypesetEngine engine;
         return firstBatchFailure(BatchRun(engine, {}).run(dir.path("none")));
     },
     FailureKind::CannotListFolder, ENOENT, "none"},
    {"BatchFolderIsAFile",
     [](const TempDir& dir) {
         TypesetEngine engine;
         return firstBatchFailure(BatchRun(engine, {}).run(dir.write("a.txt", kNovel)));
     },
     FailureKind::CannotListFolder, ENOTDIR, "a.txt"},
    {"BatchSubFolderWithoutPermission",
     [](const TempDir& dir) {
         dir.write("closed/a.txt", kNovel);
         ::chmod(dir.path("closed").c_str(), 0);
         return inChild({.unprivileged = true}, [&] {
             TypesetEngine engine;
             return firstBatchFailure(BatchRun(engine, {}).run(dir.path()));
         });
     },
     FailureKind::CannotListFolder, EACCES, "closed"},
    {"BatchFileOfManyJobs",
     [](const TempDir& dir) {
         dir.write("a.txt", kNovel);
         dir.write("b.txt", kNovel);
         dir.makeFolders(dir.path("kovra-b.txt"));
         TypesetEngine engine;
         return firstBatchFailure(ParallelBatch(engine, {}, 2).run(dir.path()));
     },
     FailureKind::CannotReplaceOutput, EISDIR, "kovra-b.txt"},
    {"StandardOutputOnAFullDisk",
     [](const TempDir& dir) {
         const int input = ::open(dir.write("a.txt", kNovel).c_str(), O_RDONLY);
         const int full = ::open("/dev/full", O_WRONLY);
         TypesetEngine engine;
         const FileRunResult r = typesetStream(engine, input, full, {});
         ::close(input);
         ::close(full);
         return failureOf(r);
     },
     FailureKind::CannotWrite, ENOSPC, "standard output"},
    {"NoFolderForACopyOfStandardInput",
     [](const TempDir&) {
         return inChild({}, [] {
             ::setenv("TMPDIR", "/nonexistent-quenlet-folder", 1);
             int pipes[2];
             if (::pipe(pipes) != 0) return FailureCause();
             ::close(pipes[1]);
             TypesetEngine engine;
             return failureOf(typesetStream(engine, pipes[0], STDOUT_FILENO, {}));
         });
     },
     FailureKind::CannotMakeTemporaryCopy, ENOENT, "standard input"},
};

class FailureKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(FailureKinds, NameTheKindTheFileAndTheErrorNumber) {
    const KindCase& c = GetParam();
    TempDir dir;
    const FailureCause cause = c.run(dir);
    EXPECT_EQ(cause.kind, c.kind);
    EXPECT_EQ(cause.errorNumber, c.errorNumber) << std::generic_category().message(cause.errorNumber);
    const bool named = c.path.starts_with('/') || c.path.starts_with("standard ");
    EXPECT_EQ(cause.path, named ? c.path : dir.path(c.path));
}

INSTANTIATE_TEST_SUITE_P(Sites, FailureKinds, ::testing::ValuesIn(kKindCases),
                         [](const auto& info) { return info.param.name; });

TEST(FailureKindsOfEncoding, ACharacterTheOutputCannotHoldIsNamedWithItsLine) {
    for (Threading threading : {Threading::Inline, Threading::Pipelined}) {
        TempDir dir;
        FileRunSettings settings;
        settings.outputFormat = outputFormatFromName("big5");
        settings.threading = threading;
        const FailureCause cause = typeset(dir.write("a.txt", "第一章\r\n他说好。\r\n"), settings);
        EXPECT_EQ(cause.kind, FailureKind::Unencodable);
        EXPECT_EQ(cause.path, dir.path("kovra-a.txt"));
        // 《第一章》, a blank line, then the paragraph with 说, which Big5 has only as 說.
        EXPECT_EQ(cause.unencodable, (UnencodableCharacter{3, U'说', Encoding::Big5}));
    }
}

}  // namespace
}  // namespace quenlet::test
