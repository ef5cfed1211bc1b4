// The parallel batch gives exactly the sequential batch's outputs, statistics
// and failures, on generated trees whose files depend on what the file before
// them left behind.
#include <gtest/gtest.h>

#include <random>

#include "batch/parallel_batch.h"
#include "tidy/tidy_mode.h"
#include "temp_dir.h"

namespace quenlet::test {
namespace {

// Lines chosen so that a file's first lines depend on the state the previous
// file hands on, and its last paragraph hands on either kind of state.
const char* const kLines[] = {
    "他说，",      "你好",       "走了。",   "好。",       "标题",    "“对。”他答，", "",
    "  ",          "很长的一句话，没有说完",  "。。",      "？？",    "第一章",      "他问：“去吗？",
    "a,b",         "……",         "＊＊＊＊", "----",       "x",       "她说：\"好\"。",
};

// And lines the tidy mode treats in its own way: headings, junk, tables of
// contents, lines of other spaces, lines ending in question marks.
const char* const kTidyLines[] = {
    "第二回 相遇", "更新时间:2007-1-12", "\t\xC2\xA0", "目录", "第一卷", "他说，张??三??", "一鸣扫描，雪儿校对",
    "他说：“走，",  "正文 第3章",       "序",         "\"好\"",  "2007-1-16。",   "短句",
};

std::string randomFile(std::mt19937& random, bool tidyLines = false) {
    std::uniform_int_distribution<int> lines(0, 6);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kLines) - 1);
    std::uniform_int_distribution<std::size_t> pickTidy(0, std::size(kTidyLines) - 1);
    std::string text;
    for (int n = lines(random); n > 0; --n)
        text += std::string(tidyLines && n % 2 ? kTidyLines[pickTidy(random)] : kLines[pick(random)]) +
                (n % 3 ? "\n" : "\r\n");
    return text;
}

// A tree of files, with a few that fail (their output path is a folder).
void makeTree(const TempDir& dir, std::mt19937& random, int files, bool tidyLines = false) {
    std::uniform_int_distribution<int> folder(0, 3);
    std::uniform_int_distribution<int> percent(0, 99);
    for (int i = 0; i < files; ++i) {
        const std::string sub = folder(random) == 0 ? "" : "d" + std::to_string(folder(random)) + "/";
        const std::string name = sub + "f" + std::to_string(i) + ".txt";
        dir.write(name, randomFile(random, tidyLines));
        if (percent(random) < 5) std::filesystem::create_directories(dir.path(sub + "kovra-f" + std::to_string(i) + ".txt"));
    }
}

struct Outcome {
    BatchResult result;
    std::map<std::string, std::string> outputs;
    Text endingCurrentChar;
};

Outcome runBatch(const std::string& folder, unsigned jobs, const Text& startingCurrentChar,
                 std::shared_ptr<const RunHooksMaker> runHooks = nullptr) {
    TypesetEngine engine;
    engine.state().CurrentChar = startingCurrentChar;
    BatchRun::Hooks hooks;
    hooks.settings.hooks = std::move(runHooks);
    Outcome o;
    o.result = jobs == 0 ? BatchRun(engine, hooks).run(folder) : ParallelBatch(engine, hooks, jobs).run(folder);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename().string().starts_with("kovra-"))
            o.outputs[entry.path().string()] = readFile(entry.path().string());
    o.endingCurrentChar = engine.state().CurrentChar;
    EXPECT_EQ(engine.statistics(), o.result.statistics);
    EXPECT_EQ(engine.state().FileCount, o.result.files);
    return o;
}

TEST(ParallelBatch, SameOutputsStatisticsAndFailuresAsOneAfterTheOther) {
    std::mt19937 random(7);
    for (int tree = 0; tree < 12; ++tree) {
        TempDir dir;
        makeTree(dir, random, 40);
        const Text start = tree % 2 ? u"。" : u"";
        const Outcome sequential = runBatch(dir.path(), 0, start);
        for (unsigned jobs : {1U, 2U, 5U}) {
            for (const auto& [path, bytes] : sequential.outputs) std::filesystem::remove(path);
            const Outcome parallel = runBatch(dir.path(), jobs, start);
            EXPECT_EQ(parallel.outputs, sequential.outputs) << "tree " << tree << ", " << jobs << " jobs";
            EXPECT_EQ(parallel.result.statistics, sequential.result.statistics);
            EXPECT_EQ(parallel.result.files, sequential.result.files);
            ASSERT_EQ(parallel.result.failures.size(), sequential.result.failures.size());
            for (std::size_t i = 0; i < parallel.result.failures.size(); ++i)
                EXPECT_EQ(parallel.result.failures[i].error, sequential.result.failures[i].error);
            EXPECT_EQ(parallel.endingCurrentChar, sequential.endingCurrentChar);
        }
    }
}

// The tidy mode keeps its state per file: a parallel batch under it gives the
// sequential outputs too.
TEST(ParallelBatch, TidyModeGivesTheSameResultsWithAnyNumberOfJobs) {
    const auto tidyMode = std::make_shared<tidy::TidyMode>(tidy::TidyRules::builtIn());
    std::mt19937 random(11);
    for (int tree = 0; tree < 6; ++tree) {
        TempDir dir;
        makeTree(dir, random, 40, true);
        const Text start = tree % 2 ? u"。" : u"";
        const Outcome sequential = runBatch(dir.path(), 0, start, tidyMode);
        for (unsigned jobs : {1U, 2U, 5U}) {
            for (const auto& [path, bytes] : sequential.outputs) std::filesystem::remove(path);
            const Outcome parallel = runBatch(dir.path(), jobs, start, tidyMode);
            EXPECT_EQ(parallel.outputs, sequential.outputs) << "tree " << tree << ", " << jobs << " jobs";
            EXPECT_EQ(parallel.result.statistics, sequential.result.statistics);
            EXPECT_EQ(parallel.endingCurrentChar, sequential.endingCurrentChar);
        }
    }
}

}  // namespace
}  // namespace quenlet::test
