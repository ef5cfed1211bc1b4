#include "run/file_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "files/text_file.h"
#include "run/converting_sink.h"
#include "text/chinese_conversion.h"

namespace quenlet {
namespace {

class ClosedOnExit {
public:
    explicit ClosedOnExit(int fd) : fd_(fd) {}
    ~ClosedOnExit() { closeNow(); }
    ClosedOnExit(const ClosedOnExit&) = delete;
    ClosedOnExit& operator=(const ClosedOnExit&) = delete;
    void closeNow() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// The output's format: the source's unless the settings choose one. The
// source's undecodable bytes can go back as they were only into its own encoding.
OutputFormat outputFormatFor(const TextFormat& source, const FileRunSettings& settings) {
    OutputFormat format;
    format.text = settings.outputFormat.value_or(source);
    format.lineEnd = settings.lineEnd;
    format.policy.escapesAsBytes = format.text.encoding == source.encoding;
    format.policy.replaceUnencodable = settings.replaceUnencodable;
    return format;
}

// The text copy's view of the paragraph writers' events: each is one line
// for the line writer.
class TextOutput final : public LineSink {
public:
    explicit TextOutput(LineWriter& writer) : writer_(writer) {}
    void writeLine(TextView line) override { writer_.writeLine(line); }
    void writeLine(TextView before, TextView body, TextView after) override { writer_.writeLine(before, body, after); }

private:
    LineWriter& writer_;
};

// What the engine writes to: the writer, or a conversion in front of it --
// on helper threads when the file is pipelined, since the conversion takes
// far longer than the typesetting.
class RunOutput {
public:
    RunOutput(OutputSink& next, const FileRunSettings& settings) : next_(next) {
        if (settings.conversion.empty()) return;
        converter_ = ChineseConverter::load(settings.conversion);
        const unsigned helpers =
            settings.threading == Threading::Pipelined ? std::max(1U, std::thread::hardware_concurrency()) : 0;
        converting_.emplace(next, *converter_, helpers);
    }
    OutputSink& sink() { return converting_ ? static_cast<OutputSink&>(*converting_) : next_; }
    // Hands on what is still being converted; before the writer is flushed.
    void finish() {
        if (converting_) converting_->finish();
    }

private:
    OutputSink& next_;
    std::shared_ptr<const ChineseConverter> converter_;
    std::optional<ConvertingSink> converting_;
};

// The source's format and what was found in it.
void noteSource(const LineReader& reader, const OutputFormat& output, FileRunResult& result) {
    result.format = reader.format();
    result.detectedBy = reader.detection().by;
    result.outputFormat = output.text;
    result.undecodableBytes = reader.undecodableBytes();
}

// Writes out what the text writer still holds -- the source's odd last byte,
// if any, after everything else, and only into its own encoding -- and notes
// what became of the undecodable bytes.
void finishText(const LineReader& reader, const OutputFormat& output, LineWriter& writer, FileRunResult& result) {
    std::string trailing = reader.trailingBytes();
    std::uint64_t trailingReplaced = 0;
    if (!trailing.empty() && !output.policy.escapesAsBytes) {
        trailingReplaced = trailing.size();
        trailing.clear();
        const char16_t replacement = encodingInfo(output.text.encoding).replacement;
        encodeText(output.text.encoding, TextView(&replacement, 1), trailing);
    }
    writer.flush(trailing);
    // (the replacement written for an odd last byte is no undecodable byte)
    result.undecodableBytesWritten = writer.undecodableBytesWritten() - (trailingReplaced ? trailing.size() : 0);
    result.replaced = writer.counts();
    result.replaced.escapesReplaced += trailingReplaced;
}

// Notes a failure in the result: the English message, and its cause for
// front ends with messages of their own.
void fail(FileRunResult& result, std::string error, FailureCause cause) {
    result.ok = false;
    result.error = std::move(error);
    result.errorNumber = cause.errorNumber;
    result.failure = std::move(cause);
}

// What the book is told about the source is converted as its text is.
std::vector<Text> convertedAsTheText(std::vector<Text> texts, const FileRunSettings& settings) {
    if (settings.conversion.empty()) return texts;
    const std::shared_ptr<const ChineseConverter> converter = ChineseConverter::load(settings.conversion);
    for (Text& text : texts) {
        Text converted;
        converter->convert(text, converted);
        text = std::move(converted);
    }
    return texts;
}

bool isSpaces(TextView text) {
    return std::all_of(text.begin(), text.end(),
                       [](char16_t c) { return c == kSpace || c == kIdeographicSpace || c == u'\t' || c == u'\uFEFF'; });
}

// Enough of a first line for a title and an author.
constexpr std::size_t kOpeningLineLimit = 200;

// Bytes before the later half's first line whose lines show its look what
// they leave that line; and how far from the middle a line start is looked for.
constexpr std::uint64_t kLeadInBytes = 32 * 1024;
constexpr std::size_t kMiddleSearch = 1024 * 1024;

void lookAtLines(LineReader& reader, SourceLook& look) {
    TextView seen;
    while (reader.readLine(seen)) look.line(seen);
}

// The same for one of two halves looked at at once: every so many lines it
// asks whether the two looks may still be joined, and once either cannot,
// both know it (`givenUp`); the later look then stops. True when it saw every line.
bool lookAtHalf(LineReader& reader, SourceLook& look, std::atomic<bool>& givenUp, bool stops) {
    constexpr unsigned kAskEvery = 4096;
    TextView seen;
    for (unsigned n = 1; reader.readLine(seen); ++n) {
        look.line(seen);
        if (n % kAskEvery != 0 || givenUp.load(std::memory_order_relaxed)) continue;
        if (!look.mayStillJoin()) givenUp = true;
        if (givenUp && stops) return false;
    }
    return !givenUp;
}

// The look that hooks take at the whole source before its run. A long source
// is looked at in two halves at once, the later one on a helper thread, and
// the later look is then taken into the first; where that would not come out
// exactly as one look at every line, the first look sees the later half too.
void lookAtWholeSource(LineReader& reader, SourceLook& look, const FileRunSettings& settings) {
    const std::uint64_t start = reader.textStart();
    const std::optional<std::uint64_t> size = reader.sourceSize();
    std::optional<std::uint64_t> middle;
    if (settings.threading == Threading::Pipelined && size && *size > start && *size - start >= settings.partedLookFrom)
        middle = reader.lineStartFrom(start + (*size - start) / 2, kMiddleSearch);
    std::unique_ptr<SourceLook> later = middle ? look.laterLook() : nullptr;
    if (!later) {
        lookAtLines(reader, look);
        look.ended();
        return;
    }
    const std::uint64_t leadFrom = *middle - std::min(*middle - start, kLeadInBytes);
    const std::uint64_t leadIn = leadFrom == start ? start : reader.lineStartFrom(leadFrom, kLeadInBytes).value_or(*middle);
    std::atomic<bool> givenUp = false;
    HelperTask<bool> laterHalf([&] {
        const std::unique_ptr<LineReader> lead = reader.partReader({leadIn, *middle});
        TextView seen;
        while (lead->readLine(seen)) later->leadIn(seen);
        return lookAtHalf(*reader.partReader({*middle, *size}), *later, givenUp, true);
    });
    lookAtHalf(*reader.partReader({start, *middle}), look, givenUp, false);
    const bool laterSeen = laterHalf.get();
    if (!laterSeen || givenUp || !look.takeLater(*later)) lookAtLines(*reader.partReader({*middle, *size}), look);
    look.ended();
}

// The one sequence of every run, from the open source to the outputs
// written: the engine typesets the source's lines into the text copy, the
// book or both, through the conversion when there is one; the source is
// closed before the last paragraph is written, then the outputs are
// finished. The result notes the source's format and what was found.
struct RunSequence {
    TypesetEngine& engine;
    const TypesetOptions& options;
    const FileRunSettings& settings;
    RunObserver* observer;

