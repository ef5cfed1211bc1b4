#include "cli_app.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "batch_run.h"
#include "epub_writer.h"
#include "parallel_batch.h"
#include "encoding.h"
#include "file_run.h"
#include "typeset_engine.h"

namespace quenlet::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Option texts as typed, before they are checked and converted.
struct RawTexts {
    std::string headingOpen = "《";
    std::string headingClose = "》";
    std::string indent = "\u3000\u3000";
    std::string paragraphEnd;
    std::string find;
    std::string replace = " ";
    std::string stripPrefix = " ";
    std::string title;
    std::string author;
};

struct Flags {
    bool noMerge = false;
    bool noSplit = false;
    bool keepAsterisks = false;
    bool keepDashes = false;
    bool keepDots = false;
    bool keepTildes = false;
    bool keepQuotes = false;
    bool json = false;
    bool quiet = false;
    std::string encoding = "auto";
    std::string batchFolder;
    bool epub = false;
    std::string formats;  // a list such as "txt,epub"
    std::string language;
    bool vertical = false;
    unsigned jobs = std::max(1U, std::thread::hardware_concurrency());
};

// A JSON string literal for bytes that are UTF-8 where they can be; any other
// byte is written as the escape \udcXX, so a file name is never altered.
std::string jsonString(std::string_view bytes) {
    std::string out = "\"";
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    char hex[8];
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char b = data[i];
        if (b == '"' || b == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(b));
            ++i;
        } else if (b < 0x20) {
            std::snprintf(hex, sizeof hex, "\\u%04x", b);
            out += hex;
            ++i;
        } else if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
        } else {
            const Utf8Sequence seq = readUtf8Sequence(data + i, bytes.size() - i);
            if (seq.status == Utf8Sequence::Complete) {
                out.append(bytes.substr(i, seq.length));
                i += seq.length;
            } else {
                std::snprintf(hex, sizeof hex, "\\udc%02x", b);
                out += hex;
                ++i;
            }
        }
    }
    out.push_back('"');
    return out;
}

void printStatistics(std::ostream& to, const Statistics& statistics) {
    const StatisticTexts texts = statisticTexts(statistics);
    for (const Text* line : {&texts.sourceParagraphs, &texts.merged, &texts.split, &texts.finalParagraphs})
        to << toUtf8(*line) << '\n';
}

// The counts shared by the JSON reports of a file and of a batch; the caller closes the object.
void printJsonCounts(std::ostream& to, Count files, const Statistics& statistics) {
    to << "{\"files\": " << files << ", \"source_paragraphs\": " << statistics.SourceParagraphCount
       << ", \"merged\": " << statistics.MergedCount << ", \"split\": " << statistics.SplitCount
       << ", \"final_paragraphs\": " << statistics.FinalParagraphCount;
}

void printJson(std::ostream& to, const Statistics& statistics, const FileRunResult& result) {
    printJsonCounts(to, 1, statistics);
    to << ", \"output\": " << jsonString(result.outputPath);
    if (!result.bookPath.empty()) to << ", \"epub\": " << jsonString(result.bookPath);
    to << ", \"encoding\": \"" << encodingName(result.format.encoding) << "\"}\n";
}

void printBatchJson(std::ostream& to, const BatchResult& result) {
    printJsonCounts(to, result.files, result.statistics);
    to << ", \"failed\": [";
    for (std::size_t i = 0; i < result.failures.size(); ++i)
        to << (i ? ", " : "") << "{\"path\": " << jsonString(result.failures[i].path)
           << ", \"error\": " << jsonString(result.failures[i].error) << "}";
    to << "]}\n";
}

void warnAboutUndecodableBytes(std::ostream& err, const std::string& file, const FileRunResult& result) {
    if (result.undecodableBytes > 0)
        err << "quenlet-cli: warning: " << file << ": " << result.undecodableBytes << " bytes are not valid "
            << encodingName(result.format.encoding) << "; they were copied unchanged\n";
    if (result.bookReplacedCharacters > 0)
        err << "quenlet-cli: warning: " << result.bookPath << ": " << result.bookReplacedCharacters
            << " characters cannot go into an EPUB (undecodable bytes, control characters); they are shown as "
               "U+FFFD\n";
}

