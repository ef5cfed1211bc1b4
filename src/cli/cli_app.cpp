#include "cli/cli_app.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <optional>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "batch/batch_run.h"
#include "formats/epub_writer.h"
#include "batch/parallel_batch.h"
#include "text/chinese_conversion.h"
#include "text/encoding.h"
#include "text/encoding_detector.h"
#include "run/file_run.h"
#include "run/statistic_texts.h"
#include "tidy/tidy_mode.h"
#include "engine/typeset_engine.h"

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
    bool tidy = false;
    std::vector<std::string> rulesFiles;
    bool printRules = false;
    bool listHeadings = false;
    std::string encoding = "auto";
    std::string outputEncoding = "same";
    std::string lineEnds = "crlf";
    bool replaceUnencodable = false;
    std::string conversion;
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

// The names from `first` on, separated by commas.
std::string joined(const std::vector<std::string>& names, std::size_t first, const char* separator = ", ") {
    std::string out;
    for (std::size_t i = first; i < names.size(); ++i) out += (i > first ? separator : "") + names[i];
    return out;
}

// A message for a terminal or a log, one line: control characters (a newline
// in a file name could forge a progress line, an escape sequence could drive
// the terminal) and bytes that are not UTF-8 are shown as escapes instead.
std::string shown(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    char escape[8];
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char b = data[i];
        if (b >= 0x20 && b < 0x7F) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        const Utf8Sequence seq = b < 0x80 ? Utf8Sequence{Utf8Sequence::Invalid, 0, 0}
                                          : readUtf8Sequence(data + i, text.size() - i);
        if (seq.status == Utf8Sequence::Complete && seq.codePoint >= 0xA0) {
            out.append(text.substr(i, seq.length));
            i += seq.length;
            continue;
        }
        const char* named = b == '\n' ? "\\n" : b == '\r' ? "\\r" : b == '\t' ? "\\t" : nullptr;
        if (named) {
            out += named;
        } else {
            std::snprintf(escape, sizeof escape, "\\x%02x", b);
            out += escape;
        }
        ++i;
    }
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

// What a run found, as JSON keys: the tidy mode's counts, and the lines
// dropped for their runs of question marks (which the tidy mode keeps).
void printJsonFindings(std::ostream& to, const RunFindings& findings, bool tidy) {
    if (tidy)
        to << ", \"headings\": " << findings.headings << ", \"empty_headings\": " << findings.emptyHeadings
           << ", \"junk_removed\": " << findings.junkRemoved;
    to << ", \"lines_dropped\": " << findings.linesDropped
       << ", \"characters_dropped\": " << findings.charactersDropped;
}

void printJson(std::ostream& to, const Statistics& statistics, const FileRunResult& result, bool tidy) {
    printJsonCounts(to, 1, statistics);
    to << ", \"output\": " << jsonString(result.outputPath);
    if (!result.bookPath.empty()) to << ", \"epub\": " << jsonString(result.bookPath);
    to << ", \"encoding\": \"" << encodingName(result.format.encoding) << "\", \"input_encoding\": \"" << encodingName(result.format.encoding)
       << "\", \"bom\": " << (result.format.hasBom ? "true" : "false") << ", \"detected_by\": \""
       << detectedByName(result.detectedBy) << "\", \"output_encoding\": \"" << encodingName(result.outputFormat.encoding)
       << "\", \"output_bom\": " << (result.outputFormat.hasBom ? "true" : "false");
    printJsonFindings(to, result.findings, tidy);
    to << "}\n";
}

void printBatchJson(std::ostream& to, const BatchResult& result, const RunFindings& findings, bool tidy) {
    printJsonCounts(to, result.files, result.statistics);
    printJsonFindings(to, findings, tidy);
    to << ", \"failed\": [";
    for (std::size_t i = 0; i < result.failures.size(); ++i)
        to << (i ? ", " : "") << "{\"path\": " << jsonString(result.failures[i].path)
           << ", \"error\": " << jsonString(result.failures[i].error) << "}";
    to << "]}\n";
}