    void typeset(LineReader& reader, const OutputFormat& format, LineWriter* writer, BookWriter* book,
                 ClosedOnExit* source, FileRunResult& result) const {
        std::optional<TextOutput> text;
        if (writer) text.emplace(*writer);
        std::optional<TeeSink> both;
        if (text && book) both.emplace(*text, *book);
        OutputSink& sink = both ? static_cast<OutputSink&>(*both) : text ? static_cast<OutputSink&>(*text) : *book;
        std::optional<ChapterSampler> sampler;
        if (settings.sampleFirstChapter) sampler.emplace(sink);
        RunOutput runOutput(sampler ? sampler->sink() : sink, settings);
        const std::unique_ptr<RunHooks> hooks = settings.hooks ? settings.hooks->hooksForFile() : nullptr;
        Text line;
        // Hooks that look at the whole source before its run see every line
        // first; the reader then starts again from the top.
        if (SourceLook* look = hooks ? hooks->firstLook() : nullptr) {
            lookAtWholeSource(reader, *look, settings);
            reader.restart();
        }
        engine.setListingHeadings(settings.listHeadings || sampler.has_value());
        engine.beginFile(options, runOutput.sink(), observer, hooks.get());
        std::vector<Text> opening;  // the book looks for its title there
        while (reader.readLine(line)) {
            if (book && opening.size() < BookWriter::kOpeningLines && !isSpaces(line))
                opening.push_back(line.substr(0, kOpeningLineLimit));
            if (sampler) sampler->sourceLine(line);
            engine.processLine(std::move(line));
            if (sampler) sampler->headingsWritten(engine.findings());
        }
        if (source) source->closeNow();
        engine.endFile();
        if (sampler) sampler->headingsWritten(engine.findings());
        runOutput.finish();
        if (book) book->sourceOpening(convertedAsTheText(std::move(opening), settings));
        noteSource(reader, format, result);
        if (writer) finishText(reader, format, *writer, result);
        result.findings = engine.findings();
        if (sampler) result.firstChapter = sampler->take();
    }
};

// Runs `body`; any failure restores the engine's carried state and becomes the
// result's error message, which names `file` when the failure itself does not
// name a file.
template <typename Body>
FileRunResult guarded(TypesetEngine& engine, const std::string& file, Body&& body) {
    const CarriedState saved = engine.carriedState();
    FileRunResult result;
    try {
        body(result);
        result.ok = true;
    } catch (const FileError& e) {
        fail(result, e.what(), e.cause());
    } catch (const std::bad_alloc&) {
        fail(result, file + ": out of memory", {FailureKind::OutOfMemory, file, ENOMEM});
    } catch (const ResourceError& e) {
        fail(result, file + ": " + e.what(), {e.kind(), file, e.errorNumber()});
    } catch (const std::system_error& e) {
        const bool systemNumber =
            e.code().category() == std::generic_category() || e.code().category() == std::system_category();
        fail(result, file + ": " + e.what(), {FailureKind::Other, file, systemNumber ? e.code().value() : 0});
    } catch (const std::exception& e) {
        fail(result, file + ": " + e.what(), {FailureKind::Other, file});
    }
    engine.detachHooks();
    if (!result.ok) {
        engine.restoreCarriedState(saved);
    } else {
        const Statistics& now = engine.statistics();
        const Statistics& before = saved.Stats;
        result.statistics = {now.SourceParagraphCount - before.SourceParagraphCount, now.SplitCount - before.SplitCount,
                             now.MergedCount - before.MergedCount, now.FinalParagraphCount - before.FinalParagraphCount};
    }
    return result;
}

// A copy of standard input with no name, under $TMPDIR when it is set.
int spoolFile(const std::string& inputName) {
    const char* variable = std::getenv("TMPDIR");
    const std::string folder = variable && *variable ? variable : "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    if (errno != EOPNOTSUPP && errno != EISDIR)  // else the file system has no unnamed files
        throw FileError(FailureKind::CannotMakeTemporaryCopy, inputName, "cannot make a temporary copy in " + folder,
                        errno);
    std::string name = folder + "/quenlet-input-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        throw FileError(FailureKind::CannotMakeTemporaryCopy, inputName, "cannot make a temporary copy in " + folder,
                        errno);
    ::unlink(name.c_str());
    return fd;
}

}  // namespace

namespace {

// The details of a file's book: its source's name (its bytes read as UTF-8;
// what is not UTF-8 the book shows as U+FFFD) and the name without ".txt",
// where the writer looks for a title; the time is the source's, so that the
// same file always gives the same book. A conversion decides the book's
// language, when none is given.
BookDetails detailsOfBook(const FileRunSettings& settings, const std::string& sourceName,
                          const struct stat& source) {
    BookDetails details = settings.bookDetails;
    auto decoded = [](std::string_view bytes) {
        Text text;
        makeDecoder(Encoding::Utf8)->decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), true,
                                            text);
        return text;
    };
    details.sourceName = decoded(sourceName);
    std::string_view stem = sourceName;
    if (isTextFileName(stem) && stem.size() > 4) stem.remove_suffix(4);
    details.nameTitle = std::move(convertedAsTheText({decoded(stem)}, settings).front());
    if (details.language.empty() && !settings.conversion.empty())
        details.language = languageAfterConversion(settings.conversion);
    details.modified = source.st_mtime;
    return details;
}

