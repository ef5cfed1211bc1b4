#include "files/text_file.h"

#include "files/detection_sample.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>

namespace quenlet {
namespace {

bool isLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }

// A bounded hand-over of items from one thread to another. close() is the
// producer's "no more"; cancel() stops both sides at once.
template <typename Item>
class Handover {
public:
    explicit Handover(std::size_t capacity) : capacity_(capacity) {}

    bool push(Item item) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return cancelled_ || items_.size() < capacity_; });
        if (cancelled_) return false;
        items_.push_back(std::move(item));
        changed_.notify_all();
        return true;
    }
    // False once the hand-over is closed and empty, or cancelled.
    bool pop(Item& item) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return cancelled_ || closed_ || !items_.empty(); });
        if (cancelled_ || items_.empty()) return false;
        item = std::move(items_.front());
        items_.pop_front();
        changed_.notify_all();
        return true;
    }
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }
    void cancel() {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    std::size_t capacity_;
    bool closed_ = false;
    bool cancelled_ = false;
};

constexpr std::size_t kHandoverBlocks = 4;
constexpr std::size_t kWriteBlockUnits = 128 * 1024;

FileIdentity identityOf(int fd) {
    struct stat info{};
    if (::fstat(fd, &info) != 0) return {};
    // Files such as those under /proc report no size: they are read to their end.
    const bool sized = S_ISREG(info.st_mode) && info.st_size > 0;
    return {info.st_size, info.st_mtim, sized ? std::optional<std::uint64_t>(info.st_size) : std::nullopt};
}

// Reads at most `limit` bytes (none when it is 0); 0 at the end of the input.
std::size_t readAtMost(int fd, const std::string& path, unsigned char* into, std::size_t capacity,
                       std::uint64_t limit) {
    if (limit == 0) return 0;
    return readSome(fd, path, into, static_cast<std::size_t>(std::min<std::uint64_t>(capacity, limit)));
}

// Detects the format of the input at the descriptor's current position (the
// start of the file) and leaves the descriptor at the first byte after the
// byte order mark; it reads no further than the file's size when opened.
Detection detectFormat(int fd, const std::string& path, std::optional<Encoding> forced, std::size_t blockSize,
                       std::optional<std::uint64_t> size) {
    // A forced encoding needs only enough to see its own mark.
    const std::size_t wanted = forced ? 4 : kSampleBytes;
    std::string sample(wanted, '\0');
    std::size_t sampleSize = 0;
    bool ended = false;
    while (sampleSize < wanted) {
        const std::size_t got = readAtMost(fd, path, reinterpret_cast<unsigned char*>(sample.data()) + sampleSize,
                                           wanted - sampleSize, size ? *size - sampleSize : wanted);
        if (got == 0) {
            ended = true;
            break;
        }
        sampleSize += got;
    }
    sample.resize(sampleSize);

    Detection detection;
    if (forced) {
        const std::string_view mark = byteOrderMark(*forced);
        detection = {{*forced, !mark.empty() && sample.starts_with(mark)}, DetectedBy::Option};
    } else {
        detection = detectFileEncoding(fd, path, sample, ended, blockSize, size);
    }
    const off_t start =
        detection.format.hasBom ? static_cast<off_t>(byteOrderMark(detection.format.encoding).size()) : 0;
    if (::lseek(fd, start, SEEK_SET) != start) throw FileError(FailureKind::CannotRead, path, "cannot read", errno);
    return detection;
}

