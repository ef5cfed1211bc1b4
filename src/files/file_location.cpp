#include "files/file_location.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "files/file_error.h"

namespace quenlet {
namespace {

std::string withSlash(std::string path) {
    if (!path.empty() && path.back() != '/') path.push_back('/');
    return path;
}

}  // namespace

std::shared_ptr<const OpenFolder> OpenFolder::open(const std::string& path) {
    const std::string opened = path.empty() ? std::string(".") : path;
    int fd = ::open(opened.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder that may be passed through but not listed still holds files
    // that can be typeset by name.
    if (fd < 0 && errno == EACCES) fd = ::open(opened.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw FileError(FailureKind::CannotOpen, path, "cannot open folder", errno);
    return std::shared_ptr<const OpenFolder>(new OpenFolder(fd, withSlash(path)));
}

std::shared_ptr<const OpenFolder> OpenFolder::openForListing(const std::string& path) {
    const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw FileError(FailureKind::CannotListFolder, path, "cannot list folder", errno);
    return std::shared_ptr<const OpenFolder>(new OpenFolder(fd, withSlash(path)));
}

std::shared_ptr<const OpenFolder> OpenFolder::openChild(const OpenFolder& parent, const std::string& name) {
    const std::string path = parent.childPath(name);
    const int fd = ::openat(parent.fd(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat info{};
        if ((error == ELOOP || error == ENOTDIR) && ::fstatat(parent.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(info.st_mode))
            throw FileError(FailureKind::FolderReplacedByLink, path,
                            "cannot list folder: it was replaced by a link, which is not followed");
        throw FileError(FailureKind::CannotListFolder, path, "cannot list folder", error);
    }
    return std::shared_ptr<const OpenFolder>(new OpenFolder(fd, withSlash(path)));
}

OpenFolder::~OpenFolder() { ::close(fd_); }

std::string OpenFolder::childPath(std::string_view name) const { return path_ + std::string(name); }

void OpenFolder::sync(const std::string& pathForMessages) const {
    int fd = fd_;
    int reopened = -1;
    if ((::fcntl(fd_, F_GETFL) & O_PATH) == O_PATH) {
        reopened = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (reopened < 0) return;  // a folder we may not read cannot be synced; the rename itself stands
        fd = reopened;
    }
    const int result = ::fsync(fd);
    const int error = errno;
    if (reopened >= 0) ::close(reopened);
    // Some file systems cannot sync a folder at all (EINVAL); nothing is lost there.
    if (result != 0 && error != EINVAL && error != EROFS)
        throw FileError(FailureKind::CannotWrite, pathForMessages, "cannot write", error);
}

FileLocation FileLocation::ofPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        struct stat info{};
        if (::stat(path.c_str(), &info) != 0) throw FileError(FailureKind::CannotOpen, path, "cannot open", errno);
        if (S_ISDIR(info.st_mode)) throw FileError(FailureKind::IsDirectory, path, "is a directory");
        throw FileError(FailureKind::NotRegularFile, path, "not a regular file");
    }
    std::shared_ptr<const OpenFolder> opened;
    try {
        opened = OpenFolder::open(folder);
    } catch (const FileError& e) {
        // Named by the file the user asked for.
        throw FileError(FailureKind::CannotOpen, path, "cannot open", e.error());
    }
    return {std::move(opened), std::move(name), path};
}

FileLocation FileLocation::sibling(std::string otherName) const {
    std::string otherPath = folder->childPath(otherName);
    return {folder, std::move(otherName), std::move(otherPath)};
}

int openSourceFile(const FileLocation& file, struct stat& status) {
    auto refuseUnlessRegular = [&file](const struct stat& info) {
        if (S_ISDIR(info.st_mode)) throw FileError(FailureKind::IsDirectory, file.path, "is a directory");
        if (!S_ISREG(info.st_mode)) throw FileError(FailureKind::NotRegularFile, file.path, "not a regular file");
    };
    const int folder = file.folder->fd();
    if (::fstatat(folder, file.name.c_str(), &status, 0) != 0)
        throw FileError(FailureKind::CannotOpen, file.path, "cannot open", errno);
    refuseUnlessRegular(status);
    const int fd = ::openat(folder, file.name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw FileError(FailureKind::CannotOpen, file.path, "cannot open", errno);
    try {
        if (::fstat(fd, &status) != 0) throw FileError(FailureKind::CannotOpen, file.path, "cannot open", errno);
        refuseUnlessRegular(status);  // it may have been swapped since the first look
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    } catch (...) {
        ::close(fd);
        throw;
    }
    return fd;
}

}  // namespace quenlet