// The outputs of one file, complete under their temporary names.
struct Temporaries {
    std::unique_ptr<AtomicOutputFile> text;
    std::unique_ptr<AtomicOutputFile> book;
};

// The run of one file up to complete outputs under their temporary names.
Temporaries typesetIntoTemporary(TypesetEngine& engine, const FileLocation& source, const TypesetOptions& options,
                                 const FileRunSettings& settings, RunObserver* observer, FileRunResult& result) {
    if (!settings.writeText && !settings.book) throw std::logic_error("a file run with no output");
    const SourcePath parts = splitSourcePath(source.path);
    engine.state().SourceFolder = parts.folder;
    engine.state().SourceFileName = parts.name;
    const FileLocation textTarget = source.sibling(copyNameFor(source.name));
    const FileLocation bookTarget =
        source.sibling(settings.book ? bookNameFor(source.name, settings.book->extension()) : std::string());
    struct stat status{};
    const int sourceFd = openSourceFile(source, status);
    ClosedOnExit sourceCloser(sourceFd);
    const SourceIdentity identity = SourceIdentity::of(status, source.path);
    if (settings.writeText) AtomicOutputFile::refuseToReplace(textTarget, identity);
    if (settings.book) AtomicOutputFile::refuseToReplace(bookTarget, identity);
    result.sourceBytes = static_cast<std::uint64_t>(status.st_size);
    LineReader reader(sourceFd, source.path, settings.forcedEncoding, LineReader::kDefaultBlockSize,
                      settings.threading);
    const OutputFormat format = outputFormatFor(reader.format(), settings);
    Temporaries outputs;
    std::optional<LineWriter> writer;
    if (settings.writeText) {
        result.outputPath = textTarget.path;
        outputs.text = std::make_unique<AtomicOutputFile>(textTarget, &identity);
        writer.emplace(outputs.text->fd(), textTarget.path, format, settings.threading);
    }
    std::unique_ptr<BookWriter> book;
    if (settings.book) {
        result.bookPath = bookTarget.path;
        if (!settings.writeText) result.outputPath = result.bookPath;
        outputs.book = std::make_unique<AtomicOutputFile>(bookTarget, &identity);
        book = settings.book->open(detailsOfBook(settings, parts.name, status), settings.threading, bookTarget);
    }
    const RunSequence run{engine, options, settings, observer};
    run.typeset(reader, format, writer ? &*writer : nullptr, book.get(), &sourceCloser, result);
    if (book) {
        book->finish(outputs.book->fd(), result.bookPath);
        result.bookReplacedCharacters = book->replacedCharacters();
        result.bookChapters = book->chapters();
    }
    return outputs;
}

}  // namespace

