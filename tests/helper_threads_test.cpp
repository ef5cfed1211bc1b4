// The helper threads: as many as the system will start, and the work done
// all the same when it will start none.
#include "base/helper_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "child_process.h"

namespace quenlet::test {
namespace {

// How many of eight helpers started and ran, then what two tasks gave: one
// with a result, one that fails.
std::string startHelpersAndTasks() {
    std::atomic<int> ran{0};
    std::atomic<bool> allStarted{false};
    HelperThreads helpers;
    // Each helper stays until all are started, so that none makes room for another by ending.
    const std::size_t started = helpers.start(8, [&] {
        while (!allStarted) std::this_thread::yield();
        ++ran;
    });
    allStarted = true;
    helpers.join();
    HelperTask<int> answer([] { return 42; });
    HelperTask<int> failing([]() -> int { throw std::runtime_error("the work failed"); });
    std::string report = std::to_string(started) + " started, " + std::to_string(ran.load()) + " ran, ";
    report += std::to_string(answer.get());
    try {
        failing.get();
    } catch (const std::runtime_error& e) {
        report += std::string(", ") + e.what();
    }
    return report;
}

TEST(HelperThreads, AsManyAsTheSystemStartsAndTheWorkDoneWithoutThem) {
    EXPECT_EQ(startHelpersAndTasks(), "8 started, 8 ran, 42, the work failed");
    // A child that may start no thread at all, and one that may start a few
    // (the limit counts the child itself, and any other process of its user).
    for (long limit : {0L, 3L}) {
        const ChildResult child = runInChild(
            [](std::string& report) {
                report = startHelpersAndTasks();
                return 0;
            },
            {.unprivileged = true, .maxProcesses = limit});
        EXPECT_EQ(child.status, 0) << limit;
        if (limit == 0) {
            EXPECT_EQ(child.report, "0 started, 0 ran, 42, the work failed");
        }
        const std::size_t started = std::stoul(child.report);
        EXPECT_LE(started, 3U) << child.report;
        EXPECT_EQ(child.report, std::to_string(started) + " started, " + std::to_string(started) +
                                    " ran, 42, the work failed");
    }
}

}  // namespace
}  // namespace quenlet::test