// Reads and decodes a file block by block, up to the size it had when it was
// opened: a file that grows meanwhile (a download still going on) is read no
// further, so its run ends. At the end it checks that the file is still the
// one that was opened: a file that changes meanwhile would give an output that
// matches neither its old nor its new content.
class BlockDecoding {
public:
    BlockDecoding(int fd, std::string path, Encoding encoding, std::size_t blockSize, const FileIdentity& opened)
        : fd_(fd), path_(std::move(path)), blockSize_(blockSize), decoder_(makeDecoder(encoding)),
          holdsOddByte_(encodingInfo(encoding).unitBytes == 2),
          startOffset_(::lseek(fd, 0, SEEK_CUR)), before_(opened) {}
    // Only the bytes in `part`, read where they are, the descriptor's
    // position left alone.
    BlockDecoding(int fd, std::string path, Encoding encoding, std::size_t blockSize, const FileIdentity& opened,
                  ByteRange part)
        : fd_(fd), path_(std::move(path)), blockSize_(blockSize), decoder_(makeDecoder(encoding)),
          holdsOddByte_(false), startOffset_(part.begin), before_(opened), partEnd_(part.end) {}

    // Appends the next block's text; false once the input is used up (the
    // last of it appended).
    bool next(Text& into) {
        bytes_.resize(carried_ + blockSize_);
        const std::optional<std::uint64_t> end = partEnd_ ? partEnd_ : before_.readSize;
        const std::uint64_t at = startOffset_ + bytesRead_;
        const std::uint64_t left = end ? *end - std::min<std::uint64_t>(*end, at) : blockSize_;
        const std::size_t got =
            partEnd_ ? (left == 0 ? 0
                                  : readSomeAt(fd_, path_, bytes_.data() + carried_,
                                               static_cast<std::size_t>(std::min<std::uint64_t>(blockSize_, left)), at))
                     : readAtMost(fd_, path_, bytes_.data() + carried_, blockSize_, left);
        bytesRead_ += got;
        const std::size_t available = carried_ + got;
        const bool final = got == 0;
        std::size_t decodable = available;
        if (final && holdsOddByte_ && available % 2 == 1) {
            // The odd last byte of a UTF-16 file is kept apart, to be written
            // after everything else: within the text it would shift every
            // code unit after it, the line ends included.
            trailingBytes_.assign(1, static_cast<char>(bytes_[available - 1]));
            --decodable;
        }
        const std::size_t consumed = decoder_->decode(bytes_.data(), decodable, final, into) + (available - decodable);
        carried_ = available - consumed;
        std::memmove(bytes_.data(), bytes_.data() + consumed, carried_);
        if (final) checkUnchanged();
        return !final;
    }
    std::uint64_t undecodableBytes() const { return decoder_->undecodableBytes() + trailingBytes_.size(); }
    const std::string& trailingBytes() const { return trailingBytes_; }

private:
    void checkUnchanged() const {
        const FileIdentity after = identityOf(fd_);
        if (after.size != before_.size || after.modified.tv_sec != before_.modified.tv_sec ||
            after.modified.tv_nsec != before_.modified.tv_nsec ||
            (before_.readSize && bytesRead_ + startOffset_ != (partEnd_ ? *partEnd_ : *before_.readSize)))
            throw FileError(FailureKind::ChangedWhileRead, path_, "the file changed while it was being read");
    }

    int fd_;
    std::string path_;
    std::size_t blockSize_;
    std::unique_ptr<Decoder> decoder_;
    bool holdsOddByte_;
    std::string trailingBytes_;
    std::vector<unsigned char> bytes_;
    std::size_t carried_ = 0;
    std::uint64_t startOffset_;
    FileIdentity before_;
    std::optional<std::uint64_t> partEnd_;  // reading a part of the file only, up to here
    std::uint64_t bytesRead_ = 0;
};

}  // namespace

class LineReader::Source {
public:
    virtual ~Source() = default;
    virtual bool next(Text& into) = 0;
    virtual std::uint64_t undecodableBytes() const = 0;
    virtual const std::string& trailingBytes() const = 0;
};