// The warnings about what could not be carried over as it was, and, unless
// quiet, a note on an encoding that was guessed, so that a wrong guess is
// never silent.
void reportEncodings(std::ostream& err, const std::string& file, const FileRunResult& result, bool quiet) {
    const std::string name = shown(file);
    const char* input = encodingName(result.format.encoding);
    const char* output = encodingName(result.outputFormat.encoding);
    if (!quiet && isGuess(result.detectedBy))
        err << "quenlet-cli: note: " << name << ": read as " << input << " (" << detectedByName(result.detectedBy)
            << "); --encoding chooses another\n";
    if (result.replaced.escapesReplaced > 0) {
        const char16_t replacement = encodingInfo(result.outputFormat.encoding).replacement;
        const char* became = replacement == u'?' ? "?" : "U+FFFD";
        err << "quenlet-cli: warning: " << name << ": " << result.undecodableBytes << " bytes are not valid " << input;
        if (result.replaced.escapesReplaced == result.undecodableBytes)
            err << "; each became " << became << " in " << output << '\n';
        else
            err << "; " << result.replaced.escapesReplaced << " of them became " << became << " in " << output
                << ", the others went with the lines that were dropped\n";
    } else if (result.undecodableBytes > 0) {
        err << "quenlet-cli: warning: " << name << ": " << result.undecodableBytes << " bytes are not valid " << input;
        if (result.undecodableBytesWritten == result.undecodableBytes)
            err << "; they were copied unchanged\n";
        else
            err << "; " << result.undecodableBytesWritten << " of them were copied unchanged, the others went with "
                << "the lines that were dropped\n";
    }
    if (result.replaced.unencodableReplaced > 0)
        err << "quenlet-cli: warning: " << name << ": " << result.replaced.unencodableReplaced
            << " characters cannot be written in " << output << "; each became ?\n";
    if (result.bookReplacedCharacters > 0)
        err << "quenlet-cli: warning: " << shown(result.bookPath) << ": " << result.bookReplacedCharacters
            << " characters cannot go into an EPUB (undecodable bytes, control characters); they are shown as "
               "U+FFFD\n";
}

// Standard output that could not be written (a full disk, a closed pipe) is
// a failure like any other: the results were not delivered.
bool delivered(std::ostream& out, std::ostream& err) {
    errno = 0;
    out.flush();
    if (out) return true;
    const int error = errno;
    err << "quenlet-cli: standard output: cannot write" << (error ? ": " + std::generic_category().message(error) : "")
        << '\n';
    return false;
}

// Warnings about what a run found: lines dropped for their runs of question
// marks; under the tidy mode, a long file in which no heading was found.
void warnAboutFindings(std::ostream& err, const std::string& file, const FileRunResult& result, bool tidy) {
    const RunFindings& found = result.findings;
    if (found.linesDropped > 0)
        err << "quenlet-cli: warning: " << shown(file) << ": " << found.linesDropped << " line"
            << (found.linesDropped == 1 ? "" : "s") << " ending in a run of question marks dropped ("
            << found.charactersDropped << " characters); --tidy keeps their text\n";
    if (tidy && lacksExpectedHeadings(result))
        err << "quenlet-cli: warning: " << shown(file) << ": no heading found in " << result.sourceBytes / 1024
            << " KB of text\n";
}

// --list-headings: a file's headings in order, chapters under their volumes.
void printHeadings(std::ostream& to, const std::string& file, const RunFindings& found) {
    const bool volumes = std::any_of(found.headingList.begin(), found.headingList.end(),
                                     [](const auto& h) { return h.rank == HeadingRank::Volume; });
    to << shown(file) << ": " << found.headings << " heading" << (found.headings == 1 ? "" : "s") << '\n';
    for (const auto& h : found.headingList)
        to << (volumes && h.rank == HeadingRank::Chapter ? "    " : "  ") << toUtf8(h.title) << '\n';
    if (found.headings > static_cast<Count>(found.headingList.size()))
        to << "  (" << found.headings - static_cast<Count>(found.headingList.size()) << " more not listed)\n";
}

// Shows a batch's progress on standard error: one line redrawn in place on a
// terminal, a line per file otherwise, nothing when quiet. Failures and
// warnings are always shown.
class BatchProgress final : public BatchObserver {
public:
    BatchProgress(std::ostream& out, std::ostream& err, bool terminal, const Flags& flags)
        : out_(out), err_(err), terminal_(terminal), quiet_(flags.quiet), flags_(flags) {}
    ~BatchProgress() override { clearLine(); }

