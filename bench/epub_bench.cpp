// Writing a large generated novel as text, as an EPUB and as both, file to
// file; and what deflating the book's documents costs at each level.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "formats/epub_writer.h"
#include "run/file_run.h"
#include "novel_generator.h"

namespace {

constexpr std::size_t kNovelBytes = 40 * 1024 * 1024;

std::string novelFile() {
    const auto folder = std::filesystem::temp_directory_path() / ("quenlet-epub-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "novel.txt").string();
    if (!std::filesystem::exists(path))
        std::ofstream(path, std::ios::binary) << quenlet::bench::generateNovel(kNovelBytes, quenlet::Encoding::Gb18030);
    return path;
}

enum class Output { Text, Epub, Both };

void writeNovel(benchmark::State& state, Output output) {
    const std::string path = novelFile();
    quenlet::TypesetEngine engine;
    quenlet::FileRunSettings settings;
    settings.writeText = output != Output::Epub;
    if (output != Output::Text) settings.book = quenlet::formats::epubFormat();
    for (auto _ : state) {
        engine.resetStatistics();
        const auto result = quenlet::typesetFile(engine, path, {}, settings);
        if (!result.ok) state.SkipWithError(result.error.c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(path)));
}

BENCHMARK_CAPTURE(writeNovel, text, Output::Text)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(writeNovel, epub, Output::Epub)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(writeNovel, text_and_epub, Output::Both)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Chapter-sized documents of novel text (UTF-8, as in the book), deflated one by one.
void deflateDocuments(benchmark::State& state) {
    static const std::string text = quenlet::bench::generateNovel(8 * 1024 * 1024, quenlet::Encoding::Utf8);
    quenlet::formats::EntryCompressor compressor(static_cast<int>(state.range(0)));
    constexpr std::size_t kDocument = 8 * 1024;
    std::size_t deflated = 0;
    for (auto _ : state) {
        deflated = 0;
        for (std::size_t at = 0; at < text.size(); at += kDocument)
            deflated += compressor.deflated("d", std::string_view(text).substr(at, kDocument)).length;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["ratio"] = static_cast<double>(deflated) / static_cast<double>(text.size());
}

BENCHMARK(deflateDocuments)->DenseRange(0, 3, 1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                ("quenlet-epub-bench-" + std::to_string(::getpid())));
}
