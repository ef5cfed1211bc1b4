// The output file: the copy's permission bits follow the source's and are
// never wider, the copy never replaces the source, and the copy is on the disk
// before success is reported.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "batch/batch_run.h"
#include "child_process.h"
#include "cli_runner.h"
#include "run/file_run.h"
#include "batch/parallel_batch.h"
#include "files/file_error.h"
#include "files/scratch_file.h"
#include "temp_dir.h"

namespace quenlet::test {
namespace {

const std::string kText = "第一章　开端\r\n他走进房间，看见桌上\r\n放着一封信。\r\n";

mode_t modeOf(const std::string& path) {
    struct stat info{};
    if (::lstat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

// Sets the umask for the life of the object.
class Umask {
public:
    explicit Umask(mode_t mask) : saved_(::umask(mask)) {}
    ~Umask() { ::umask(saved_); }

private:
    mode_t saved_;
};

struct PermissionRow {
    const char* name;
    mode_t source;
    mode_t copy;  // under umask 022
};
void PrintTo(const PermissionRow& row, std::ostream* out) { *out << row.name; }


class CopyPermissions : public ::testing::TestWithParam<PermissionRow> {};

TEST_P(CopyPermissions, FollowTheSourceLessTheUmask) {
    const PermissionRow row = GetParam();
    const Umask umask(022);
    for (const char* way : {"file", "batch", "parallel batch"}) {
        TempDir dir;
        const std::string source = dir.write("diary.txt", kText);
        ASSERT_EQ(::chmod(source.c_str(), row.source), 0);
        TypesetEngine engine;
        if (std::string(way) == "file") {
            const FileRunResult r = typesetFile(engine, source, {});
            ASSERT_TRUE(r.ok) << r.error;
        } else if (std::string(way) == "batch") {
            EXPECT_EQ(BatchRun(engine, {}).run(dir.path()).files, 1);
        } else {
            EXPECT_EQ(ParallelBatch(engine, {}, 2).run(dir.path()).files, 1);
        }
        EXPECT_EQ(modeOf(dir.path("kovra-diary.txt")), row.copy) << way;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CopyPermissions,
    ::testing::Values(PermissionRow{"private", 0600, 0600}, PermissionRow{"group_readable", 0640, 0640},
                      PermissionRow{"read_only", 0400, 0400}, PermissionRow{"world_writable", 0666, 0644},
                      PermissionRow{"executable", 0755, 0755}, PermissionRow{"set_user_id", 04750, 0750}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CopyPermissions, AGroupThatMayReadTheSourceIsTheOnlyGroupThatMayReadTheCopy) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to other users and groups";
    const Umask umask(022);
    TempDir dir;
    const std::string shared = dir.write("shared.txt", kText);
    ASSERT_EQ(::chown(shared.c_str(), 0, 12345), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0640), 0);
    TypesetEngine engine;
    ASSERT_TRUE(typesetFile(engine, shared, {}).ok);
    struct stat copy{};
    ASSERT_EQ(::stat(dir.path("kovra-shared.txt").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_gid, 12345U) << "the copy takes the source's group";
    EXPECT_EQ(copy.st_mode & 0777, 0640U);

    // Someone outside that group cannot hand the copy to it: the group loses
    // its permissions instead of the copy's own group gaining them.
    const std::string open = dir.write("open.txt", kText);
    ASSERT_EQ(::chown(open.c_str(), 0, 12345), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0644), 0);
    const ChildResult child = runUnprivileged([&open](std::string& report) {
        TypesetEngine engine;
        const FileRunResult r = typesetFile(engine, open, {});
        report = r.error;
        return r.ok ? 0 : 1;
    });
    ASSERT_EQ(child.status, 0) << child.report;
    EXPECT_EQ(modeOf(dir.path("kovra-open.txt")), 0604U);
}

TEST(SourceLinkedToItsCopy, IsRefusedAndKeepsItsText) {
    TempDir dir;
    dir.write("kovra-x.txt", kText);
    std::filesystem::create_symlink("kovra-x.txt", dir.path("x.txt"));
    const std::string expected = "quenlet-cli: " + dir.path("kovra-x.txt") + ": is the source " + dir.path("x.txt") +
                                 " itself (through a link); the source is never overwritten\n";
    for (const std::vector<std::string>& args : {std::vector<std::string>{dir.path("x.txt")},
                                                 {"-q", "--batch", dir.path(), "--jobs", "1"},
                                                 {"-q", "--batch", dir.path(), "--jobs", "3"}}) {
        const CliResult r = runCli(args);
        EXPECT_EQ(r.status, 1) << args.back();
        EXPECT_EQ(r.err, expected) << args.back();
        EXPECT_EQ(readFile(dir.path("kovra-x.txt")), kText) << args.back();
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "no temporary file left";
    }
}

TEST(SourceLinkedToItsCopy, ACopyNameThatIsALinkToTheSourceIsReplacedNotFollowed) {
    TempDir dir;
    const std::string source = dir.write("y.txt", kText);
    std::filesystem::create_symlink("y.txt", dir.path("kovra-y.txt"));
    const CliResult r = runCli({source});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(source), kText);
    EXPECT_FALSE(std::filesystem::is_symlink(dir.path("kovra-y.txt")));
    EXPECT_EQ(readFile(dir.path("kovra-y.txt")), "《第一章开端》\r\n\r\n　　他走进房间，看见桌上放着一封信。\r\n");
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

// Every rename of a temporary file over a copy comes after the temporary file
// was synced, and is followed by a sync of its folder.
void expectDurableRenames(const std::vector<std::string>& log, std::size_t expectedRenames) {
    std::size_t renames = 0;
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (!log[i].starts_with("rename ")) continue;
        ++renames;
        const std::string from = log[i].substr(7, log[i].find(' ', 7) - 7);
        const std::string folder = from.substr(0, from.rfind('/'));
        bool fileSynced = false;
        for (std::size_t j = 0; j < i; ++j) fileSynced = fileSynced || log[j] == "fsync " + from;
        bool folderSynced = false;
        for (std::size_t j = i + 1; j < log.size(); ++j) folderSynced = folderSynced || log[j] == "fsync " + folder;
        EXPECT_TRUE(fileSynced) << log[i];
        EXPECT_TRUE(folderSynced) << log[i];
    }
    EXPECT_EQ(renames, expectedRenames);
}

TEST(Durability, TheCopyAndItsNameAreOnTheDiskBeforeSuccess) {
    TempDir dir;
    const std::string source = dir.write("a.txt", kText);
    dir.write("sub/b.txt", kText);
    const std::string log = dir.path("sync.log");
    const std::vector<std::string> env = {"LD_PRELOAD=" QUENLET_SYNC_SPY, "QUENLET_SYNC_LOG=" + log,
                                          "ASAN_OPTIONS=verify_asan_link_order=0"};
    Program single({QUENLET_CLI, "-q", source}, {}, env);
    EXPECT_EQ(single.wait().status, 0);
    expectDurableRenames(lines(readFile(log)), 1);

    for (const char* jobs : {"1", "2"}) {
        std::filesystem::remove(log);
        Program batch({QUENLET_CLI, "-q", "--batch", dir.path(), "--jobs", jobs}, {}, env);
        EXPECT_EQ(batch.wait().status, 0);
        expectDurableRenames(lines(readFile(log)), 2);
    }
}

// The scratch space of a book: threads appending at once each get a place of
// their own; nothing shows in the folder, before or after; a write the disk
// refuses names the output it was for.
TEST(ScratchFile, AppendsFromThreadsReadBackAndLeaveNothing) {
    TempDir dir;
    const FileLocation book = FileLocation::ofPath(dir.path("kovra-a.epub"));
    std::vector<std::uint64_t> places(4 * 200);
    {
        ScratchFile scratch(book.folder, book.path);
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (std::size_t i = 0; i < 200; ++i)
                    places[t * 200 + i] = scratch.append(std::string(100 + i, static_cast<char>('a' + t)));
            });
        for (std::thread& thread : threads) thread.join();
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
        for (std::size_t t = 0; t < 4; ++t)
            for (std::size_t i = 0; i < 200; i += 37) {
                std::string back(100 + i, '\0');
                scratch.read(places[t * 200 + i], back.data(), back.size());
                EXPECT_EQ(back, std::string(100 + i, static_cast<char>('a' + t)));
            }
        std::string beyond(8, '\0');
        EXPECT_THROW(scratch.read(scratch.size() - 4, beyond.data(), beyond.size()), FileError);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    const ChildResult child = runInChild(
        [&book](std::string& report) {
            ScratchFile scratch(book.folder, book.path);
            try {
                scratch.append(std::string(64 * 1024, 'x'));
            } catch (const FileError& e) {
                report = e.what();
            }
            return 0;
        },
        {.maxFileBytes = 16 * 1024});
    EXPECT_EQ(child.report, dir.path("kovra-a.epub") + ": cannot write: File too large");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace quenlet::test
