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
void addCounts(Json& report, Count files, const Statistics& statistics) {
    report["files"] = files;
    report["source_paragraphs"] = statistics.SourceParagraphCount;
    report["merged"] = statistics.MergedCount;
    report["split"] = statistics.SplitCount;
    report["final_paragraphs"] = statistics.FinalParagraphCount;
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

const char* rankName(HeadingRank rank) {
    switch (rank) {
        case HeadingRank::Volume: return "volume";
        case HeadingRank::Chapter: return "chapter";
        case HeadingRank::Minor: return "minor";
    }
    return "chapter";
}

// The kinds of failure as a script reads them.
const char* failureKindName(FailureKind kind) {
    switch (kind) {
        case FailureKind::None: return "none";
        case FailureKind::CannotOpen: return "cannot-open";
        case FailureKind::IsDirectory: return "is-directory";
        case FailureKind::NotRegularFile: return "not-regular-file";
        case FailureKind::CannotListFolder: return "cannot-list-folder";
        case FailureKind::FolderReplacedByLink: return "folder-replaced-by-link";
        case FailureKind::CannotRead: return "cannot-read";
        case FailureKind::ChangedWhileRead: return "changed-while-read";
        case FailureKind::CannotCreateOutput: return "cannot-create-output";
        case FailureKind::TooManyTemporaryFiles: return "too-many-temporary-files";
        case FailureKind::CannotWrite: return "cannot-write";
        case FailureKind::CannotReplaceOutput: return "cannot-replace-output";
        case FailureKind::WouldReplaceSource: return "would-replace-source";
        case FailureKind::OutputNameTaken: return "output-name-taken";
        case FailureKind::Unencodable: return "unencodable";
        case FailureKind::OutOfMemory: return "out-of-memory";
        case FailureKind::Interrupted: return "interrupted";
        case FailureKind::CannotMakeTemporaryCopy: return "cannot-make-temporary-copy";
        case FailureKind::EncodingUnavailable: return "encoding-unavailable";
        case FailureKind::ConversionUnavailable: return "conversion-unavailable";
        case FailureKind::CannotStart: return "cannot-start";
        case FailureKind::UnsupportedEncoding: return "unsupported-encoding";
        case FailureKind::Other: return "other";
    }
    return "other";
}

// "1 byte", "2 bytes".
std::string counted(std::uint64_t n, const char* noun) { return std::to_string(n) + ' ' + noun + (n == 1 ? "" : "s"); }

// Where the undecodable bytes that did not reach the text copy went: the
// lines dropped for their runs of question marks, the junk the tidy mode
// removed (a junk line, or a piece a cut rule took).
const char* lostWith(const RunFindings& found) {
    if (found.linesDropped > 0 && found.junkRemoved > 0)
        return "the lines that were dropped or the junk that was removed";
    if (found.junkRemoved > 0) return "the junk that was removed";
    if (found.linesDropped > 0) return "the lines that were dropped";
    return "the text that was removed";
}

// The warning on a source's undecodable bytes, after "<file>: ": how many
// there are, and how many of them reached the text copy and how -- as
// themselves, or as a replacement in another encoding. A book alone has its
// own warning for what it shows as U+FFFD.
std::string undecodableText(const FileRunResult& result, const char* input, const char* output) {
    const std::uint64_t total = result.undecodableBytes;
    std::string text = counted(total, "byte") + (total == 1 ? " is" : " are") + " not valid " + input;
    const bool textCopy = result.bookPath.empty() || result.outputPath != result.bookPath;
    if (!textCopy) return text;
    const bool replaced = result.replaced.escapesReplaced > 0;
    const std::uint64_t reached = replaced ? result.replaced.escapesReplaced : result.undecodableBytesWritten;
    const char16_t replacement = encodingInfo(result.outputFormat.encoding).replacement;
    const std::string became = std::string(" became ") + (replacement == u'?' ? "?" : "U+FFFD") + " in " + output;
    const std::string lost = lostWith(result.findings);
    if (reached == total) {
        if (replaced) return text + (total == 1 ? "; it" : "; each") + became;
        return text + (total == 1 ? "; it was copied unchanged" : "; they were copied unchanged");
    }
    if (reached == 0)
        return text + (total == 1 ? "; it went with " : "; none reached the copy, they went with ") + lost;
    return text + "; " + std::to_string(reached) + " of them" +
           (replaced ? became : reached == 1 ? " was copied unchanged" : " were copied unchanged") +
           ", the others went with " + lost;
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

std::vector<Reporter::Warning> Reporter::warnings(const std::string& file, const FileRunResult& result) const {
    std::vector<Warning> out;
    const auto warn = [&](std::string text) { out.push_back({file, std::move(text)}); };
    const char* input = encodingName(result.format.encoding);
    const char* output = encodingName(result.outputFormat.encoding);
    if (result.undecodableBytes > 0) warn(undecodableText(result, input, output));
    if (const std::uint64_t n = result.replaced.unencodableReplaced; n > 0)
        warn(counted(n, "character") + " cannot be written in " + output + (n == 1 ? "; it became ?" : "; each became ?"));
    if (const std::uint64_t n = result.bookReplacedCharacters; n > 0)
        out.push_back({result.bookPath, counted(n, "character") +
                                            " cannot go into an EPUB (undecodable bytes, control characters); " +
                                            (n == 1 ? "it is shown as U+FFFD" : "they are shown as U+FFFD")});
    const RunFindings& found = result.findings;
    if (found.linesDropped > 0)
        warn(std::to_string(found.linesDropped) + " line" + (found.linesDropped == 1 ? "" : "s") +
             " ending in a run of question marks dropped (" + std::to_string(found.charactersDropped) +
             " characters); --tidy keeps their text");
    for (const std::string& warning : found.warnings) warn(warning);
    if (tidy_ && lacksExpectedHeadings(result))
        warn("no heading found in " + std::to_string(result.sourceBytes / 1024) + " KB of text");
    return out;
}

void Reporter::aboutFile(std::ostream& to, const std::string& file, const FileRunResult& result) const {
    const std::string name = shown(file);
    if (!quiet_ && isGuess(result.detectedBy))
        to << kPrefix << "note: " << name << ": read as " << encodingName(result.format.encoding) << " ("
           << detectedByName(result.detectedBy) << "); --encoding chooses another\n";
    for (const Warning& warning : warnings(file, result))
        to << kPrefix << "warning: " << shown(warning.subject) << ": " << shown(warning.text) << '\n';
    if (!(tidy_ && lacksExpectedHeadings(result)) && bookLacksChapters(result))
        to << kPrefix << "note: " << shown(result.bookPath) << ": " << result.bookChapters << " chapter"
           << (result.bookChapters == 1 ? "" : "s") << " in " << result.sourceBytes / 1024
           << " KB of text; its contents list little" << (tidy_ ? "" : " (--no-tidy: every heading starts one)")
           << '\n';
    if (!quiet_) numbering(to, name, result.findings);
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
    Json report = Json::object();
    addFileReport(report, statistics, result);
    return report;
}

void Reporter::addFileReport(Json& report, const Statistics& statistics, const FileRunResult& result) const {
    addCounts(report, 1, statistics);
    report["output"] = result.outputPath;
    if (!result.bookPath.empty()) report["epub"] = result.bookPath;
    report["encoding"] = encodingName(result.format.encoding);
    report["input_encoding"] = encodingName(result.format.encoding);
    report["bom"] = result.format.hasBom;
    report["detected_by"] = detectedByName(result.detectedBy);
    report["output_encoding"] = encodingName(result.outputFormat.encoding);
    report["output_bom"] = result.outputFormat.hasBom;
    addFindings(report, result.findings, tidy_);
}

Json Reporter::batchJson(const BatchResult& result, const RunFindings& findings) const {
    Json report = Json::object();
    addCounts(report, result.files, result.statistics);
    addFindings(report, findings, tidy_);
    Json failed = Json::array();
    for (const BatchFailure& failure : result.failures) failed.push_back({{"path", failure.path}, {"error", failure.error}});
    report["failed"] = std::move(failed);
    return report;
}

Json Reporter::batchFileJson(const std::string& path, const FileRunResult& result, bool listHeadings,
                             bool listJunk) const {
    Json report = {{"path", path}};
    addFileReport(report, result.statistics, result);
    const RunFindings& found = result.findings;
    if (listHeadings) {
        Json headings = Json::array();
        for (const auto& h : found.headingList) headings.push_back({{"title", toUtf8(h.title)}, {"rank", rankName(h.rank)}});
        report["heading_list"] = std::move(headings);
    }
    if (listJunk) {
        Json junk = Json::array();
        for (const auto& piece : found.junkList) junk.push_back({{"text", toUtf8(piece.text)}, {"count", piece.count}});
        report["junk_list"] = std::move(junk);
    }
    Json warned = Json::array();
    for (Warning& warning : warnings(path, result)) warned.push_back(std::move(warning.text));
    report["warnings"] = std::move(warned);
    return report;
}

Json Reporter::batchFailureJson(const std::string& path, const std::string& error, const FailureCause& cause) {
    return {{"path", path}, {"failure", {{"kind", failureKindName(cause.kind)}, {"error", error}}}};
}

void Reporter::json(std::ostream& to, const Json& report) const {
    writeJson(to, report);
    to << '\n';
}

void Reporter::flushOut() {
    if (outError_ != 0) return;
    errno = 0;
    out_.flush();
    if (!out_) outError_ = errno ? errno : -1;
}

bool Reporter::delivered() {
    flushOut();
    if (out_) return true;
    const int error = outError_ > 0 ? outError_ : 0;
    err_ << kPrefix << "standard output: cannot write"
         << (error ? ": " + std::generic_category().message(error) : "") << '\n';
    return false;
}

}  // namespace quenlet::cli
