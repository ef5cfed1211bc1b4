#include "file_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
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
        result.error = e.what();
        result.errorNumber = e.error();
    } catch (const std::bad_alloc&) {
        result.error = file + ": out of memory";
        result.errorNumber = ENOMEM;
    } catch (const std::system_error& e) {
        result.error = file + ": " + e.what();
        if (e.code().category() == std::generic_category() || e.code().category() == std::system_category())
            result.errorNumber = e.code().value();
    } catch (const std::exception& e) {
        result.error = file + ": " + e.what();
    }
    if (!result.ok) engine.restoreCarriedState(saved);
    return result;
}

// A copy of standard input with no name, under $TMPDIR when it is set.
int spoolFile(const std::string& inputName) {
    const char* variable = std::getenv("TMPDIR");
    const std::string folder = variable && *variable ? variable : "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    if (errno != EOPNOTSUPP && errno != EISDIR)  // else the file system has no unnamed files
        throw FileError(inputName, "cannot make a temporary copy in " + folder, errno);
    std::string name = folder + "/quenlet-input-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) throw FileError(inputName, "cannot make a temporary copy in " + folder, errno);
    ::unlink(name.c_str());
    return fd;
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
std::unique_ptr<AtomicOutputFile> typesetIntoTemporary(TypesetEngine& engine, const FileLocation& source,
                                                       const TypesetOptions& options, const FileRunSettings& settings,
                                                       RunObserver* observer, FileRunResult& result) {
    const SourcePath parts = splitSourcePath(source.path);
    engine.state().SourceFolder = parts.folder;
    engine.state().SourceFileName = parts.name;
    const FileLocation target = source.sibling(std::string(kOutputPrefix) + source.name);
    result.outputPath = target.path;
    struct stat status{};
    const int sourceFd = openSourceFile(source, status);
    ClosedOnExit sourceCloser(sourceFd);
    const SourceIdentity identity = SourceIdentity::of(status, source.path);
    AtomicOutputFile::refuseToReplace(target, identity);
    LineReader reader(sourceFd, source.path, settings.forcedEncoding, LineReader::kDefaultBlockSize,
                      settings.threading);
    auto output = std::make_unique<AtomicOutputFile>(target, &identity);
    LineWriter writer(output->fd(), result.outputPath, reader.format(), settings.threading);
    engine.beginFile(options, writer, observer);
    feedLines(engine, reader);
    sourceCloser.closeNow();
    engine.endFile();
    writer.flush(reader.trailingBytes());
    result.format = reader.format();
    result.undecodableBytes = reader.undecodableBytes();
    result.undecodableBytesWritten = writer.undecodableBytesWritten();
    return output;
}

}  // namespace

FileRunResult typesetFile(TypesetEngine& engine, const FileLocation& source, const TypesetOptions& options,
                          const FileRunSettings& settings, RunObserver* observer) {
    return guarded(engine, source.path, [&](FileRunResult& result) {
        typesetIntoTemporary(engine, source, options, settings, observer, result)->commit(settings.syncFolder);
    });
}

FileRunResult typesetFile(TypesetEngine& engine, const std::string& sourcePath, const TypesetOptions& options,
                          const FileRunSettings& settings, RunObserver* observer) {
    return guarded(engine, sourcePath, [&](FileRunResult& result) {
        const FileLocation source = FileLocation::ofPath(sourcePath);
        typesetIntoTemporary(engine, source, options, settings, observer, result)->commit(settings.syncFolder);
    });
}

PreparedFile prepareFile(TypesetEngine& engine, const FileLocation& source, const TypesetOptions& options,
                         const FileRunSettings& settings, RunObserver* observer) {
    PreparedFile prepared;
    prepared.result = guarded(engine, source.path, [&](FileRunResult& result) {
        prepared.output = typesetIntoTemporary(engine, source, options, settings, observer, result);
        prepared.output->finishWriting();
    });
    if (!prepared.result.ok) prepared.output.reset();
    return prepared;
}

void PreparedFile::commit(bool syncFolder) {
    if (!result.ok || !output) return;
    try {
        output->commit(syncFolder);
    } catch (const FileError& e) {
        result.ok = false;
        result.error = e.what();
        result.errorNumber = e.error();
    }
    output.reset();
}

FileRunResult typesetStream(TypesetEngine& engine, int inputFd, int outputFd, const TypesetOptions& options,
                            const FileRunSettings& settings, RunObserver* observer) {
    const std::string inputName = "standard input";
    const std::string outputName = "standard output";
    return guarded(engine, inputName, [&](FileRunResult& result) {
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
            if (::lseek(readFd, 0, SEEK_SET) != 0) throw FileError(inputName, systemReason("cannot read", errno));
        }
        LineReader reader(readFd, inputName, settings.forcedEncoding, LineReader::kDefaultBlockSize,
                          settings.threading);
        LineWriter writer(outputFd, outputName, reader.format(), settings.threading);
        engine.beginFile(options, writer, observer);
        feedLines(engine, reader);
        engine.endFile();
        writer.flush(reader.trailingBytes());
        result.format = reader.format();
        result.undecodableBytes = reader.undecodableBytes();
        result.undecodableBytesWritten = writer.undecodableBytesWritten();
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
