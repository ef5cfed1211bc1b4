// The walk of a batch never follows a folder swapped for a link, reaches paths
// of any length with few descriptors, and reports whatever it cannot examine.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "batch/batch_run.h"
#include "child_process.h"
#include "batch/parallel_batch.h"
#include "temp_dir.h"

namespace quenlet::test {
namespace {

const std::string kText = "他说了一句话。\n";

std::string failuresOf(const BatchResult& result) {
    std::string text;
    for (const BatchFailure& f : result.failures) text += f.path + " | " + f.error + "\n";
    return text;
}

TEST(FolderWalk, AFolderSwappedForALinkAfterListingIsNotEntered) {
    TempDir dir;
    dir.write("top/a.txt", kText);
    dir.write("top/sub/s.txt", kText);
    dir.write("elsewhere/inside.txt", kText);
    bool swapped = false;
    BatchRun::Hooks hooks;
    // Between listing top/ and entering top/sub/: the events after a.txt.
    hooks.processEvents = [&] {
        if (swapped) return;
        swapped = true;
        std::filesystem::rename(dir.path("top/sub"), dir.path("moved"));
        std::filesystem::create_directory_symlink(dir.path("elsewhere"), dir.path("top/sub"));
    };
    TypesetEngine engine;
    const BatchResult r = BatchRun(engine, hooks).run(dir.path("top"));
    EXPECT_TRUE(swapped);
    EXPECT_EQ(r.files, 1);
    EXPECT_FALSE(exists(dir.path("elsewhere/kovra-inside.txt")));
    EXPECT_EQ(failuresOf(r), dir.path("top/sub") + " | " + dir.path("top/sub") +
                                 ": cannot list folder: it was replaced by a link, which is not followed\n");
}

TEST(FolderWalk, AFolderThatCanBeListedButNotEnteredIsReported) {
    TempDir dir;
    dir.write("a.txt", kText);
    dir.write("closed/c.txt", kText);
    dir.write("closed/inner/d.txt", kText);
    ::chmod(dir.path("closed").c_str(), 0755 & ~0111);
    for (unsigned jobs : {1U, 3U}) {
        const ChildResult child = runUnprivileged([&dir, jobs](std::string& report) {
            TypesetEngine engine;
            const BatchResult r = jobs == 1 ? BatchRun(engine, {}).run(dir.path()) : ParallelBatch(engine, {}, jobs).run(dir.path());
            report = failuresOf(r);
            return static_cast<int>(r.files);
        });
        EXPECT_EQ(child.status, 1) << jobs << " jobs";
        EXPECT_EQ(child.report, dir.path("closed/c.txt") + " | " + dir.path("closed/c.txt") +
                                    ": cannot open: Permission denied\n" + dir.path("closed/inner") + " | " +
                                    dir.path("closed/inner") + ": cannot list folder: Permission denied\n")
            << jobs << " jobs";
    }
}

// Removes a tree whose paths may be too long for any call that takes a path.
void removeTree(int parent, const char* name) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ::unlinkat(parent, name, 0);
        return;
    }
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd/" + std::to_string(fd)))
        entries.push_back(entry.path().filename().string());
    for (const std::string& entry : entries) removeTree(fd, entry.c_str());
    ::close(fd);
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

// A chain of `depth` folders named `name` below `folder`, with a.txt at the
// bottom; returns the descriptor of the bottom folder.
int makeChain(const std::string& folder, int depth, const std::string& name) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < depth; ++level) {
        ::mkdirat(fd, name.c_str(), 0777);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    const int file = ::openat(fd, "a.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    EXPECT_EQ(::write(file, kText.data(), kText.size()), static_cast<ssize_t>(kText.size()));
    ::close(file);
    return fd;
}

TEST(FolderWalk, FilesBelowPathsLongerThanAnyPathMayBeAreTypeset) {
    TempDir dir;
    const std::string name(200, 'd');
    const int bottom = makeChain(dir.path(), 30, name);  // 6000 bytes, beyond PATH_MAX
    for (unsigned jobs : {1U, 2U}) {
        TypesetEngine engine;
        const BatchResult r = jobs == 1 ? BatchRun(engine, {}).run(dir.path()) : ParallelBatch(engine, {}, jobs).run(dir.path());
        EXPECT_EQ(r.files, 1) << jobs << " jobs";
        EXPECT_EQ(failuresOf(r), "");
        struct stat copy{};
        EXPECT_EQ(::fstatat(bottom, "kovra-a.txt", &copy, 0), 0) << jobs << " jobs";
        ::unlinkat(bottom, "kovra-a.txt", 0);
    }
    ::close(bottom);
    const int top = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    removeTree(top, name.c_str());
    ::close(top);
}

TEST(FolderWalk, ADeepTreeNeedsFewDescriptors) {
    TempDir dir;
    ::close(makeChain(dir.path(), 300, "d"));
    for (unsigned jobs : {1U, 4U}) {
        const ChildResult child = runInChild(
            [&dir, jobs](std::string& report) {
                TypesetEngine engine;
                const BatchResult r =
                    jobs == 1 ? BatchRun(engine, {}).run(dir.path()) : ParallelBatch(engine, {}, jobs).run(dir.path());
                report = failuresOf(r);
                return static_cast<int>(r.files);
            },
            {.maxOpenFiles = 48});
        EXPECT_EQ(child.status, 1) << jobs << " jobs";
        EXPECT_EQ(child.report, "");
    }
}

}  // namespace
}  // namespace quenlet::test