    void fileStarted(Count number, const std::string& path) override {
        if (quiet_) return;
        clearLine();
        err_ << toUtf8(processingFileText(number)) << ' ' << shown(path) << (terminal_ ? "" : "\n") << std::flush;
        lineShown_ = terminal_;
    }
    void fileFinished(Count, const std::string& path, const FileRunResult& result) override {
        findings_ += result.findings;
        std::ostringstream warnings;
        reportEncodings(warnings, path, result, quiet_);
        warnAboutFindings(warnings, path, result, flags_.tidy);
        if (!warnings.str().empty()) {
            clearLine();
            err_ << warnings.str();
        }
        if (flags_.listHeadings) {
            clearLine();
            printHeadings(out_, path, result.findings);
        }
    }
    void fileFailed(const std::string&, const std::string& error) override {
        clearLine();
        err_ << "quenlet-cli: " << shown(error) << '\n';
    }

    // What the files typeset have found, summed.
    const RunFindings& findings() const { return findings_; }

private:
    void clearLine() {
        if (lineShown_) err_ << "\r\x1b[K" << std::flush;
        lineShown_ = false;
    }
    std::ostream& out_;
    std::ostream& err_;
    bool terminal_;
    bool quiet_;
    const Flags& flags_;
    bool lineShown_ = false;
    RunFindings findings_;
};

