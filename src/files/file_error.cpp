#include "files/file_error.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace quenlet {

std::string systemReason(const std::string& what, int error) {
    return what + ": " + std::generic_category().message(error);
}

std::size_t readSome(int fd, const std::string& path, unsigned char* into, std::size_t capacity) {
    for (;;) {
        const ssize_t got = ::read(fd, into, capacity);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) throw FileError(FailureKind::CannotRead, path, "cannot read", errno);
    }
}

std::size_t readSomeAt(int fd, const std::string& path, unsigned char* into, std::size_t capacity, std::uint64_t offset) {
    for (;;) {
        const ssize_t got = ::pread(fd, into, capacity, static_cast<off_t>(offset));
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) throw FileError(FailureKind::CannotRead, path, "cannot read", errno);
    }
}

void writeAll(int fd, const std::string& path, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            throw FileError(FailureKind::CannotWrite, path, "cannot write", errno);
        }
        done += static_cast<std::size_t>(wrote);
    }
}

}  // namespace quenlet
