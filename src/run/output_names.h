// The names of a run's outputs: the "kovra-" copy beside its source, and the
// book beside it. The naming rule lives here, once.
#pragma once

#include <string>
#include <string_view>

namespace quenlet {

inline constexpr std::string_view kOutputPrefix = "kovra-";

struct SourcePath {
    std::string folder;  // everything up to and including the last '/'; "" when there is none
    std::string name;    // everything after it
};
SourcePath splitSourcePath(std::string_view path);
// The text copy beside the source: "kovra-" + the source name.
std::string copyNameFor(std::string_view sourceName);
// The book beside the copy: "kovra-" + the source name with a final ".txt"
// (any letter case) replaced by the book's extension; a name without it
// keeps its whole name and gets the extension added. The name alone, or the path.
std::string bookNameFor(std::string_view sourceName, std::string_view extension);
std::string bookPathFor(std::string_view sourcePath, std::string_view extension);
// True for the names a batch typesets: ending in ".txt" in any letter case.
bool isTextFileName(std::string_view name);
// True for the runs' own outputs, which a batch never typesets again.
bool isOutputFileName(std::string_view name);

}  // namespace quenlet
