// Text files: reading a source line by line as it streams in and writing
// output lines. Where files live and how they are opened is file_location.h's
// business; the output file that appears only once it is complete is
// output_file.h's (both included here for the writers).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/helper_threads.h"
#include "text/encoding.h"
#include "text/encoding_detector.h"
#include "base/failure.h"
#include "files/file_location.h"
#include "files/output_file.h"
#include "engine/typeset_engine.h"

namespace quenlet {

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
void writeAll(int fd, const std::string& path, std::string_view bytes);

// Reads lines from an open descriptor. A line ends at CR LF, a lone CR or a
// lone LF; the last line needs no terminator, and a terminator at the very end
// makes no extra empty line. Without a forced encoding the format is detected
// (see encoding_detector.h); telling valid UTF-8 takes one pass over the
// whole input, so the descriptor must be seekable.
class LineReader {
public:
    static constexpr std::size_t kDefaultBlockSize = 256 * 1024;
    LineReader(int fd, std::string path, std::optional<Encoding> forced, std::size_t blockSize = kDefaultBlockSize,
               Threading threading = Threading::Inline);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    const TextFormat& format() const { return detection_.format; }
    const Detection& detection() const { return detection_; }
    bool readLine(Text& line);
    // Known once readLine has returned false.
    std::uint64_t undecodableBytes() const;
    // Bytes that belong after the last line: the odd last byte of a UTF-16
    // file, which cannot be part of any line. Known once readLine has
    // returned false.
    const std::string& trailingBytes() const;

    class Source;  // reads and decodes one block after another

private:
    void fill();

    std::string path_;
    Detection detection_;
    std::unique_ptr<Source> source_;
    bool sourceEnded_ = false;
    Text decoded_;
    std::size_t position_ = 0;  // start of the next line in decoded_
    std::size_t searched_ = 0;  // decoded_ is known to hold no terminator before this
};

enum class LineEnd { CrLf, Lf };

// How an output is written: its encoding and byte order mark, its line end,
// and what becomes of what the encoding cannot take as it is.
struct OutputFormat {
    TextFormat text;
    LineEnd lineEnd = LineEnd::CrLf;
    EncodePolicy policy;
};

// Writes lines in the given format, each followed by its line end; the byte
// order mark, if any, comes first. Buffered: flush() writes everything out and
// reports the first failure. A character the encoding cannot hold fails the
// output (a FileError naming the output line and the character) unless the
// policy replaces it.
class LineWriter final : public LineSink {
public:
    // CR LF line ends; escapes as their bytes, "?" for what the encoding cannot hold.
    LineWriter(int fd, std::string path, TextFormat format, Threading threading = Threading::Inline);
    LineWriter(int fd, std::string path, const OutputFormat& format, Threading threading = Threading::Inline);
    ~LineWriter() override;
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    void writeLine(TextView line) override;
    void writeLine(TextView before, TextView body, TextView after) override;
    // `trailingBytes` are written last of all (see LineReader::trailingBytes).
    void flush(std::string_view trailingBytes = {});
    // What was replaced; complete once flush() has returned.
    EncodeCounts counts() const;
    // Undecodable source bytes written back, known after flush(): fewer than
    // the reader found when lines holding them were dropped.
    std::uint64_t undecodableBytesWritten() const;

    class Sink;  // encodes and writes one block of lines after another

private:
    void endLine();

    int fd_;
    std::string path_;
    std::uint64_t trailingWritten_ = 0;
    Text lines_;  // the lines not yet handed on, line ends included
    TextView lineEnd_;
    std::unique_ptr<Sink> sink_;
};

}  // namespace quenlet