namespace {

class InlineSource final : public LineReader::Source {
public:
    explicit InlineSource(BlockDecoding decoding) : decoding_(std::move(decoding)) {}
    bool next(Text& into) override { return decoding_.next(into); }
    std::uint64_t undecodableBytes() const override { return decoding_.undecodableBytes(); }
    const std::string& trailingBytes() const override { return decoding_.trailingBytes(); }

private:
    BlockDecoding decoding_;
};

// Decodes ahead on a helper thread, a few blocks at most; inline when no
// thread can be started.
class AheadSource final : public LineReader::Source {
public:
    explicit AheadSource(BlockDecoding decoding) : decoding_(std::move(decoding)), blocks_(kHandoverBlocks) {
        inline_ = helper_.start(1, [this] { run(); }) == 0;
    }
    ~AheadSource() override {
        blocks_.cancel();
        helper_.join();
    }
    bool next(Text& into) override {
        if (inline_) return decoding_.next(into);
        Block block;
        if (!blocks_.pop(block)) return false;
        if (block.error) std::rethrow_exception(block.error);
        if (into.empty()) into = std::move(block.text);
        else into.append(block.text);
        return !block.last;
    }
    std::uint64_t undecodableBytes() const override { return decoding_.undecodableBytes(); }
    const std::string& trailingBytes() const override { return decoding_.trailingBytes(); }

private:
    struct Block {
        Text text;
        bool last = false;
        std::exception_ptr error;
    };
    void run() {
        try {
            for (bool more = true; more;) {
                Block block;
                more = decoding_.next(block.text);
                block.last = !more;
                if (!blocks_.push(std::move(block))) return;
            }
        } catch (...) {
            Block failed;
            failed.error = std::current_exception();
            failed.last = true;
            blocks_.push(std::move(failed));
        }
    }

    BlockDecoding decoding_;
    Handover<Block> blocks_;
    bool inline_ = false;
    HelperThreads helper_;
};

}  // namespace

LineReader::LineReader(int fd, std::string path, std::optional<Encoding> forced, std::size_t blockSize,
                       Threading threading)
    : fd_(fd), blockSize_(blockSize), threading_(threading), path_(std::move(path)), opened_(identityOf(fd)),
      detection_(detectFormat(fd, path_, forced, blockSize, opened_.readSize)) {
    startSource();
}

LineReader::LineReader(const LineReader& whole, ByteRange part)
    : fd_(whole.fd_), blockSize_(whole.blockSize_), threading_(Threading::Inline), path_(whole.path_),
      opened_(whole.opened_), detection_(whole.detection_) {
    source_ = std::make_unique<InlineSource>(
        BlockDecoding(fd_, path_, detection_.format.encoding, blockSize_, opened_, part));
}

std::unique_ptr<LineReader> LineReader::partReader(ByteRange part) const {
    return std::unique_ptr<LineReader>(new LineReader(*this, part));
}

std::uint64_t LineReader::textStart() const {
    return detection_.format.hasBom ? byteOrderMark(detection_.format.encoding).size() : 0;
}

std::optional<std::uint64_t> LineReader::lineStartFrom(std::uint64_t from, std::size_t within) const {
    if (!encodingInfo(detection_.format.encoding).lineFeedByteStandsAlone || !opened_.readSize) return std::nullopt;
    const std::uint64_t end = std::min<std::uint64_t>(*opened_.readSize, from + within);
    std::vector<unsigned char> bytes(64 * 1024);
    for (std::uint64_t at = std::max(from, textStart()); at < end;) {
        const std::size_t got = readSomeAt(fd_, path_, bytes.data(),
                                           static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), end - at)), at);
        if (got == 0) break;
        const auto* const feed = static_cast<const unsigned char*>(std::memchr(bytes.data(), '\n', got));
        if (feed) {
            const std::uint64_t start = at + static_cast<std::uint64_t>(feed - bytes.data()) + 1;
            return start < *opened_.readSize ? std::optional<std::uint64_t>(start) : std::nullopt;
        }
        at += got;
    }
    return std::nullopt;
}

void LineReader::startSource() {
    BlockDecoding decoding(fd_, path_, detection_.format.encoding, blockSize_, opened_);
    if (threading_ == Threading::Pipelined) source_ = std::make_unique<AheadSource>(std::move(decoding));
    else source_ = std::make_unique<InlineSource>(std::move(decoding));
}

