// Text files: reading a source line by line as it streams in, writing output
// lines, and an output file that appears only once it is complete.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "encoding.h"
#include "typeset_engine.h"

namespace quenlet {

// A file that could not be read or written: which file, and why.
class FileError : public std::runtime_error {
public:
    FileError(std::string path, std::string reason)
        : std::runtime_error(path + ": " + reason), path_(std::move(path)), reason_(std::move(reason)) {}
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

// "<what>: <system error text>" for errno.
std::string systemReason(const std::string& what, int error);

// Reads lines from an open descriptor. A line ends at CR LF, a lone CR or a
// lone LF; the last line needs no terminator, and a terminator at the very end
// makes no extra empty line. Without a forced encoding the format is detected:
// a byte order mark, else UTF-8 when the whole input is valid UTF-8 (which
// takes one pass over it; the descriptor must be seekable), else GB18030.
class LineReader {
public:
    static constexpr std::size_t kDefaultBlockSize = 256 * 1024;
    LineReader(int fd, std::string path, std::optional<Encoding> forced, std::size_t blockSize = kDefaultBlockSize);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    const TextFormat& format() const { return format_; }
    bool readLine(Text& line);
    std::uint64_t undecodableBytes() const { return decoder_->undecodableBytes(); }

private:
    std::size_t readSome(unsigned char* into, std::size_t capacity);
    void detectFormat(std::optional<Encoding> forced);
    void fill();

    int fd_;
    std::string path_;
    std::size_t blockSize_;
    TextFormat format_;
    std::unique_ptr<Decoder> decoder_;
    std::vector<unsigned char> bytes_;
    std::size_t carried_ = 0;  // undecoded bytes at the front of bytes_
    bool sourceEnded_ = false;
    Text decoded_;
    std::size_t position_ = 0;   // start of the next line in decoded_
    std::size_t searched_ = 0;   // decoded_ is known to hold no terminator before this
};

// Writes lines in the given format, each followed by CR LF; the byte order
// mark, if any, comes first. Buffered: flush() before the file is closed.
class LineWriter final : public LineSink {
public:
    LineWriter(int fd, std::string path, TextFormat format);
    void writeLine(TextView line) override;
    void writeLine(TextView before, TextView body, TextView after) override;
    void flush();

private:
    int fd_;
    std::string path_;
    Encoding encoding_;
    std::string lineEnd_;
    std::string buffer_;
};

// An output file written under a temporary name in the target's folder and
// renamed over the target by commit(). Until then the target is untouched; if
// the object is destroyed without a commit the temporary file is removed.
class AtomicOutputFile {
public:
    explicit AtomicOutputFile(std::string targetPath);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    int fd() const { return fd_; }
    void commit();

private:
    std::string targetPath_;
    std::string temporaryPath_;
    int fd_ = -1;
};

// Opens a source for reading only; refuses what is not a regular file (a
// directory, a FIFO, a device) without blocking on it.
int openSourceFile(const std::string& path);

}  // namespace quenlet