// Shows a batch's progress on standard error: one line redrawn in place on a
// terminal, a line per file otherwise, nothing when quiet. Failures and
// warnings are always shown.
class BatchProgress final : public BatchObserver {
public:
    BatchProgress(std::ostream& err, bool terminal, bool quiet) : err_(err), terminal_(terminal), quiet_(quiet) {}
    ~BatchProgress() override { clearLine(); }

    void fileStarted(Count number, const std::string& path) override {
        if (quiet_) return;
        clearLine();
        err_ << toUtf8(processingFileText(number)) << ' ' << path << (terminal_ ? "" : "\n") << std::flush;
        lineShown_ = terminal_;
    }
    void fileFinished(Count, const std::string& path, const FileRunResult& result) override {
        if (result.undecodableBytes == 0 && result.bookReplacedCharacters == 0) return;
        clearLine();
        warnAboutUndecodableBytes(err_, path, result);
    }
    void fileFailed(const std::string&, const std::string& error) override {
        clearLine();
        err_ << "quenlet-cli: " << error << '\n';
    }

private:
    void clearLine() {
        if (lineShown_) err_ << "\r\x1b[K" << std::flush;
        lineShown_ = false;
    }
    std::ostream& err_;
    bool terminal_;
    bool quiet_;
    bool lineShown_ = false;
};

// Converts the option texts; names the first one that is not valid UTF-8.
std::optional<std::string> convertTexts(const RawTexts& raw, TypesetOptions& options) {
    const std::pair<const std::string*, Text*> texts[] = {
        {&raw.headingOpen, &options.HeadingOpen}, {&raw.headingClose, &options.HeadingClose},
        {&raw.indent, &options.Indent},           {&raw.paragraphEnd, &options.ParagraphEnd},
        {&raw.find, &options.FindText},           {&raw.replace, &options.ReplaceText},
        {&raw.stripPrefix, &options.StripPrefix},
    };
    for (const auto& [from, to] : texts)
        if (!fromUtf8Strict(*from, *to)) return *from;
    return std::nullopt;
}

// Pieces of `text` between commas (or hyphens), each checked.
template <typename Check>
bool allPieces(std::string_view text, char separator, Check check) {
    for (std::size_t start = 0, index = 0;; ++index) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (!check(text.substr(start, end - start), index)) return false;
        if (end == text.size()) return true;
        start = end + 1;
    }
}

// "txt", "epub" or both, such as "txt,epub".
bool isFormatList(std::string_view list) {
    return allPieces(list, ',',
                     [](std::string_view format, std::size_t) { return format == "txt" || format == "epub"; });
}

// A language tag: a language of two or three letters, then subtags such as a
// script or a region (zh, zh-TW, zh-Hant-TW).
bool isLanguageTag(std::string_view tag) {
    return allPieces(tag, '-', [](std::string_view subtag, std::size_t index) {
        auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
        auto digit = [](char c) { return c >= '0' && c <= '9'; };
        if (index == 0)
            return subtag.size() >= 2 && subtag.size() <= 3 && std::all_of(subtag.begin(), subtag.end(), letter);
        return !subtag.empty() && subtag.size() <= 8 &&
               std::all_of(subtag.begin(), subtag.end(), [&](char c) { return letter(c) || digit(c); });
    });
}

// The outputs and the book's details; the reason when they are not usable.
std::optional<std::string> takeBookOptions(const Flags& flags, const RawTexts& raw, FileRunSettings& settings) {
    bool text = !flags.epub;
    bool epub = flags.epub;
    if (!flags.formats.empty()) {
        const std::string list = "," + flags.formats + ",";
        text = list.find(",txt,") != std::string::npos;
        epub = list.find(",epub,") != std::string::npos;
    }
    settings.writeText = text;
    if (epub) settings.book = formats::epubFormat();
    BookDetails& details = settings.bookDetails;
    for (const auto& [from, to] : {std::pair{&raw.title, &details.title}, std::pair{&raw.author, &details.author}})
        if (!fromUtf8Strict(*from, *to)) return "option text is not valid UTF-8: " + jsonString(*from);
    if (!flags.language.empty() && !isLanguageTag(flags.language))
        return "--language: not a language tag such as zh-CN or zh-TW: " + jsonString(flags.language);
    details.language = flags.language;
    details.vertical = flags.vertical;
    return std::nullopt;
}

}  // namespace