void LineReader::restart() {
    source_.reset();  // its helper thread, if any, stops reading first
    const off_t start =
        detection_.format.hasBom ? static_cast<off_t>(byteOrderMark(detection_.format.encoding).size()) : 0;
    if (::lseek(fd_, start, SEEK_SET) != start) throw FileError(FailureKind::CannotRead, path_, "cannot read", errno);
    decoded_.clear();
    position_ = searched_ = 0;
    sourceEnded_ = false;
    startSource();
}

LineReader::~LineReader() = default;

const std::string& LineReader::trailingBytes() const { return source_->trailingBytes(); }

std::uint64_t LineReader::undecodableBytes() const { return source_->undecodableBytes(); }

void LineReader::fill() {
    if (sourceEnded_) return;
    if (position_ > 0) {  // drop the lines already handed out
        decoded_.erase(0, position_);
        searched_ -= position_;
        position_ = 0;
    }
    sourceEnded_ = !source_->next(decoded_);
}

bool LineReader::readLine(Text& line) {
    TextView view;
    if (!readLine(view)) return false;
    line.assign(view);
    return true;
}

bool LineReader::readLine(TextView& line) {
    for (;;) {
        // (most characters lie far above both line breaks: one comparison passes them over)
        const char16_t* const text = decoded_.data();
        std::size_t at = searched_;
        while (at < decoded_.size() && (text[at] > u'\r' || !isLineBreak(text[at]))) ++at;
        if (at < decoded_.size()) {
            if (text[at] == u'\r' && at + 1 == decoded_.size() && !sourceEnded_) {
                searched_ = at;  // an LF may follow in the next block
                fill();
                continue;
            }
            line = TextView(decoded_).substr(position_, at - position_);
            std::size_t next = at + 1;
            if (text[at] == u'\r' && next < decoded_.size() && text[next] == u'\n') ++next;
            position_ = searched_ = next;
            return true;
        }
        searched_ = decoded_.size();
        if (sourceEnded_) {
            if (position_ >= decoded_.size()) return false;
            line = TextView(decoded_).substr(position_);
            position_ = searched_ = decoded_.size();
            return true;
        }
        fill();
    }
}

class LineWriter::Sink {
public:
    virtual ~Sink() = default;
    virtual void take(Text lines) = 0;
    virtual void finish() = 0;
    virtual EncodeCounts counts() const = 0;
    virtual std::uint64_t escapesWritten() const = 0;
};

namespace {

// "说 (U+8BF4)": a character as a message shows it.
std::string describeCharacter(char32_t character) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(character));
    Text text;
    appendCharacter(text, character);
    return toUtf8(text) + " (" + code + ")";
}

// Encodes blocks of lines and writes them; the byte order mark goes first.
class BlockEncoding {
public:
    BlockEncoding(int fd, std::string path, const OutputFormat& format)
        : fd_(fd), path_(std::move(path)), encoding_(format.text.encoding), policy_(format.policy),
          bytes_(format.text.hasBom ? byteOrderMark(format.text.encoding) : std::string_view()) {}

    void write(const Text& lines) {
        const std::size_t stopped = encodeText(encoding_, lines, bytes_, policy_, counts_);
        if (stopped < lines.size()) {
            const auto line = linesBefore_ + static_cast<std::uint64_t>(std::count(
                                                 lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(stopped), u'\n'));
            const char32_t character = characterAt(lines, stopped).character;
            FailureCause cause{FailureKind::Unencodable, path_};
            cause.unencodable = {line + 1, character, encoding_};
            throw FileError(std::move(cause), "line " + std::to_string(line + 1) + ": " + describeCharacter(character) +
                                                  " cannot be written in " + encodingName(encoding_) +
                                                  "; nothing was written");
        }
        linesBefore_ += static_cast<std::uint64_t>(std::count(lines.begin(), lines.end(), u'\n'));
        writeAll(fd_, path_, bytes_);
        bytes_.clear();
    }
    void finish() {
        writeAll(fd_, path_, bytes_);  // the byte order mark of an empty output
        bytes_.clear();
    }
    const EncodeCounts& counts() const { return counts_; }
    // Undecodable source bytes written back as themselves (none when they
    // were replaced because the output has another encoding).
    std::uint64_t escapesWritten() const { return counts_.escapesWritten; }

private:
    int fd_;
    std::string path_;
    Encoding encoding_;
    EncodePolicy policy_;
    EncodeCounts counts_;
    std::uint64_t linesBefore_ = 0;  // line ends already written
    std::string bytes_;
};

