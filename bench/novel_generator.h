// Generates novel-like text for benchmarks: chapters with headings, dialogue,
// paragraphs hard-wrapped into short indented lines, and the usual noise of
// downloaded files (runs of ??, 。。, ～～, rule lines, blank lines).
#pragma once

#include <cstdint>
#include <string>

#include "encoding.h"

namespace quenlet::bench {

// At least `bytes` bytes (whole chapters) of text in the given encoding, CR LF line ends.
std::string generateNovel(std::size_t bytes, Encoding encoding, std::uint64_t seed = 1);

}  // namespace quenlet::bench
