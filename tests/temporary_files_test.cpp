// Interrupting signals: every temporary file of the process is removed, the
// process ends as the signal ends it, and the sources and the copies already
// in place are kept.
#include <csignal>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "child_process.h"
#include "cli_runner.h"
#include "temp_dir.h"

namespace quenlet::test {
namespace {

std::vector<std::string> temporaryFiles(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.path().filename().string().starts_with(".quenlet-")) found.push_back(entry.path().string());
    return found;
}

struct SignalRow {
    const char* name;
    int signal;
};
void PrintTo(const SignalRow& row, std::ostream* out) { *out << row.name; }


class Interrupted : public ::testing::TestWithParam<SignalRow> {
protected:
    static void SetUpTestSuite() { text_ = new std::string(novelText(16 * 1024 * 1024)); }
    static void TearDownTestSuite() { delete text_; }
    static const std::string& text() { return *text_; }

    // Starts quenlet-cli, waits for its first temporary file, sends the signal.
    static Program::Result interrupt(const std::vector<std::string>& args, const std::string& folder, int signal) {
        std::vector<std::string> command = {QUENLET_CLI};
        command.insert(command.end(), args.begin(), args.end());
        Program program(command);
        for (int waited = 0; temporaryFiles(folder).empty(); ++waited) {
            if (waited > 60'000 || ::waitpid(program.pid(), nullptr, WNOHANG) != 0) {
                ADD_FAILURE() << "no temporary file appeared while the run lasted";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(program.pid(), signal);
        return program.wait();
    }

private:
    static inline std::string* text_ = nullptr;
};

TEST_P(Interrupted, OneFile) {
    TempDir dir;
    const std::string source = dir.write("a.txt", text());
    dir.write("kovra-a.txt", "earlier output");
    const Program::Result r = interrupt({"-q", source}, dir.path(), GetParam().signal);
    EXPECT_EQ(r.signal, GetParam().signal) << r.err;
    EXPECT_EQ(temporaryFiles(dir.path()), std::vector<std::string>{});
    EXPECT_EQ(readFile(dir.path("kovra-a.txt")), "earlier output");
    EXPECT_EQ(std::filesystem::file_size(source), text().size());
}

TEST_P(Interrupted, ABatchOnSeveralThreads) {
    TempDir dir;
    TempDir uninterrupted;
    const char* const names[] = {"a.txt", "b.txt", "c/c.txt", "c/d.txt", "e.txt"};
    for (const char* name : names) {
        dir.write(name, text().substr(0, 4 << 20));
        uninterrupted.write(name, text().substr(0, 4 << 20));
    }
    ASSERT_EQ(runCli({"-q", "--batch", uninterrupted.path()}).status, 0);
    const Program::Result r = interrupt({"-q", "--batch", dir.path(), "--jobs", "3"}, dir.path(), GetParam().signal);
    EXPECT_EQ(r.signal, GetParam().signal) << r.err;
    EXPECT_EQ(temporaryFiles(dir.path()), std::vector<std::string>{});
    // The copies put in place before the signal stay, complete.
    for (const char* name : names) {
        const std::string copy = "kovra-" + std::filesystem::path(name).filename().string();
        const std::string place = std::filesystem::path(name).parent_path() / copy;
        if (exists(dir.path(place))) {
            EXPECT_EQ(readFile(dir.path(place)), readFile(uninterrupted.path(place))) << place;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted,
                         ::testing::Values(SignalRow{"SIGINT", SIGINT}, SignalRow{"SIGTERM", SIGTERM},
                                           SignalRow{"SIGHUP", SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quenlet::test