FileRunResult typesetFile(TypesetEngine& engine, const FileLocation& source, const TypesetOptions& options,
                          const FileRunSettings& settings, RunObserver* observer) {
    return guarded(engine, source.path, [&](FileRunResult& result) {
        PreparedFile prepared;
        Temporaries outputs = typesetIntoTemporary(engine, source, options, settings, observer, result);
        prepared.output = std::move(outputs.text);
        prepared.book = std::move(outputs.book);
        prepared.commitOutputs(settings.syncFolder);
    });
}

FileRunResult typesetFile(TypesetEngine& engine, const std::string& sourcePath, const TypesetOptions& options,
                          const FileRunSettings& settings, RunObserver* observer) {
    FileLocation source;
    try {
        source = FileLocation::ofPath(sourcePath);  // a folder that cannot be opened fails the file like any other
    } catch (const FileError& e) {
        FileRunResult result;
        fail(result, e.what(), e.cause());
        return result;
    }
    return typesetFile(engine, source, options, settings, observer);
}

PreparedFile prepareFile(TypesetEngine& engine, const FileLocation& source, const TypesetOptions& options,
                         const FileRunSettings& settings, RunObserver* observer) {
    PreparedFile prepared;
    prepared.result = guarded(engine, source.path, [&](FileRunResult& result) {
        Temporaries outputs = typesetIntoTemporary(engine, source, options, settings, observer, result);
        prepared.output = std::move(outputs.text);
        prepared.book = std::move(outputs.book);
        if (prepared.output) prepared.output->finishWriting();
        if (prepared.book) prepared.book->finishWriting();
    });
    if (!prepared.result.ok) {
        prepared.output.reset();
        prepared.book.reset();
    }
    return prepared;
}

