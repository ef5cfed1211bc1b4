#include "files/scratch_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "files/file_error.h"
#include "files/temporary_files.h"

namespace quenlet {
namespace {

// An unnamed file where the file system makes them; else a named one,
// removed at once (registered meanwhile, so that a signal in between does
// not leave it behind).
int openUnnamed(const OpenFolder& folder, const std::string& pathForMessages) {
    int fd = ::openat(folder.fd(), ".", O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        throw FileError(FailureKind::CannotCreateOutput, pathForMessages, "cannot create output", errno);
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[TemporaryRegistration::kNameCapacity];
        std::snprintf(name, sizeof name, ".quenlet-%016llx.tmp", static_cast<unsigned long long>(random()));
        TemporaryRegistration registration(folder.fd(), name, pathForMessages.c_str());
        fd = ::openat(folder.fd(), name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        const int error = errno;
        registration.created();
        if (fd >= 0) {
            ::unlinkat(folder.fd(), name, 0);
            return fd;
        }
        if (error != EEXIST)
            throw FileError(FailureKind::CannotCreateOutput, pathForMessages, "cannot create output", error);
    }
    throw FileError(FailureKind::CannotCreateOutput, pathForMessages, "cannot create output: no free temporary name");
}

}  // namespace

ScratchFile::ScratchFile(std::shared_ptr<const OpenFolder> folder, std::string pathForMessages)
    : path_(std::move(pathForMessages)) {
    if (!folder) {
        const char* variable = std::getenv("TMPDIR");
        folder = OpenFolder::open(variable && *variable ? variable : "/tmp");
    }
    fd_ = openUnnamed(*folder, path_);
}

ScratchFile::~ScratchFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint64_t ScratchFile::append(std::string_view bytes) {
    const std::uint64_t at = end_.fetch_add(bytes.size());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(at + done));
        if (wrote < 0) {
            if (errno == EINTR) continue;
            throw FileError(FailureKind::CannotWrite, path_, "cannot write", errno);
        }
        done += static_cast<std::size_t>(wrote);
    }
    return at;
}

void ScratchFile::read(std::uint64_t offset, char* into, std::size_t length) const {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd_, into + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw FileError(FailureKind::CannotRead, path_, "cannot read", errno);
        if (got == 0) throw FileError(FailureKind::CannotRead, path_, "cannot read: the scratch file is too short");
        done += static_cast<std::size_t>(got);
    }
}

}  // namespace quenlet
