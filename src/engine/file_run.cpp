#include "file_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <algorithm>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "chinese_conversion.h"
#include "text_file.h"

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

void feedLines(TypesetEngine& engine, LineReader& reader) {
    Text line;
    while (reader.readLine(line)) engine.processLine(std::move(line));
}

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

// What the engine writes to: the writer, or a conversion in front of it --
// on helper threads when the file is pipelined, since the conversion takes
// far longer than the typesetting.
class RunOutput {
public:
    RunOutput(LineWriter& writer, const FileRunSettings& settings) : writer_(writer) {
        if (settings.conversion.empty()) return;
        converter_ = ChineseConverter::load(settings.conversion);
        const unsigned helpers =
            settings.threading == Threading::Pipelined ? std::max(1U, std::thread::hardware_concurrency()) : 0;
        converting_.emplace(writer, *converter_, helpers);
    }
    OutputSink& sink() { return converting_ ? static_cast<OutputSink&>(*converting_) : writer_; }
    // Hands on what is still being converted; before the writer is flushed.
    void finish() {
        if (converting_) converting_->finish();
    }

private:
    LineWriter& writer_;
    std::shared_ptr<const ChineseConverter> converter_;
    std::optional<ConvertingSink> converting_;
};

void noteFormats(const LineReader& reader, const OutputFormat& output, const LineWriter& writer,
                 FileRunResult& result) {
    result.format = reader.format();
    result.detectedBy = reader.detection().by;
    result.outputFormat = output.text;
    result.undecodableBytes = reader.undecodableBytes();
    result.replaced = writer.counts();
}

// Runs `body`; any failure restores the engine's carried state and becomes the
// result's error message.
template <typename Body>
FileRunResult guarded(TypesetEngine& engine, Body&& body) {
    const CarriedState saved = engine.carriedState();
    FileRunResult result;
    try {
        body(result);
        result.ok = true;
    } catch (const FileError& e) {
        result.error = e.what();
    } catch (const std::bad_alloc&) {
        result.error = "out of memory";
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    if (!result.ok) engine.restoreCarriedState(saved);
    return result;
}

}  // namespace

Text numberedText(std::u16string_view before, Count number, std::u16string_view after) {
    Text text(before);
    for (char c : std::to_string(number)) text.push_back(static_cast<char16_t>(c));
    text.append(after);
    return text;
}

SourcePath splitSourcePath(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {std::string(), std::string(path)};
    return {std::string(path.substr(0, slash + 1)), std::string(path.substr(slash + 1))};
}

std::string outputPathFor(std::string_view sourcePath) {
    const SourcePath parts = splitSourcePath(sourcePath);
    return parts.folder + std::string(kOutputPrefix) + parts.name;
}

namespace {

// The run of one file up to a complete output under its temporary name.
std::unique_ptr<AtomicOutputFile> typesetIntoTemporary(TypesetEngine& engine, const std::string& sourcePath,
                                                       const TypesetOptions& options, const FileRunSettings& settings,
                                                       RunObserver* observer, FileRunResult& result) {
    const SourcePath parts = splitSourcePath(sourcePath);
    engine.state().SourceFolder = parts.folder;
    engine.state().SourceFileName = parts.name;
    result.outputPath = parts.folder + std::string(kOutputPrefix) + parts.name;
    const int sourceFd = openSourceFile(sourcePath);
    ClosedOnExit sourceCloser(sourceFd);
    LineReader reader(sourceFd, sourcePath, settings.forcedEncoding, LineReader::kDefaultBlockSize, settings.threading);
    auto output = std::make_unique<AtomicOutputFile>(result.outputPath);
    const OutputFormat format = outputFormatFor(reader.format(), settings);
    LineWriter writer(output->fd(), result.outputPath, format, settings.threading);
    RunOutput runOutput(writer, settings);
    engine.beginFile(options, runOutput.sink(), observer);
    feedLines(engine, reader);
    sourceCloser.closeNow();
    engine.endFile();
    runOutput.finish();
    writer.flush();
    noteFormats(reader, format, writer, result);
    return output;
}

}  // namespace

FileRunResult typesetFile(TypesetEngine& engine, const std::string& sourcePath, const TypesetOptions& options,
                          const FileRunSettings& settings, RunObserver* observer) {
    return guarded(engine, [&](FileRunResult& result) {
        typesetIntoTemporary(engine, sourcePath, options, settings, observer, result)->commit();
    });
}

