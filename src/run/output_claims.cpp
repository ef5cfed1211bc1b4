#include "run/output_claims.h"

#include <sys/stat.h>

#include <utility>
#include <vector>

namespace quenlet {

std::optional<FileError> OutputClaims::claim(const FileLocation& source, const FileRunSettings& settings) {
    struct stat folder{};
    if (::fstat(source.folder->fd(), &folder) != 0) return std::nullopt;
    return claim(folder.st_dev, folder.st_ino, source.folder->path(), source.name, source.path, settings);
}

std::optional<FileError> OutputClaims::claim(const std::string& sourcePath, const FileRunSettings& settings) {
    const SourcePath parts = splitSourcePath(sourcePath);
    if (parts.name.empty() || parts.name == "." || parts.name == "..") return std::nullopt;
    struct stat folder{};
    if (::stat(parts.folder.empty() ? "." : parts.folder.c_str(), &folder) != 0) return std::nullopt;
    return claim(folder.st_dev, folder.st_ino, parts.folder, parts.name, sourcePath, settings);
}

std::optional<FileError> OutputClaims::claim(dev_t device, ino_t folder, const std::string& folderPath,
                                             const std::string& sourceName, const std::string& sourcePath,
                                             const FileRunSettings& settings) {
    std::vector<std::pair<std::string, bool>> outputs;  // each name, and whether it is the book
    if (settings.writeText) outputs.emplace_back(copyNameFor(sourceName), false);
    if (settings.book) outputs.emplace_back(bookNameFor(sourceName, settings.book->extension()), true);
    for (const auto& [name, book] : outputs) {
        const auto found = owners_.find({device, folder, name});
        if (found == owners_.end() || found->second.sourceName == sourceName) continue;
        const Owner& first = found->second;
        FailureCause cause{FailureKind::OutputNameTaken, sourcePath};
        cause.taken = {folderPath + name, book, first.sourcePath, first.book};
        std::string reason = std::string("its ") + (book ? "book " : "text copy ") + cause.taken.output +
                             " would replace the " + (first.book ? "book" : "text copy") + " of " + first.sourcePath +
                             ", earlier in this run; rename one of the two";
        return FileError(std::move(cause), std::move(reason));
    }
    for (const auto& [name, book] : outputs)
        owners_.try_emplace({device, folder, name}, Owner{sourceName, sourcePath, book});
    return std::nullopt;
}

}  // namespace quenlet
