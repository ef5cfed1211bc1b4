#include "batch/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "files/file_error.h"

namespace quenlet {

namespace {

// A file entry as the listing found it.
struct FileEntry {
    std::string name;
    enum Type { Regular, Link, Unexamined } type;
    int error = 0;  // why an Unexamined entry could not be looked at
    bool operator<(const FileEntry& other) const { return name < other.name; }
};

}  // namespace

// One folder being walked: its entries, listed once, and how far the walk has
// gone through them. The folder stays open while anything below it remains to
// be opened through it.
struct FolderWalk::Level {
    std::shared_ptr<const OpenFolder> folder;
    std::vector<FileEntry> files;
    std::vector<std::string> folders;
    std::size_t nextFile = 0;
    std::size_t nextFolder = 0;
};

FolderWalk::FolderWalk(std::string folder) : top_(std::move(folder)) {}
FolderWalk::~FolderWalk() = default;

namespace {

// Lists a folder: the files to consider and the sub-folders to enter, each
// sorted by name bytes so that the order -- which matters, since state carries
// from file to file -- never depends on the file system. FIFOs, sockets and
// devices are passed over: reading them could block. Returns 0 or the error
// number that stopped the listing.
int list(const OpenFolder& folder, std::vector<FileEntry>& files, std::vector<std::string>& folders) {
    const int fd = ::fcntl(folder.fd(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return errno;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        unsigned char type = entry->d_type;
        int statError = 0;
        if (type == DT_UNKNOWN) {  // some file systems leave the type to a look of its own
            struct stat info{};
            if (::fstatat(folder.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
                type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : S_ISLNK(info.st_mode) ? DT_LNK : DT_FIFO;
            else if (errno != ENOENT)  // else it vanished since it was listed
                statError = errno;
            else
                continue;
        }
        if (statError != 0) files.push_back({name, FileEntry::Unexamined, statError});
        else if (type == DT_DIR) folders.push_back(name);
        else if (type == DT_REG) files.push_back({name, FileEntry::Regular});
        else if (type == DT_LNK) files.push_back({name, FileEntry::Link});
    }
    ::closedir(dir);
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    return error;
}

// The step that reports a failure; `folder` when the entry is a folder.
WalkStep failedStep(const FileError& error, bool folder) {
    WalkStep step;
    step.kind = WalkStep::Failure;
    step.path = error.path();
    step.error = error.what();
    step.folder = folder;
    step.cause = error.cause();
    return step;
}

}  // namespace

void FolderWalk::enter(std::shared_ptr<const OpenFolder> folder, WalkStep& failure, bool& failed) {
    auto level = std::make_unique<Level>();
    const int error = list(*folder, level->files, level->folders);
    if (error != 0) {
        std::string path = folder->path();
        if (path.size() > 1 && path.back() == '/') path.pop_back();
        failure = failedStep(FileError(FailureKind::CannotListFolder, path, "cannot list folder", error), true);
        failed = true;
        return;
    }
    level->folder = std::move(folder);
    levels_.push_back(std::move(level));
}

bool FolderWalk::next(WalkStep& step) {
    if (!started_) {
        started_ = true;
        try {
            bool failed = false;
            enter(OpenFolder::openForListing(top_), step, failed);
            if (failed) return true;
        } catch (const FileError& e) {
            step = failedStep(e, true);
            step.path = top_;
            return true;
        }
    }
    while (!levels_.empty()) {
        Level& level = *levels_.back();
        if (level.nextFile < level.files.size()) {
            const FileEntry& entry = level.files[level.nextFile++];
            const std::string path = level.folder->childPath(entry.name);
            step = {WalkStep::OtherFile, {}, path, {}, false, {}};
            if (entry.type == FileEntry::Unexamined) {
                step = failedStep(FileError(FailureKind::CannotOpen, path, "cannot open", entry.error), false);
                return true;
            }
            if (!isTextFileName(entry.name) || isOutputFileName(entry.name)) return true;
            if (entry.type == FileEntry::Link) {
                // A link to a file is typeset (its copy goes beside the link);
                // links to anything else are not followed. A link that leads
                // to nothing, or only to links, cannot be read: it is reported.
                struct stat info{};
                if (::fstatat(level.folder->fd(), entry.name.c_str(), &info, 0) != 0) {
                    step = failedStep(FileError(FailureKind::CannotOpen, path, "cannot open", errno), false);
                    return true;
                }
                if (!S_ISREG(info.st_mode)) return true;
            }
            step.kind = WalkStep::TextFile;
            step.file = {level.folder, entry.name, path};
            return true;
        }
        if (level.nextFolder < level.folders.size()) {
            const std::string& name = level.folders[level.nextFolder++];
            std::shared_ptr<const OpenFolder> child;
            try {
                child = OpenFolder::openChild(*level.folder, name);
            } catch (const FileError& e) {
                step = failedStep(e, true);
                return true;
            }
            // Nothing more is opened through a folder once its last sub-folder
            // is: a deep tree then holds few descriptors.
            if (level.nextFolder == level.folders.size()) levels_.pop_back();
            bool failed = false;
            enter(std::move(child), step, failed);
            if (failed) return true;
            continue;
        }
        levels_.pop_back();
    }
    return false;
}

}  // namespace quenlet
