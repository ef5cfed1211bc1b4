// Decoding and encoding throughput of each code page on the same generated
// novel: traditional text, which Big5 and GB18030 both hold, and simplified
// text in GB18030.
#include <benchmark/benchmark.h>

#include <map>

#include "text/encoding.h"
#include "novel_generator.h"

namespace {

using quenlet::Encoding;
using quenlet::bench::Script;

constexpr std::size_t kNovelBytes = 16 * 1024 * 1024;
constexpr std::size_t kBlock = 256 * 1024;  // as the line reader reads

const std::string& novel(Encoding encoding, Script script) {
    static std::map<std::pair<Encoding, Script>, std::string> made;
    auto& bytes = made[{encoding, script}];
    if (bytes.empty()) bytes = quenlet::bench::generateNovel(kNovelBytes, encoding, 1, script);
    return bytes;
}

quenlet::Text decodedNovel(Encoding encoding, Script script) {
    const std::string& bytes = novel(encoding, script);
    quenlet::Text text;
    quenlet::makeDecoder(encoding)->decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), true, text);
    return text;
}

void decode(benchmark::State& state, Encoding encoding, Script script) {
    const std::string& bytes = novel(encoding, script);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    quenlet::Text text;
    for (auto _ : state) {
        auto decoder = quenlet::makeDecoder(encoding);
        std::size_t carried = 0;
        for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
            text.clear();
            const std::size_t size = std::min(kBlock, bytes.size() - at) + carried;
            const std::size_t used = decoder->decode(data + at - carried, size, at + kBlock >= bytes.size(), text);
            carried = size - used;
            benchmark::DoNotOptimize(text.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void encode(benchmark::State& state, Encoding encoding, Script script) {
    const quenlet::Text text = decodedNovel(encoding, script);
    const quenlet::EncodePolicy policy;
    std::string bytes;
    for (auto _ : state) {
        quenlet::EncodeCounts counts;
        for (std::size_t at = 0; at < text.size(); at += kBlock / 2) {
            bytes.clear();
            quenlet::encodeText(encoding, quenlet::TextView(text).substr(at, kBlock / 2), bytes, policy, counts);
            benchmark::DoNotOptimize(bytes.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * novel(encoding, script).size()));
}

BENCHMARK_CAPTURE(decode, big5_traditional, Encoding::Big5, Script::Traditional)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, gb18030_traditional, Encoding::Gb18030, Script::Traditional)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, gb18030_simplified, Encoding::Gb18030, Script::Simplified)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encode, big5_traditional, Encoding::Big5, Script::Traditional)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encode, gb18030_traditional, Encoding::Gb18030, Script::Traditional)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encode, gb18030_simplified, Encoding::Gb18030, Script::Simplified)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
