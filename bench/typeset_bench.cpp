// Throughput of typesetting a large generated novel, file to file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "run/file_run.h"
#include "novel_generator.h"
#include "tidy/tidy_mode.h"

namespace {

constexpr std::size_t kNovelBytes = 40 * 1024 * 1024;

// Writes the novel once per encoding into a scratch folder.
std::string novelFile(quenlet::Encoding encoding) {
    const auto folder = std::filesystem::temp_directory_path() / ("quenlet-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / (std::string(quenlet::encodingName(encoding)) + ".txt")).string();
    if (!std::filesystem::exists(path))
        std::ofstream(path, std::ios::binary) << quenlet::bench::generateNovel(kNovelBytes, encoding);
    return path;
}

void typesetNovel(benchmark::State& state, quenlet::Encoding encoding, bool tidy = false) {
    const std::string path = novelFile(encoding);
    quenlet::TypesetEngine engine;
    quenlet::FileRunSettings settings;
    if (tidy) settings.hooks = std::make_shared<quenlet::tidy::TidyMode>(quenlet::tidy::TidyRules::builtIn());
    for (auto _ : state) {
        engine.resetStatistics();
        const auto result = quenlet::typesetFile(engine, path, {}, settings);
        if (!result.ok) state.SkipWithError(result.error.c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(path)));
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

BENCHMARK_CAPTURE(typesetNovel, gb18030, quenlet::Encoding::Gb18030)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(typesetNovel, utf8, quenlet::Encoding::Utf8)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(typesetNovel, big5, quenlet::Encoding::Big5)->Unit(benchmark::kMillisecond)->Iterations(3);
// The tidy mode on the same novel: it should cost little on top of the run.
BENCHMARK_CAPTURE(typesetNovel, gb18030_tidy, quenlet::Encoding::Gb18030, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
