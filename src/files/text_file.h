// Text files: reading a source line by line as it streams in and writing
// output lines. Where files live and how they are opened is file_location.h's
// business; the output file that appears only once it is complete is
// output_file.h's.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/helper_threads.h"
#include "files/file_error.h"
#include "text/encoding.h"
#include "text/encoding_detector.h"
#include "text/text.h"

namespace quenlet {

// What a source was when it was opened: a change is found by comparing.
struct FileIdentity {
    off_t size = 0;
    timespec modified{};
    // How far it is read: its size, for a regular file that reports one.
    std::optional<std::uint64_t> readSize;
};

// Reads lines from an open descriptor. A line ends at CR LF, a lone CR or a
// lone LF; the last line needs no terminator, and a terminator at the very end
// makes no extra empty line. Without a forced encoding the format is detected
// (see encoding_detector.h); telling valid UTF-8 takes one pass over the
// whole input, so the descriptor must be seekable. A regular file is read up
// to the size it has when the reader is made; one that has grown by the end
// is reported as changed (FailureKind::ChangedWhileRead), as is one that
// changed otherwise.
// A stretch of a file's bytes: [begin, end).
struct ByteRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

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
    // The same as a view into the reader's own buffer, valid until the next call.
    bool readLine(TextView& line);
    // Reads the source again from its first line (after the byte order mark),
    // as for the first time: for runs that look at the whole source first.
    void restart();

    // Reading parts of the source at once, each on its own thread. Where a
    // line starts at or after byte `from` (within `within` bytes of it): none
    // when the source's encoding does not show a line feed byte by byte, its
    // size is unknown, or no line starts there.
    std::optional<std::uint64_t> lineStartFrom(std::uint64_t from, std::size_t within) const;
    // A reader of the lines in the bytes `part` of the same source, which
    // begins at a line start (or the text's start) and ends at one (or the
    // source's end). It decodes on the calling thread and leaves this
    // reader's position alone.
    std::unique_ptr<LineReader> partReader(ByteRange part) const;
    // Where the text begins (after the byte order mark), and the size the source had when opened.
    std::uint64_t textStart() const;
    std::optional<std::uint64_t> sourceSize() const { return opened_.readSize; }
    // Known once readLine has returned false.
    std::uint64_t undecodableBytes() const;
    // Bytes that belong after the last line: the odd last byte of a UTF-16
    // file, which cannot be part of any line. Known once readLine has
    // returned false.
    const std::string& trailingBytes() const;

    class Source;  // reads and decodes one block after another

private:
    LineReader(const LineReader& whole, ByteRange part);
    void fill();
    void startSource();

    int fd_;
    std::size_t blockSize_;
    Threading threading_;
    std::string path_;
    FileIdentity opened_;
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
class LineWriter final {
public:
    LineWriter(int fd, std::string path, const OutputFormat& format, Threading threading = Threading::Inline);
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    void writeLine(TextView line);
    // One line made of three pieces (a marker, a paragraph, a marker).
    void writeLine(TextView before, TextView body, TextView after);
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
