#include "cli/reporter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "run/statistic_texts.h"
#include "text/encoding.h"
#include "text/utf8.h"

namespace quenlet::cli {
namespace {

constexpr std::string_view kPrefix = "quenlet-cli: ";

// The counts shared by the reports of a file and of a batch.
Json countsJson(Count files, const Statistics& statistics) {
    return {{"files", files},
            {"source_paragraphs", statistics.SourceParagraphCount},
            {"merged", statistics.MergedCount},
            {"split", statistics.SplitCount},
            {"final_paragraphs", statistics.FinalParagraphCount}};
}

// What a run found: the tidy mode's counts, and the lines dropped for their
// runs of question marks (which the tidy mode keeps).
void addFindings(Json& report, const RunFindings& findings, bool tidy) {
    if (tidy) {
        report["headings"] = findings.headings;
        report["empty_headings"] = findings.emptyHeadings;
        report["junk_removed"] = findings.junkRemoved;
        report["sequence_gaps"] = findings.sequenceMissing;
        report["sequence_repeats"] = findings.sequenceRepeated;
        report["sequence_backwards"] = findings.sequenceBackwards;
    }
    report["lines_dropped"] = findings.linesDropped;
    report["characters_dropped"] = findings.charactersDropped;
}

// "8, 9, 18": at most a screenful of numbers, then how many more.
std::string numberList(const std::vector<std::int64_t>& numbers) {
    constexpr std::size_t kShown = 20;
    std::string out;
    for (std::size_t i = 0; i < numbers.size() && i < kShown; ++i) out += (i ? ", " : "") + std::to_string(numbers[i]);
    if (numbers.size() > kShown) out += " and " + std::to_string(numbers.size() - kShown) + " more";
    return out;
}

}  // namespace

// Control characters (a newline in a file name could forge a progress line,
// an escape sequence could drive the terminal) and bytes that are not UTF-8
// are shown as escapes instead.
std::string Reporter::shown(std::string_view text) {
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

void Reporter::error(std::string_view message) { err_ << kPrefix << message << '\n'; }

void Reporter::failure(std::string_view message) { err_ << kPrefix << shown(message) << '\n'; }

void Reporter::aboutFile(std::ostream& to, const std::string& file, const FileRunResult& result) const {
    const std::string name = shown(file);
    const char* input = encodingName(result.format.encoding);
    const char* output = encodingName(result.outputFormat.encoding);
    if (!quiet_ && isGuess(result.detectedBy))
        to << kPrefix << "note: " << name << ": read as " << input << " (" << detectedByName(result.detectedBy)
           << "); --encoding chooses another\n";
    if (result.replaced.escapesReplaced > 0) {
        const char16_t replacement = encodingInfo(result.outputFormat.encoding).replacement;
        const char* became = replacement == u'?' ? "?" : "U+FFFD";
        to << kPrefix << "warning: " << name << ": " << result.undecodableBytes << " bytes are not valid " << input;
        if (result.replaced.escapesReplaced == result.undecodableBytes)
            to << "; each became " << became << " in " << output << '\n';
        else
            to << "; " << result.replaced.escapesReplaced << " of them became " << became << " in " << output
               << ", the others went with the lines that were dropped\n";
    } else if (result.undecodableBytes > 0) {
        to << kPrefix << "warning: " << name << ": " << result.undecodableBytes << " bytes are not valid " << input;
        if (result.undecodableBytesWritten == result.undecodableBytes)
            to << "; they were copied unchanged\n";
        else
            to << "; " << result.undecodableBytesWritten << " of them were copied unchanged, the others went with "
               << "the lines that were dropped\n";
    }
    if (result.replaced.unencodableReplaced > 0)
        to << kPrefix << "warning: " << name << ": " << result.replaced.unencodableReplaced
           << " characters cannot be written in " << output << "; each became ?\n";
    if (result.bookReplacedCharacters > 0)
        to << kPrefix << "warning: " << shown(result.bookPath) << ": " << result.bookReplacedCharacters
           << " characters cannot go into an EPUB (undecodable bytes, control characters); they are shown as "
              "U+FFFD\n";
    const RunFindings& found = result.findings;
    if (found.linesDropped > 0)
        to << kPrefix << "warning: " << name << ": " << found.linesDropped << " line"
           << (found.linesDropped == 1 ? "" : "s") << " ending in a run of question marks dropped ("
           << found.charactersDropped << " characters); --tidy keeps their text\n";
    for (const std::string& warning : found.warnings) to << kPrefix << "warning: " << name << ": " << shown(warning) << '\n';
    if (tidy_ && lacksExpectedHeadings(result))
        to << kPrefix << "warning: " << name << ": no heading found in " << result.sourceBytes / 1024
           << " KB of text\n";
    else if (bookLacksChapters(result))
        to << kPrefix << "note: " << shown(result.bookPath) << ": " << result.bookChapters << " chapter"
           << (result.bookChapters == 1 ? "" : "s") << " in " << result.sourceBytes / 1024
           << " KB of text; its contents list little" << (tidy_ ? "" : " (--no-tidy: every heading starts one)")
           << '\n';
    if (!quiet_) numbering(to, name, found);
}

// Notes on what the numbering of the headings the tidy mode found shows:
// chapters missing from the download, given twice, or out of order.
void Reporter::numbering(std::ostream& to, const std::string& name, const RunFindings& found) const {
    const auto note = [&](const std::vector<std::int64_t>& numbers, const char* what) {
        if (numbers.empty()) return;
        to << kPrefix << "note: " << name << ": chapter" << (numbers.size() == 1 ? " " : "s ") << numberList(numbers)
           << ' ' << what << '\n';
    };
    note(found.sequenceMissing, "missing");
    note(found.sequenceRepeated, "given twice");
    if (!found.sequenceBackwards.empty())
        to << kPrefix << "note: " << name << ": the numbering steps back after chapter"
           << (found.sequenceBackwards.size() == 1 ? " " : "s ") << numberList(found.sequenceBackwards) << '\n';
}

void Reporter::junk(std::ostream& to, const std::string& file, const RunFindings& found) const {
    to << shown(file) << ": " << found.junkRemoved << " piece" << (found.junkRemoved == 1 ? "" : "s")
       << " of junk removed\n";
    for (const auto& piece : found.junkList) to << "  " << piece.count << "\u00D7 " << shown(toUtf8(piece.text)) << '\n';
}

void Reporter::headings(std::ostream& to, const std::string& file, const RunFindings& found) const {
    const bool volumes = std::any_of(found.headingList.begin(), found.headingList.end(),
                                     [](const auto& h) { return h.rank == HeadingRank::Volume; });
    to << shown(file) << ": " << found.headings << " heading" << (found.headings == 1 ? "" : "s") << '\n';
    for (const auto& h : found.headingList)
        to << (volumes && h.rank != HeadingRank::Volume ? "    " : "  ") << toUtf8(h.title) << '\n';
    if (found.headings > static_cast<Count>(found.headingList.size()))
        to << "  (" << found.headings - static_cast<Count>(found.headingList.size()) << " more not listed)\n";
}

void Reporter::statistics(std::ostream& to, const Statistics& statistics) const {
    const StatisticTexts texts = statisticTexts(statistics);
    for (const Text* line : {&texts.sourceParagraphs, &texts.merged, &texts.split, &texts.finalParagraphs})
        to << toUtf8(*line) << '\n';
}

// "encoding" is the input's, as "input_encoding": both are promised.
Json Reporter::fileJson(const Statistics& statistics, const FileRunResult& result) const {
    Json report = countsJson(1, statistics);
    report["output"] = result.outputPath;
    if (!result.bookPath.empty()) report["epub"] = result.bookPath;
    report["encoding"] = encodingName(result.format.encoding);
    report["input_encoding"] = encodingName(result.format.encoding);
    report["bom"] = result.format.hasBom;
    report["detected_by"] = detectedByName(result.detectedBy);
    report["output_encoding"] = encodingName(result.outputFormat.encoding);
    report["output_bom"] = result.outputFormat.hasBom;
    addFindings(report, result.findings, tidy_);
    return report;
}

Json Reporter::batchJson(const BatchResult& result, const RunFindings& findings) const {
    Json report = countsJson(result.files, result.statistics);
    addFindings(report, findings, tidy_);
    Json failed = Json::array();
    for (const BatchFailure& failure : result.failures) failed.push_back({{"path", failure.path}, {"error", failure.error}});
    report["failed"] = std::move(failed);
    return report;
}

void Reporter::json(std::ostream& to, const Json& report) const {
    writeJson(to, report);
    to << '\n';
}

bool Reporter::delivered() {
    errno = 0;
    out_.flush();
    if (out_) return true;
    const int error = errno;
    err_ << kPrefix << "standard output: cannot write"
         << (error ? ": " + std::generic_category().message(error) : "") << '\n';
    return false;
}

}  // namespace quenlet::cli
