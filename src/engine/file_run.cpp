#include "file_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
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

std::string bookPathFor(std::string_view sourcePath, std::string_view extension) {
    const SourcePath parts = splitSourcePath(sourcePath);
    std::string_view name = parts.name;
    if (isTxtName(name)) name.remove_suffix(4);
    return parts.folder + std::string(kOutputPrefix) + std::string(name) + std::string(extension);
}

bool isTxtName(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view tail = name.substr(name.size() - 4);
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return std::equal(tail.begin(), tail.end(), ".TXT", [&](char a, char b) { return upper(a) == b; });
}

namespace {

// The details of a file's book: the title defaults to the source name without
// ".txt" (its bytes read as UTF-8; what is not UTF-8 the book shows as U+FFFD)
// and the time is the source's, so that the same file always gives the same book.
BookDetails detailsOfBook(const BookDetails& given, const std::string& sourceName, int sourceFd) {
    BookDetails details = given;
    if (details.title.empty()) {
        std::string_view name = sourceName;
        if (isTxtName(name) && name.size() > 4) name.remove_suffix(4);
        makeDecoder(Encoding::Utf8)->decode(reinterpret_cast<const unsigned char*>(name.data()), name.size(), true,
                                            details.title);
    }
    struct stat info{};
    if (::fstat(sourceFd, &info) == 0) details.modified = info.st_mtime;
    return details;
}

// The outputs of one file, complete under their temporary names.
struct Temporaries {
    std::unique_ptr<AtomicOutputFile> text;
    std::unique_ptr<AtomicOutputFile> book;
};

// The run of one file up to complete outputs under their temporary names.
Temporaries typesetIntoTemporary(TypesetEngine& engine, const std::string& sourcePath, const TypesetOptions& options,
                                 const FileRunSettings& settings, RunObserver* observer, FileRunResult& result) {
    if (!settings.writeText && !settings.book) throw std::logic_error("a file run with no output");
    const SourcePath parts = splitSourcePath(sourcePath);
    engine.state().SourceFolder = parts.folder;
    engine.state().SourceFileName = parts.name;
    const std::string textPath = parts.folder + std::string(kOutputPrefix) + parts.name;
    const int sourceFd = openSourceFile(sourcePath);
    ClosedOnExit sourceCloser(sourceFd);
    LineReader reader(sourceFd, sourcePath, settings.forcedEncoding, LineReader::kDefaultBlockSize, settings.threading);
    Temporaries outputs;
    std::optional<LineWriter> writer;
    if (settings.writeText) {
        result.outputPath = textPath;
        outputs.text = std::make_unique<AtomicOutputFile>(textPath);
        writer.emplace(outputs.text->fd(), textPath, reader.format(), settings.threading);
    }
    std::unique_ptr<BookWriter> book;
    if (settings.book) {
        result.bookPath = bookPathFor(sourcePath, settings.book->extension());
        if (!settings.writeText) result.outputPath = result.bookPath;
        outputs.book = std::make_unique<AtomicOutputFile>(result.bookPath);
        book = settings.book->open(detailsOfBook(settings.bookDetails, parts.name, sourceFd), settings.threading);
    }
    std::optional<TeeSink> both;
    if (writer && book) both.emplace(*writer, *book);
    OutputSink& sink = both ? static_cast<OutputSink&>(*both) : writer ? static_cast<OutputSink&>(*writer) : *book;
    engine.beginFile(options, sink, observer);
    feedLines(engine, reader);
    sourceCloser.closeNow();
    engine.endFile();
    if (writer) writer->flush();
    if (book) {
        book->finish(outputs.book->fd(), result.bookPath);
        result.bookReplacedCharacters = book->replacedCharacters();
    }
    result.format = reader.format();
    result.undecodableBytes = reader.undecodableBytes();
    return outputs;
}

}  // namespace

FileRunResult typesetFile(TypesetEngine& engine, const std::string& sourcePath, const TypesetOptions& options,
                          const FileRunSettings& settings, RunObserver* observer) {
    return guarded(engine, [&](FileRunResult& result) {
        PreparedFile prepared;
        Temporaries outputs = typesetIntoTemporary(engine, sourcePath, options, settings, observer, result);
        prepared.output = std::move(outputs.text);
        prepared.book = std::move(outputs.book);
        prepared.commitOutputs();
    });
}

PreparedFile prepareFile(TypesetEngine& engine, const std::string& sourcePath, const TypesetOptions& options,
                         const FileRunSettings& settings, RunObserver* observer) {
    PreparedFile prepared;
    prepared.result = guarded(engine, [&](FileRunResult& result) {
        Temporaries outputs = typesetIntoTemporary(engine, sourcePath, options, settings, observer, result);
        prepared.output = std::move(outputs.text);
        prepared.book = std::move(outputs.book);
    });
    if (!prepared.result.ok) {
        prepared.output.reset();
        prepared.book.reset();
    }
    return prepared;
}

// The text copy first, then the book: each is complete or absent.
void PreparedFile::commitOutputs() {
    if (output) output->commit();
    output.reset();
    if (book) book->commit();
    book.reset();
}

void PreparedFile::commit() {
    if (!result.ok) return;
    try {
        commitOutputs();
    } catch (const FileError& e) {
        result.ok = false;
        result.error = e.what();
    }
    output.reset();
    book.reset();
}

FileRunResult typesetStream(TypesetEngine& engine, int inputFd, int outputFd, const TypesetOptions& options,
                            const FileRunSettings& settings, RunObserver* observer) {
    const std::string inputName = "standard input";
    const std::string outputName = "standard output";
    return guarded(engine, [&](FileRunResult& result) {
        if (settings.book)
            throw FileError(outputName, "only text can be written here; a book needs a source file beside it");
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
        engine.beginFile(options, writer, observer);
        feedLines(engine, reader);
        engine.endFile();
        writer.flush();
        result.format = reader.format();
        result.undecodableBytes = reader.undecodableBytes();
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
