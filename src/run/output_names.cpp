#include "run/output_names.h"

#include <algorithm>

namespace quenlet {

SourcePath splitSourcePath(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {std::string(), std::string(path)};
    return {std::string(path.substr(0, slash + 1)), std::string(path.substr(slash + 1))};
}

std::string copyNameFor(std::string_view sourceName) { return std::string(kOutputPrefix) + std::string(sourceName); }

std::string bookNameFor(std::string_view sourceName, std::string_view extension) {
    if (isTextFileName(sourceName)) sourceName.remove_suffix(4);
    return std::string(kOutputPrefix) + std::string(sourceName) + std::string(extension);
}

std::string bookPathFor(std::string_view sourcePath, std::string_view extension) {
    const SourcePath parts = splitSourcePath(sourcePath);
    return parts.folder + bookNameFor(parts.name, extension);
}

bool isTextFileName(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view tail = name.substr(name.size() - 4);
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return std::equal(tail.begin(), tail.end(), ".TXT", [&](char a, char b) { return upper(a) == b; });
}

bool isOutputFileName(std::string_view name) { return name.starts_with(kOutputPrefix); }

}  // namespace quenlet
