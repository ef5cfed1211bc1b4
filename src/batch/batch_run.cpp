#include "batch_run.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "text_file.h"

namespace quenlet {
namespace {

namespace fs = std::filesystem;

std::string childPath(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

// A folder's entries, listed once before any of them is processed: the files
// to consider and the sub-folders to enter, each sorted by name bytes so that
// the order -- which matters, since state carries from file to file -- never
// depends on the file system.
struct Listing {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

Listing listFolder(const std::string& folder, std::error_code& error) {
    Listing listing;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().native();
        std::error_code statusError;
        const fs::file_status status = it->symlink_status(statusError);
        if (statusError) continue;  // vanished since it was listed
        if (fs::is_directory(status)) {
            listing.folders.push_back(name);
        } else if (fs::is_regular_file(status)) {
            listing.files.push_back(name);
        } else if (fs::is_symlink(status)) {
            // A link to a file is typeset (its copy goes beside the link); links
            // to folders are not followed, so the walk cannot loop; broken
            // links are passed over.
            if (fs::is_regular_file(it->status(statusError)) && !statusError) listing.files.push_back(name);
        }
        // FIFOs, sockets and devices are passed over: reading them could block.
    }
    std::sort(listing.files.begin(), listing.files.end());
    std::sort(listing.folders.begin(), listing.folders.end());
    return listing;
}

}  // namespace

Text processingFileText(Count number) { return numberedText(u"处理第", number, u"文件"); }

bool isTextFileName(std::string_view name) { return isTxtName(name); }

bool isOutputFileName(std::string_view name) { return name.starts_with(kOutputPrefix); }

BatchResult BatchRun::run(const std::string& folder) {
    engine_.state().FileCount = 0;
    engine_.resetStatistics();
    failures_.clear();
    FindFile(folder);
    return {engine_.state().FileCount, engine_.statistics(), failures_};
}

void walkFolder(const std::string& folder, FolderVisitor& visitor) {
    std::error_code error;
    const Listing listing = listFolder(folder, error);
    if (error) {
        visitor.unlistableFolder(folder, folder + ": " + systemReason("cannot list folder", error.value()));
        return;
    }
    for (const std::string& name : listing.files) {
        if (isTextFileName(name) && !isOutputFileName(name)) visitor.textFile(childPath(folder, name));
        visitor.entryExamined();
    }
    for (const std::string& name : listing.folders) walkFolder(childPath(folder, name), visitor);
}

void BatchRun::FindFile(const std::string& folder) { walkFolder(folder, *this); }

void BatchRun::ProcessFile(const std::string& path) {
    if (isOutputFileName(splitSourcePath(path).name)) return;
    DocumentState& s = engine_.state();
    const Count number = s.FileCount + 1;
    if (hooks_.observer) hooks_.observer->fileStarted(number, path);
    const FileRunResult result = typesetFile(engine_, path, hooks_.takeOptions(), hooks_.settings);
    if (!result.ok) {
        fail(path, result.error);
        return;
    }
    s.FileCount = number;
    if (hooks_.observer) hooks_.observer->fileFinished(number, path, result);
}

void BatchRun::fail(const std::string& path, const std::string& error) {
    failures_.push_back({path, error});
    if (hooks_.observer) hooks_.observer->fileFailed(path, error);
}

}  // namespace quenlet
