// Generates novel-like text for benchmarks: chapters with headings, dialogue,
// paragraphs hard-wrapped into short indented lines, and the usual noise of
// downloaded files (runs of ??, 。。, ～～, rule lines, blank lines).
#pragma once

#include <cstdint>
#include <string>

#include "text/encoding.h"

namespace quenlet::bench {

enum class Script { Simplified, Traditional };

// The script a novel is written in when none is given: traditional for Big5,
// which holds few simplified characters, else simplified.
inline Script usualScript(Encoding encoding) {
    return encoding == Encoding::Big5 ? Script::Traditional : Script::Simplified;
}

// At least `bytes` bytes (whole chapters) of text in the given encoding, CR LF
// line ends, no byte order mark.
std::string generateNovel(std::size_t bytes, Encoding encoding, std::uint64_t seed = 1);
std::string generateNovel(std::size_t bytes, Encoding encoding, std::uint64_t seed, Script script);

}  // namespace quenlet::bench