// Converts the option texts; names the first option whose text is not valid UTF-8.
std::optional<std::string> convertTexts(const RawTexts& raw, TypesetOptions& options) {
    const struct {
        const char* option;
        const std::string* from;
        Text* to;
    } texts[] = {
        {"--heading-open", &raw.headingOpen, &options.HeadingOpen},
        {"--heading-close", &raw.headingClose, &options.HeadingClose},
        {"--indent", &raw.indent, &options.Indent},
        {"--paragraph-end", &raw.paragraphEnd, &options.ParagraphEnd},
        {"--find", &raw.find, &options.FindText},
        {"--replace", &raw.replace, &options.ReplaceText},
        {"--strip-prefix", &raw.stripPrefix, &options.StripPrefix},
    };
    for (const auto& text : texts)
        if (!fromUtf8Strict(*text.from, *text.to)) return text.option;
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
        ->check(CLI::Range(1U, 1024U))
        ->needs(batchOption);
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
    std::vector<std::string> inputNames = {"auto"};
    for (const EncodingInfo& info : encodings()) inputNames.emplace_back(info.name);
    std::vector<std::string> outputNames = {"same"};
    for (const NamedFormat& named : outputFormats()) outputNames.emplace_back(named.name);
    app.add_option("--encoding", flags.encoding,
                   "Encoding of the input: auto (default: a byte order mark; else UTF-8 when the whole file is\n"
                   "valid UTF-8; else UTF-16 without a mark when its zero bytes show it; else Big5 or GB18030,\n"
                   "whichever reads as Chinese, GB18030 when the text is too short to tell), or the one named.")
        ->check(CLI::IsMember(inputNames));
    app.add_option("--output-encoding", flags.outputEncoding,
                   "Encoding of the result: same (default: the input's, with its byte order mark) or the one\n"
                   "named; utf-16le and utf-16be are written with a byte order mark.")
        ->check(CLI::IsMember(outputNames));
    app.add_option("--line-ends", flags.lineEnds, "Line ends of the result: crlf (default) or lf.")
        ->check(CLI::IsMember({"crlf", "lf"}));
    app.add_flag("--replace-unencodable", flags.replaceUnencodable,
                 "Write ? for a character the output encoding cannot hold, and count them; without this such a\n"
                 "character fails the file (naming the line and the character) and nothing is written.");
    std::vector<std::string> conversions(conversionNames().begin(), conversionNames().end());
    app.add_option("--convert", flags.conversion,
                   "Convert the typeset text, headings and markers included, between simplified and traditional\n"
                   "characters with OpenCC (s = simplified, t = traditional, tw = Taiwan, twp = Taiwan with its\n"
                   "phrases, hk = Hong Kong).")
        ->check(CLI::Validator(
            [conversions](std::string& name) -> std::string {
                if (isConversionName(name)) return {};
                return "unknown conversion \"" + name + "\"; the conversions are " + joined(conversions, 0);
            },
            "{" + joined(conversions, 0, ",") + "}"))
        ->type_name("NAME");
    app.add_flag("--tidy", flags.tidy,
                 "Tidy novels as they are downloaded: lines of any kind of space count as empty, site junk\n"
                 "(update stamps, word counts, addresses, credits, disclaimers) is removed, every chapter\n"
                 "heading gets a line of its own, tables of contents stay lists, and no text is dropped.");
    app.add_option("--rules", flags.rulesFiles,
                   "With --tidy (which it turns on): your own rules, read after the built-in ones; may be given\n"
                   "more than once. --print-rules shows the format.")
        ->type_name("FILE")
        ->allow_extra_args(false);  // one file each time, so that the FILEs after it stay FILEs
    app.add_flag("--print-rules", flags.printRules, "Print the built-in tidy rules file and exit.");
    app.add_flag("--list-headings", flags.listHeadings, "Print each file's headings in order.");
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
                                          "The EPUB's language tag, such as zh-CN or zh-TW (default: the language\n"
                                          "--convert converts to; else zh-TW when the text is in traditional\n"
                                          "characters, else zh-CN).");
    auto* verticalOption = app.add_flag("--vertical", flags.vertical,
                                        "Set the EPUB in vertical lines read from right to left.");
    app.add_flag("--json", flags.json, "Print the statistics of each file as one JSON object.");
    app.add_flag("-q,--quiet", flags.quiet, "Print no statistics, and no note on an encoding that was guessed.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, streams.out, streams.err);
    } catch (const CLI::ParseError& e) {
        app.exit(e, streams.out, streams.err);
        return kExitUsage;
    }

    if (flags.printRules) {
        streams.out << tidy::TidyRules::builtInText();
        return kExitOk;
    }
    if (files.empty() && batchOption->count() == 0) {
        streams.err << "quenlet-cli: give the FILEs to typeset, or --batch DIR\nRun with --help for more information.\n";
        return kExitUsage;
    }

    TypesetOptions options;
    if (const auto bad = convertTexts(raw, options)) {
        streams.err << "quenlet-cli: " << *bad << ": the text is not valid UTF-8\n";
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
    if (flags.outputEncoding != "same") settings.outputFormat = outputFormatFromName(flags.outputEncoding);
    settings.lineEnd = flags.lineEnds == "lf" ? LineEnd::Lf : LineEnd::CrLf;
    settings.replaceUnencodable = flags.replaceUnencodable;
    settings.conversion = flags.conversion;
    if (!settings.conversion.empty()) {
        try {
            ChineseConverter::load(settings.conversion);  // once, before any file
        } catch (const std::exception& e) {
            streams.err << "quenlet-cli: " << e.what() << '\n';
            return kExitFailed;
        }
    }
    settings.listHeadings = flags.listHeadings;
    flags.tidy = flags.tidy || !flags.rulesFiles.empty();
    if (flags.tidy) {
        try {
            tidy::TidyRules rules = tidy::TidyRules::builtIn();
            for (const std::string& file : flags.rulesFiles) rules.addFile(file);
            settings.hooks = std::make_shared<tidy::TidyMode>(std::move(rules));
        } catch (const tidy::RulesError& e) {
            streams.err << "quenlet-cli: " << e.what() << '\n';
            return kExitUsage;
        }
    }
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
        BatchProgress progress(streams.out, streams.err, streams.errIsTerminal, flags);
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
                printBatchJson(streams.out, result, progress.findings(), flags.tidy);
            } else {
                streams.out << toUtf8(fileCountText(result.files)) << '\n';
                printStatistics(streams.out, result.statistics);
            }
        }
        const bool reported = delivered(streams.out, streams.err);
        return result.failures.empty() && reported ? kExitOk : kExitFailed;
    }

    bool anyFailed = false;
    for (const std::string& file : files) {
        engine.resetStatistics();
        const bool fromStandardInput = file == "-";
        const FileRunResult result =
            fromStandardInput ? typesetStream(engine, streams.inputFd, streams.outputFd, options, settings)
                              : typesetFile(engine, file, options, settings);
        if (!result.ok) {
            streams.err << "quenlet-cli: " << shown(result.error) << '\n';
            anyFailed = true;
            continue;
        }
        const std::string name = fromStandardInput ? "standard input" : file;
        reportEncodings(streams.err, name, result, flags.quiet);
        warnAboutFindings(streams.err, name, result, flags.tidy);
        std::ostream& report = fromStandardInput ? streams.err : streams.out;
        if (flags.listHeadings) printHeadings(report, name, result.findings);
        if (flags.quiet) continue;
        if (flags.json) printJson(report, engine.statistics(), result, flags.tidy);
        else printStatistics(report, engine.statistics());
    }
    const bool reported = delivered(streams.out, streams.err);
    return anyFailed || !reported ? kExitFailed : kExitOk;
}

}  // namespace quenlet::cli
