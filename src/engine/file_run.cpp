#include "file_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

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
    engine.detachHooks();
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
    struct stat info{};
    if (::fstat(sourceFd, &info) == 0) result.sourceBytes = static_cast<std::uint64_t>(info.st_size);
    auto output = std::make_unique<AtomicOutputFile>(result.outputPath);
    LineWriter writer(output->fd(), result.outputPath, reader.format(), settings.threading);
    const std::unique_ptr<RunHooks> hooks = settings.hooks ? settings.hooks->hooksForFile() : nullptr;
    engine.setListingHeadings(settings.listHeadings);
    engine.beginFile(options, writer, observer, hooks.get());
    feedLines(engine, reader);
    sourceCloser.closeNow();
    engine.endFile();
    writer.flush();
    result.format = reader.format();
    result.undecodableBytes = reader.undecodableBytes();
    result.findings = engine.findings();
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
        LineWriter writer(outputFd, outputName, reader.format(), settings.threading);
        const std::unique_ptr<RunHooks> hooks = settings.hooks ? settings.hooks->hooksForFile() : nullptr;
        engine.setListingHeadings(settings.listHeadings);
        engine.beginFile(options, writer, observer, hooks.get());
        feedLines(engine, reader);
        engine.endFile();
        writer.flush();
        result.format = reader.format();
        result.undecodableBytes = reader.undecodableBytes();
        result.findings = engine.findings();
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
