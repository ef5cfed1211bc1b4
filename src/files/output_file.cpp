#include "files/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "files/file_error.h"

namespace quenlet {

SourceIdentity SourceIdentity::of(const struct stat& status, std::string path) {
    return {std::move(path), status.st_dev, status.st_ino, static_cast<mode_t>(status.st_mode & 0777), status.st_gid};
}

AtomicOutputFile::AtomicOutputFile(FileLocation target, const SourceIdentity* source) : target_(std::move(target)) {
    if (source) {
        protectSource_ = true;
        source_ = *source;
    }
    const int folder = target_.folder->fd();
    const mode_t mode = source ? source_.mode : 0666;
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[TemporaryRegistration::kNameCapacity];
        std::snprintf(name, sizeof name, ".quenlet-%016llx.tmp", static_cast<unsigned long long>(random()));
        TemporaryRegistration registration(folder, name, target_.path.c_str());
        // The kernel takes the umask off the mode, as it does for cp.
        fd_ = ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        const int error = errno;
        registration.created();
        if (fd_ >= 0) {
            temporaryName_ = name;
            registration_ = std::move(registration);
            break;
        }
        if (error != EEXIST)
            throw FileError(FailureKind::CannotCreateOutput, target_.path, "cannot create output", error);
    }
    if (fd_ < 0)
        throw FileError(FailureKind::CannotCreateOutput, target_.path, "cannot create output: no free temporary name");

    // The copy belongs to whoever runs the typesetting, and so to their group.
    // Where the source's group may read it and the copy's group differs, the
    // copy takes the source's group, or else loses the group's permissions.
    struct stat made{};
    if (source && (source_.mode & 0070) != 0 && ::fstat(fd_, &made) == 0 && made.st_gid != source_.group &&
        ::fchown(fd_, static_cast<uid_t>(-1), source_.group) != 0)
        ::fchmod(fd_, made.st_mode & 0707);
}

AtomicOutputFile::~AtomicOutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporaryName_.empty()) ::unlinkat(target_.folder->fd(), temporaryName_.c_str(), 0);
}

void AtomicOutputFile::refuseToReplace(const FileLocation& target, const SourceIdentity& source) {
    struct stat existing{};
    if (::fstatat(target.folder->fd(), target.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
        existing.st_dev == source.device && existing.st_ino == source.inode)
        throw FileError(FailureKind::WouldReplaceSource, target.path,
                        "is the source " + source.path + " itself (through a link); the source is never overwritten");
}

void AtomicOutputFile::finishWriting() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    // fsync on a descriptor that cannot be synced (EINVAL) leaves nothing unsaved.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    if (::close(fd) != 0 && synced) throw FileError(FailureKind::CannotWrite, target_.path, "cannot write", errno);
    if (!synced) throw FileError(FailureKind::CannotWrite, target_.path, "cannot write", error);
}

void AtomicOutputFile::checkReplaceable() const {
    struct stat info{};
    if (::fstatat(target_.folder->fd(), target_.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode))
        throw FileError(FailureKind::CannotReplaceOutput, target_.path, "cannot replace output", EISDIR);
}

void AtomicOutputFile::commit(bool syncFolder) {
    finishWriting();
    if (protectSource_) refuseToReplace(target_, source_);
    const int folder = target_.folder->fd();
    if (::renameat(folder, temporaryName_.c_str(), folder, target_.name.c_str()) != 0)
        throw FileError(FailureKind::CannotReplaceOutput, target_.path, "cannot replace output", errno);
    temporaryName_.clear();
    registration_.release();
    if (syncFolder) target_.folder->sync(target_.path);
}

}  // namespace quenlet