int run(int argc, const char* const* argv, Streams streams) {
    CLI::App app{
        "Quenlet re-flows plain-text Chinese novels: it joins paragraphs broken into short lines, removes padding\n"
        "spaces and runs of question marks, normalises quotes and ellipses, sets chapter headings apart and\n"
        "indents every paragraph. Each FILE is typeset into a copy named kovra-FILE beside it; the file itself\n"
        "is never changed. The statistics of each file are printed when it is done.",
        "quenlet-cli"};
    app.get_formatter()->column_width(30);

    std::vector<std::string> files;
    RawTexts raw;
    Flags flags;

    auto* fileOption =
        app.add_option("FILE", files,
                       "Text files to typeset, one after the other. \"-\" reads standard input and writes the result\n"
                       "to standard output (the statistics then go to standard error).");
    auto* batchOption =
        app.add_option("--batch", flags.batchFolder,
                       "Typeset every .txt file (any letter case) in DIR and in all folders below it, each into a\n"
                       "kovra- copy beside it; files already named kovra-... are skipped. Prints the number of files\n"
                       "and the totals.")
            ->type_name("DIR");
    app.add_option("-j,--jobs", flags.jobs,
                   "With --batch: how many files to typeset at the same time (default: the number of processor\n"
                   "cores). The results are the same for any number.")
        ->check(CLI::Range(1U, 1024U));
    fileOption->excludes(batchOption);
    batchOption->excludes(fileOption);
    app.add_flag("--no-merge", flags.noMerge,
                 "Do not join broken lines: every line is cleaned and written as it is, nothing else is done.");
    app.add_flag("--no-split", flags.noSplit,
                 "Do not cut run-together paragraphs at sentence ends, quotations and chapter headings.");
    app.add_option("--heading-open", raw.headingOpen, "Text written before each heading (default 《).");
    app.add_option("--heading-close", raw.headingClose, "Text written after each heading (default 》).");
    app.add_option("--indent", raw.indent, "Text written before each paragraph (default two full-width spaces).");
    app.add_option("--paragraph-end", raw.paragraphEnd, "Text written after each paragraph (default none).");
    app.add_option("--find", raw.find,
                   "Your own rule: replace this text in every paragraph with the --replace text (default none:\n"
                   "no replacing).");
    app.add_option("--replace", raw.replace, "The text that --find is replaced with (default one space).");
    app.add_option("--strip-prefix", raw.stripPrefix,
                   "Remove this text from the start of each line and each cut-off paragraph (default one space,\n"
                   "which never matches because spaces are removed anyway).");
    app.add_flag("--keep-asterisks", flags.keepAsterisks, "Keep full-width asterisks ＊ (deleted by default).");
    app.add_flag("--keep-dashes", flags.keepDashes, "Keep hyphens - (deleted by default).");
    app.add_flag("--keep-dots", flags.keepDots, "Keep runs of 。.,、 (by default they become ……).");
    app.add_flag("--keep-tildes", flags.keepTildes, "Keep ～ (by default each becomes …).");
    app.add_flag("--keep-quotes", flags.keepQuotes, "Keep straight double quotes \" (by default they become “ ”).");
    app.add_option("--encoding", flags.encoding,
                   "Encoding of the input: auto (default: a byte order mark, else UTF-8 when the file is valid\n"
                   "UTF-8, else GB18030), utf-8, utf-16le, utf-16be or gb18030. The result is written in the same\n"
                   "encoding.")
        ->check(CLI::IsMember({"auto", "utf-8", "utf-16le", "utf-16be", "gb18030"}));
    auto* epubOption = app.add_flag("--epub", flags.epub,
                                    "Write an EPUB e-book, kovra-NAME.epub (NAME without .txt), instead of the text\n"
                                    "copy: each heading starts a chapter and the headings are its table of contents.");
    app.add_option("--format", flags.formats,
                   "What to write, as a list: txt (the default), epub, or txt,epub for both from one run.")
        ->type_name("LIST")
        ->check(
            [](const std::string& list) {
                return isFormatList(list) ? std::string() : "not a list of txt and epub: " + list;
            },
            "txt,epub")
        ->excludes(epubOption);
    auto* titleOption = app.add_option("--title", raw.title, "The EPUB's title (default: the file name without .txt).");
    auto* authorOption = app.add_option("--author", raw.author, "The EPUB's author (default: none).");
    auto* languageOption = app.add_option("--language", flags.language,
                                          "The EPUB's language tag, such as zh-CN or zh-TW (default: zh-TW when the\n"
                                          "text is in traditional characters, else zh-CN).");
    auto* verticalOption = app.add_flag("--vertical", flags.vertical,
                                        "Set the EPUB in vertical lines read from right to left.");
    app.add_flag("--json", flags.json, "Print the statistics of each file as one JSON object.");
    app.add_flag("-q,--quiet", flags.quiet, "Print no statistics.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, streams.out, streams.err);
    } catch (const CLI::ParseError& e) {
        app.exit(e, streams.out, streams.err);
        return kExitUsage;
    }

    if (files.empty() && batchOption->count() == 0) {
        streams.err << "quenlet-cli: give the FILEs to typeset, or --batch DIR\nRun with --help for more information.\n";
        return kExitUsage;
    }

    TypesetOptions options;
    if (const auto bad = convertTexts(raw, options)) {
        streams.err << "quenlet-cli: option text is not valid UTF-8: " << jsonString(*bad) << '\n';
        return kExitUsage;
    }
    options.MergeLines = !flags.noMerge;
    options.SplitParagraphs = !flags.noSplit;
    options.DeleteAsterisks = !flags.keepAsterisks;
    options.DeleteDoubleDashes = !flags.keepDashes;
    options.DotsToEllipsis = !flags.keepDots;
    options.TildeToEllipsis = !flags.keepTildes;
    options.ConvertQuotes = !flags.keepQuotes;
    FileRunSettings settings;
    if (flags.encoding != "auto") settings.forcedEncoding = encodingFromName(flags.encoding);
    if (const auto bad = takeBookOptions(flags, raw, settings)) {
        streams.err << "quenlet-cli: " << *bad << '\n';
        return kExitUsage;
    }
    const bool bookOptionGiven = titleOption->count() + authorOption->count() + languageOption->count() +
                                 verticalOption->count() > 0;
    if (bookOptionGiven && !settings.book) {
        streams.err << "quenlet-cli: --title, --author, --language and --vertical describe an EPUB: add --epub or "
                       "--format txt,epub\n";
        return kExitUsage;
    }
    if (settings.book && std::find(files.begin(), files.end(), "-") != files.end()) {
        streams.err << "quenlet-cli: an EPUB is written beside its source file; standard input (-) gives text only\n";
        return kExitUsage;
    }
    if (titleOption->count() > 0 && (files.size() > 1 || batchOption->count() > 0)) {
        streams.err << "quenlet-cli: --title names one book; for several files each takes its file name\n";
        return kExitUsage;
    }

    TypesetEngine engine;
    if (batchOption->count() > 0) {
        BatchProgress progress(streams.err, streams.errIsTerminal, flags.quiet);
        BatchRun::Hooks hooks;
        hooks.takeOptions = [&options] { return options; };
        hooks.observer = &progress;
        hooks.settings = settings;
        // One job is one thread: the files one after the other, each read and written inline.
        if (flags.jobs == 1) hooks.settings.threading = Threading::Inline;
        const BatchResult result = flags.jobs > 1 ? ParallelBatch(engine, hooks, flags.jobs).run(flags.batchFolder)
                                                  : BatchRun(engine, hooks).run(flags.batchFolder);
        if (!flags.quiet) {
            if (flags.json) {
                printBatchJson(streams.out, result);
            } else {
                streams.out << toUtf8(fileCountText(result.files)) << '\n';
                printStatistics(streams.out, result.statistics);
            }
        }
        return result.failures.empty() ? kExitOk : kExitFailed;
    }

    bool anyFailed = false;
    for (const std::string& file : files) {
        engine.resetStatistics();
        const bool fromStandardInput = file == "-";
        const FileRunResult result =
            fromStandardInput ? typesetStream(engine, streams.inputFd, streams.outputFd, options, settings)
                              : typesetFile(engine, file, options, settings);
        if (!result.ok) {
            streams.err << "quenlet-cli: " << result.error << '\n';
            anyFailed = true;
            continue;
        }
        warnAboutUndecodableBytes(streams.err, fromStandardInput ? "standard input" : file, result);
        if (flags.quiet) continue;
        std::ostream& report = fromStandardInput ? streams.err : streams.out;
        if (flags.json) printJson(report, engine.statistics(), result);
        else printStatistics(report, engine.statistics());
    }
    return anyFailed ? kExitFailed : kExitOk;
}

}  // namespace quenlet::cli