// The text copy first, then the book: each is complete or absent. Both lie
// in one folder, so one sync of it after the last rename serves both.
void PreparedFile::commitOutputs(bool syncFolder) {
    const bool both = output && book;
    if (both) book->checkReplaceable();  // else the text copy could be in place and the book fail
    if (output) output->commit(syncFolder && !both);
    output.reset();
    if (book) book->commit(syncFolder);
    book.reset();
}

void PreparedFile::commit(bool syncFolder) {
    if (!result.ok) return;
    try {
        commitOutputs(syncFolder);
    } catch (const FileError& e) {
        fail(result, e.what(), e.cause());
    }
    output.reset();
    book.reset();
}

FileRunResult typesetStream(TypesetEngine& engine, int inputFd, int outputFd, const TypesetOptions& options,
                            const FileRunSettings& settings, RunObserver* observer) {
    const std::string inputName = "standard input";
    const std::string outputName = "standard output";
    return guarded(engine, inputName, [&](FileRunResult& result) {
        if (settings.book)
            throw FileError(outputName, "only text can be written here; a book needs a source file beside it");
        result.outputPath.assign(1, '-');  // (a literal here trips a GCC 12 -Wrestrict false positive)
        int readFd = inputFd;
        std::optional<ClosedOnExit> spool;
        struct stat info{};
        const bool rereadable =
            ::fstat(inputFd, &info) == 0 && S_ISREG(info.st_mode) && ::lseek(inputFd, 0, SEEK_CUR) == 0;
        if (!rereadable) {
            readFd = spoolFile(inputName);
            spool.emplace(readFd);
            const std::string spoolName = "the temporary copy of standard input";
            std::vector<unsigned char> block(256 * 1024);
            while (const std::size_t got = readSome(inputFd, inputName, block.data(), block.size()))
                writeAll(readFd, spoolName, std::string_view(reinterpret_cast<const char*>(block.data()), got));
            if (::lseek(readFd, 0, SEEK_SET) != 0)
                throw FileError(FailureKind::CannotRead, inputName, "cannot read", errno);
        }
        LineReader reader(readFd, inputName, settings.forcedEncoding, LineReader::kDefaultBlockSize,
                          settings.threading);
        const OutputFormat format = outputFormatFor(reader.format(), settings);
        // An output that may fail on a character it cannot hold is kept back
        // until it is complete, so that a failure writes nothing.
        int writeFd = outputFd;
        std::optional<ClosedOnExit> heldBack;
        if (!encodingInfo(format.text.encoding).holdsEveryCharacter && !format.policy.replaceUnencodable) {
            writeFd = spoolFile(outputName);
            heldBack.emplace(writeFd);
        }
        LineWriter writer(writeFd, outputName, format, settings.threading);
        const RunSequence run{engine, options, settings, observer};
        run.typeset(reader, format, &writer, nullptr, nullptr, result);
        if (heldBack) {
            if (::lseek(writeFd, 0, SEEK_SET) != 0)
                throw FileError(FailureKind::CannotWrite, outputName, "cannot write", errno);
            std::vector<unsigned char> block(256 * 1024);
            const std::string copyName = "the temporary copy of standard output";
            while (const std::size_t got = readSome(writeFd, copyName, block.data(), block.size()))
                writeAll(outputFd, outputName, std::string_view(reinterpret_cast<const char*>(block.data()), got));
        }
    });
}

}  // namespace quenlet
