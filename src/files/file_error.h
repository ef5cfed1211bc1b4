// A file that could not be read or written, and what front ends need to say
// why in their own words: the kind of failure, the file, the system's error
// number and, for a character an encoding cannot hold, which one and where.
// The reads and writes of the files room report failures this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "text/encoding.h"
#include "text/encoding_detector.h"

namespace quenlet {

// The character an Unencodable failure stopped at.
struct UnencodableCharacter {
    std::uint64_t line = 0;  // the output line, counted from 1
    char32_t character = 0;
    Encoding encoding = Encoding::Utf8;  // the output's
    bool operator==(const UnencodableCharacter&) const = default;
};

// For OutputNameTaken: the output the source would have written, and the
// source earlier in the run whose output has that name.
struct TakenOutputName {
    std::string output;       // its path
    bool book = false;        // a book, else a text copy
    std::string firstSource;  // the path of the source it belongs to
    bool firstBook = false;   // whether it is that source's book
    bool operator==(const TakenOutputName&) const = default;
};

struct FailureCause {
    FailureCause() = default;
    FailureCause(FailureKind kind, std::string path, int errorNumber = 0)
        : kind(kind), path(std::move(path)), errorNumber(errorNumber) {}

    FailureKind kind = FailureKind::None;
    std::string path;     // the file or folder it concerns, as the messages name it
    int errorNumber = 0;  // the system's error number behind it, when there is one
    UnencodableCharacter unencodable;  // for Unencodable
    LikelyEncoding likely = LikelyEncoding::Unknown;  // for UnsupportedEncoding: what the source most likely is
    TakenOutputName taken;  // for OutputNameTaken
    bool operator==(const FailureCause&) const = default;
};

// "<what>: <system error text>" for errno.
std::string systemReason(const std::string& what, int error);

// A file that could not be read or written: which file, why (in English, for
// the command line) and the kind of failure with its details (for front ends
// that phrase their own messages); error() is the system's error number when
// a system call failed, else 0.
class FileError : public std::runtime_error {
public:
    FileError(FailureCause cause, std::string reason)
        : std::runtime_error(cause.path + ": " + reason), cause_(std::move(cause)), reason_(std::move(reason)) {}
    FileError(FailureKind kind, std::string path, std::string reason)
        : FileError(FailureCause{kind, std::move(path)}, std::move(reason)) {}
    // "<path>: <what>: <system error text>".
    FileError(FailureKind kind, std::string path, const std::string& what, int error)
        : FileError(FailureCause{kind, std::move(path), error}, systemReason(what, error)) {}
    // Without a kind (FailureKind::Other): front ends can show only the English reason.
    FileError(std::string path, std::string reason)
        : FileError(FailureKind::Other, std::move(path), std::move(reason)) {}
    FileError(std::string path, const std::string& what, int error)
        : FileError(FailureKind::Other, std::move(path), what, error) {}

    const std::string& path() const { return cause_.path; }
    const std::string& reason() const { return reason_; }
    int error() const { return cause_.errorNumber; }
    const FailureCause& cause() const { return cause_; }

private:
    FailureCause cause_;
    std::string reason_;
};

// read() and write() that retry when interrupted and throw FileError naming
// `path` on failure; readSome returns 0 at the end of the input.
std::size_t readSome(int fd, const std::string& path, unsigned char* into, std::size_t capacity);
// The same from the byte at `offset`, leaving the descriptor's own position
// where it is: for readers of parts of one file on several threads.
std::size_t readSomeAt(int fd, const std::string& path, unsigned char* into, std::size_t capacity, std::uint64_t offset);
void writeAll(int fd, const std::string& path, std::string_view bytes);

}  // namespace quenlet
