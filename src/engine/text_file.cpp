#include "text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

namespace quenlet {
namespace {

constexpr std::size_t kWriteBlock = 256 * 1024;

bool isLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }

}  // namespace

std::string systemReason(const std::string& what, int error) {
    return what + ": " + std::generic_category().message(error);
}

LineReader::LineReader(int fd, std::string path, std::optional<Encoding> forced, std::size_t blockSize)
    : fd_(fd), path_(std::move(path)), blockSize_(blockSize) {
    detectFormat(forced);
    decoder_ = makeDecoder(format_.encoding);
}

std::size_t LineReader::readSome(unsigned char* into, std::size_t capacity) {
    for (;;) {
        const ssize_t got = ::read(fd_, into, capacity);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) throw FileError(path_, systemReason("cannot read", errno));
    }
}

void LineReader::detectFormat(std::optional<Encoding> forced) {
    unsigned char head[3];
    std::size_t headSize = 0;
    while (headSize < sizeof head) {
        const std::size_t got = readSome(head + headSize, sizeof head - headSize);
        if (got == 0) break;
        headSize += got;
    }
    auto startsWithMark = [&](Encoding e) {
        const std::string_view mark = byteOrderMark(e);
        return !mark.empty() && headSize >= mark.size() && std::memcmp(head, mark.data(), mark.size()) == 0;
    };

    if (forced) {
        format_ = {*forced, startsWithMark(*forced)};
    } else if (startsWithMark(Encoding::Utf8)) {
        format_ = {Encoding::Utf8, true};
    } else if (startsWithMark(Encoding::Utf16LE)) {
        format_ = {Encoding::Utf16LE, true};
    } else if (startsWithMark(Encoding::Utf16BE)) {
        format_ = {Encoding::Utf16BE, true};
    } else {
        Utf8Validator validator;
        validator.feed(head, headSize);
        std::vector<unsigned char> block(blockSize_);
        while (validator.stillValid()) {
            const std::size_t got = readSome(block.data(), block.size());
            if (got == 0) break;
            validator.feed(block.data(), got);
        }
        format_ = {validator.finish() ? Encoding::Utf8 : Encoding::Gb18030, false};
    }
    const off_t start = format_.hasBom ? static_cast<off_t>(byteOrderMark(format_.encoding).size()) : 0;
    if (::lseek(fd_, start, SEEK_SET) != start) throw FileError(path_, systemReason("cannot read", errno));
}

void LineReader::fill() {
    if (sourceEnded_) return;
    bytes_.resize(carried_ + blockSize_);
    const std::size_t got = readSome(bytes_.data() + carried_, blockSize_);
    const std::size_t available = carried_ + got;
    const bool final = got == 0;
    if (position_ > 0) {  // drop the lines already handed out
        decoded_.erase(0, position_);
        searched_ -= position_;
        position_ = 0;
    }
    const std::size_t consumed = decoder_->decode(bytes_.data(), available, final, decoded_);
    carried_ = available - consumed;
    std::memmove(bytes_.data(), bytes_.data() + consumed, carried_);
    sourceEnded_ = final;
}

bool LineReader::readLine(Text& line) {
    for (;;) {
        const auto begin = decoded_.begin();
        const auto found = std::find_if(begin + static_cast<std::ptrdiff_t>(searched_), decoded_.end(), isLineBreak);
        if (found != decoded_.end()) {
            const auto at = static_cast<std::size_t>(found - begin);
            if (*found == u'\r' && at + 1 == decoded_.size() && !sourceEnded_) {
                searched_ = at;  // an LF may follow in the next block
                fill();
                continue;
            }
            line.assign(decoded_, position_, at - position_);
            std::size_t next = at + 1;
            if (*found == u'\r' && next < decoded_.size() && decoded_[next] == u'\n') ++next;
            position_ = searched_ = next;
            return true;
        }
        searched_ = decoded_.size();
        if (sourceEnded_) {
            if (position_ >= decoded_.size()) return false;
            line.assign(decoded_, position_);
            position_ = searched_ = decoded_.size();
            return true;
        }
        fill();
    }
}

LineWriter::LineWriter(int fd, std::string path, TextFormat format)
    : fd_(fd), path_(std::move(path)), encoding_(format.encoding) {
    encodeText(encoding_, u"\r\n", lineEnd_);
    if (format.hasBom) buffer_.assign(byteOrderMark(encoding_));
}

void LineWriter::writeLine(TextView line) {
    encodeText(encoding_, line, buffer_);
    buffer_.append(lineEnd_);
    if (buffer_.size() >= kWriteBlock) flush();
}

void LineWriter::writeLine(TextView before, TextView body, TextView after) {
    encodeText(encoding_, before, buffer_);
    encodeText(encoding_, body, buffer_);
    writeLine(after);
}

void LineWriter::flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t wrote = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            throw FileError(path_, systemReason("cannot write", errno));
        }
        done += static_cast<std::size_t>(wrote);
    }
    buffer_.clear();
}

AtomicOutputFile::AtomicOutputFile(std::string targetPath) : targetPath_(std::move(targetPath)) {
    const std::size_t slash = targetPath_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : targetPath_.substr(0, slash + 1);
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, ".quenlet-%016llx.tmp", static_cast<unsigned long long>(random()));
        const std::string candidate = folder + name;
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temporaryPath_ = candidate;
            return;
        }
        if (errno != EEXIST) throw FileError(targetPath_, systemReason("cannot create output", errno));
    }
    throw FileError(targetPath_, "cannot create output: no free temporary name");
}

AtomicOutputFile::~AtomicOutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
}

void AtomicOutputFile::commit() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw FileError(targetPath_, systemReason("cannot write", errno));
    if (::rename(temporaryPath_.c_str(), targetPath_.c_str()) != 0)
        throw FileError(targetPath_, systemReason("cannot replace output", errno));
    temporaryPath_.clear();
}

int openSourceFile(const std::string& path) {
    auto refuseUnlessRegular = [&path](const struct stat& info) {
        if (S_ISDIR(info.st_mode)) throw FileError(path, "is a directory");
        if (!S_ISREG(info.st_mode)) throw FileError(path, "not a regular file");
    };
    struct stat info{};
    if (::stat(path.c_str(), &info) != 0) throw FileError(path, systemReason("cannot open", errno));
    refuseUnlessRegular(info);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw FileError(path, systemReason("cannot open", errno));
    try {
        if (::fstat(fd, &info) != 0) throw FileError(path, systemReason("cannot open", errno));
        refuseUnlessRegular(info);  // it may have been swapped since the first look
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    } catch (...) {
        ::close(fd);
        throw;
    }
    return fd;
}

}  // namespace quenlet