class InlineSink final : public LineWriter::Sink {
public:
    explicit InlineSink(BlockEncoding encoding) : encoding_(std::move(encoding)) {}
    void take(Text lines) override { encoding_.write(lines); }
    void finish() override { encoding_.finish(); }
    EncodeCounts counts() const override { return encoding_.counts(); }
    std::uint64_t escapesWritten() const override { return encoding_.escapesWritten(); }

private:
    BlockEncoding encoding_;
};

// Encodes and writes behind on a helper thread, or inline when no thread can
// be started. A failure there stops the hand-over, and the next take() or
// finish() reports it.
class BehindSink final : public LineWriter::Sink {
public:
    explicit BehindSink(BlockEncoding encoding) : encoding_(std::move(encoding)), blocks_(kHandoverBlocks) {
        inline_ = helper_.start(1, [this] { run(); }) == 0;
    }
    ~BehindSink() override {
        blocks_.cancel();
        helper_.join();
    }
    void take(Text lines) override {
        if (inline_) encoding_.write(lines);
        else if (!blocks_.push(std::move(lines))) rethrowFailure();
    }
    std::uint64_t escapesWritten() const override { return encoding_.escapesWritten(); }
    void finish() override {
        blocks_.close();
        helper_.join();
        if (failure_) std::rethrow_exception(failure_);
        encoding_.finish();
    }
    // Read only after finish(), when the helper thread has ended.
    EncodeCounts counts() const override { return encoding_.counts(); }

private:
    void run() {
        try {
            Text lines;
            while (blocks_.pop(lines)) encoding_.write(lines);
        } catch (...) {
            failure_ = std::current_exception();
            blocks_.cancel();
        }
    }
    void rethrowFailure() {
        blocks_.cancel();
        helper_.join();
        if (failure_) std::rethrow_exception(failure_);
        throw std::logic_error("output hand-over stopped without a failure");
    }

    BlockEncoding encoding_;
    Handover<Text> blocks_;
    std::exception_ptr failure_;
    bool inline_ = false;
    HelperThreads helper_;
};

}  // namespace

LineWriter::LineWriter(int fd, std::string path, const OutputFormat& format, Threading threading)
    : fd_(fd), path_(path), lineEnd_(format.lineEnd == LineEnd::CrLf ? TextView(u"\r\n") : TextView(u"\n")) {
    BlockEncoding encoding(fd, std::move(path), format);
    if (threading == Threading::Pipelined) sink_ = std::make_unique<BehindSink>(std::move(encoding));
    else sink_ = std::make_unique<InlineSink>(std::move(encoding));
}

LineWriter::~LineWriter() = default;

void LineWriter::writeLine(TextView line) {
    lines_.append(line);
    endLine();
}

void LineWriter::writeLine(TextView before, TextView body, TextView after) {
    lines_.append(before).append(body).append(after);
    endLine();
}

void LineWriter::endLine() {
    lines_.append(lineEnd_);
    if (lines_.size() >= kWriteBlockUnits) {
        sink_->take(std::move(lines_));
        lines_ = Text();
        lines_.reserve(kWriteBlockUnits + 1024);
    }
}

void LineWriter::flush(std::string_view trailingBytes) {
    if (!lines_.empty()) sink_->take(std::move(lines_));
    lines_ = Text();
    sink_->finish();
    writeAll(fd_, path_, trailingBytes);
    trailingWritten_ += trailingBytes.size();
}

EncodeCounts LineWriter::counts() const { return sink_->counts(); }

std::uint64_t LineWriter::undecodableBytesWritten() const { return sink_->escapesWritten() + trailingWritten_; }

}  // namespace quenlet