PreparedFile prepareFile(TypesetEngine& engine, const std::string& sourcePath, const TypesetOptions& options,
                         const FileRunSettings& settings, RunObserver* observer) {
    PreparedFile prepared;
    prepared.result = guarded(engine, [&](FileRunResult& result) {
        prepared.output = typesetIntoTemporary(engine, sourcePath, options, settings, observer, result);
    });
    if (!prepared.result.ok) prepared.output.reset();
    return prepared;
}

void PreparedFile::commit() {
    if (!result.ok || !output) return;
    try {
        output->commit();
    } catch (const FileError& e) {
        result.ok = false;
        result.error = e.what();
    }
    output.reset();
}

FileRunResult typesetStream(TypesetEngine& engine, int inputFd, int outputFd, const TypesetOptions& options,
                            const FileRunSettings& settings, RunObserver* observer) {
    const std::string inputName = "standard input";
    const std::string outputName = "standard output";
    return guarded(engine, [&](FileRunResult& result) {
        result.outputPath.assign(1, '-');  // (a literal here trips a GCC 12 -Wrestrict false positive)
        int readFd = inputFd;
        std::unique_ptr<FILE, int (*)(FILE*)> spool(nullptr, std::fclose);
        struct stat info{};
        const bool rereadable =
            ::fstat(inputFd, &info) == 0 && S_ISREG(info.st_mode) && ::lseek(inputFd, 0, SEEK_CUR) == 0;
        if (!rereadable) {
            spool.reset(std::tmpfile());
            if (!spool) throw FileError(inputName, systemReason("cannot make a temporary copy", errno));
            readFd = ::fileno(spool.get());
            const std::string spoolName = "the temporary copy of standard input";
            std::vector<unsigned char> block(256 * 1024);
            while (const std::size_t got = readSome(inputFd, inputName, block.data(), block.size()))
                writeAll(readFd, spoolName, std::string_view(reinterpret_cast<const char*>(block.data()), got));
            if (::lseek(readFd, 0, SEEK_SET) != 0) throw FileError(inputName, systemReason("cannot read", errno));
        }
        LineReader reader(readFd, inputName, settings.forcedEncoding, LineReader::kDefaultBlockSize,
                          settings.threading);
        const OutputFormat format = outputFormatFor(reader.format(), settings);
        // An output that may fail on a character it cannot hold is kept back
        // until it is complete, so that a failure writes nothing.
        int writeFd = outputFd;
        std::unique_ptr<FILE, int (*)(FILE*)> heldBack(nullptr, std::fclose);
        if (!encodingInfo(format.text.encoding).holdsEveryCharacter && !format.policy.replaceUnencodable) {
            heldBack.reset(std::tmpfile());
            if (!heldBack) throw FileError(outputName, systemReason("cannot make a temporary copy", errno));
            writeFd = ::fileno(heldBack.get());
        }
        LineWriter writer(writeFd, outputName, format, settings.threading);
        RunOutput runOutput(writer, settings);
        engine.beginFile(options, runOutput.sink(), observer);
        feedLines(engine, reader);
        engine.endFile();
        runOutput.finish();
        writer.flush();
        if (heldBack) {
            if (::lseek(writeFd, 0, SEEK_SET) != 0) throw FileError(outputName, systemReason("cannot write", errno));
            std::vector<unsigned char> block(256 * 1024);
            const std::string copyName = "the temporary copy of standard output";
            while (const std::size_t got = readSome(writeFd, copyName, block.data(), block.size()))
                writeAll(outputFd, outputName, std::string_view(reinterpret_cast<const char*>(block.data()), got));
        }
        noteFormats(reader, format, writer, result);
    });
}

StatisticTexts statisticTexts(const Statistics& statistics) {
    constexpr std::u16string_view paragraphs = u"个段落";
    return {numberedText(u"原文件共", statistics.SourceParagraphCount, paragraphs),
            numberedText(u"合并掉了", statistics.MergedCount, paragraphs),
            numberedText(u"新分成了", statistics.SplitCount, paragraphs),
            numberedText(u"最终成了", statistics.FinalParagraphCount, paragraphs)};
}

Text fileCountText(Count files) { return numberedText(u"共", files, u"个文件"); }

}  // namespace quenlet
