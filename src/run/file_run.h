// One file's run: the source is read line by line through the engine into a
// "kovra-" copy beside it. The source is never written; the copy appears only
// when it is complete.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/typeset_engine.h"
#include "files/file_error.h"
#include "files/file_location.h"
#include "files/output_file.h"
#include "files/text_file.h"
#include "run/book_output.h"
#include "run/chapter_sample.h"
#include "run/output_names.h"
#include "text/encoding.h"
#include "text/encoding_detector.h"

namespace quenlet {

struct FileRunSettings {
    std::optional<Encoding> forcedEncoding;  // detect when empty
    // Pipelined: decoding and encoding on helper threads, overlapping with the
    // typesetting (for one file at a time). Inline: all on the calling thread
    // (for batches that already run files side by side).
    Threading threading = Threading::Pipelined;
    // The output's encoding and byte order mark; the source's when empty.
    std::optional<TextFormat> outputFormat;
    LineEnd lineEnd = LineEnd::CrLf;
    // A character the output encoding cannot hold becomes "?" instead of
    // failing the file.
    bool replaceUnencodable = false;
    // A simplified/traditional conversion of the typeset text (see
    // conversionNames()); none when empty.
    std::string conversion;
    // Whether the run syncs the folder after renaming the copy into place.
    // A batch that syncs each folder once for all its files turns it off.
    bool syncFolder = true;
    // Optional behaviour for every file of the run (such as the tidy mode);
    // none by default.
    std::shared_ptr<const RunHooksMaker> hooks;
    bool listHeadings = false;  // list each heading's title in the result's findings
    // Keep the first chapter as it was and as it came out (the result's
    // firstChapter), for a front end to show; the headings are then listed too.
    bool sampleFirstChapter = false;
    // What the run writes: the text copy, a book (from the formats library)
    // beside it, or both.
    bool writeText = true;
    std::shared_ptr<const BookFormat> book;  // no book when empty
    BookDetails bookDetails;                 // as given; the run fills in the title and the time
    // A pipelined run's hooks that look at the whole source first look at a
    // source this long in two halves at once, one on a helper thread.
    static constexpr std::uint64_t kPartedLookFrom = 4 * 1024 * 1024;
    std::uint64_t partedLookFrom = kPartedLookFrom;
};

struct FileRunResult {
    bool ok = false;
    std::string error;  // "<file>: <reason>" when the run failed
    int errorNumber = 0;  // the system's error number behind the failure, when there is one
    FailureCause failure;  // when the run failed: its kind and details, for front ends with messages of their own
    std::string outputPath;  // the text copy, or the book when no text is written
    std::string bookPath;    // the book, when one is written
    TextFormat format;  // the source's
    DetectedBy detectedBy = DetectedBy::Utf8;
    TextFormat outputFormat;
    std::uint64_t undecodableBytes = 0;         // found in the source
    std::uint64_t undecodableBytesWritten = 0;  // of those, written back unchanged to the text copy
    EncodeCounts replaced;  // undecodable bytes and characters the output encoding could not take as they were
    std::uint64_t bookReplacedCharacters = 0;  // written into the book as U+FFFD
    std::size_t bookChapters = 0;              // the chapters and volumes of the book
    std::uint64_t sourceBytes = 0;  // the size of the source file; 0 for a stream
    RunFindings findings;
    ChapterSample firstChapter;  // when the settings asked for it
    Statistics statistics;  // this file's own, whatever the engine had counted before it
};

// A source this large is expected to have chapters: when the tidy mode finds
// no heading in it, the front ends say so.
inline constexpr std::uint64_t kHeadingExpectedBytes = 100 * 1024;
inline bool lacksExpectedHeadings(const FileRunResult& result) {
    return result.findings.headings == 0 && result.sourceBytes > kHeadingExpectedBytes;
}
// A book from a source this large with fewer chapters than this has
// contents that hardly help: the front ends say so.
inline constexpr std::size_t kFewestExpectedChapters = 3;
inline bool bookLacksChapters(const FileRunResult& result) {
    return !result.bookPath.empty() && result.bookChapters < kFewestExpectedChapters &&
           result.sourceBytes > kHeadingExpectedBytes;
}

// Typesets the file at sourcePath into its "kovra-" copy. On failure nothing is
// left behind, an existing copy is untouched, and the engine's carried state
// and statistics are as they were before the call. The copy gets the source's
// permission bits (less the umask) and never replaces the source itself.
FileRunResult typesetFile(TypesetEngine& engine, const std::string& sourcePath, const TypesetOptions& options,
                          const FileRunSettings& settings = {}, RunObserver* observer = nullptr);
// The same for a file in an open folder (a batch's walk).
FileRunResult typesetFile(TypesetEngine& engine, const FileLocation& source, const TypesetOptions& options,
                          const FileRunSettings& settings = {}, RunObserver* observer = nullptr);

// A file typeset into a temporary file beside its "kovra-" copy, not yet put
// in place: commit() renames it over the copy; dropping it removes it. The
// temporary file is already written out and closed, so a prepared file holds
// no descriptor but its folder's. The statistics of the run are the engine's
// at the end of the file.
struct PreparedFile {
    FileRunResult result;
    std::unique_ptr<AtomicOutputFile> output;
    std::unique_ptr<AtomicOutputFile> book;
    // Puts the outputs in place; on failure result.ok turns false, with the
    // error. See AtomicOutputFile::commit for syncFolder.
    void commit(bool syncFolder = true);
    void commitOutputs(bool syncFolder = true);  // the same, throwing FileError
};
PreparedFile prepareFile(TypesetEngine& engine, const FileLocation& source, const TypesetOptions& options,
                         const FileRunSettings& settings = {}, RunObserver* observer = nullptr);

// Typesets from one open descriptor to another (standard input to standard
// output). The input is copied to a temporary file first when it cannot be
// read twice, which format detection needs; that copy has no name and lies in
// $TMPDIR, or /tmp when it is not set. Only text goes to standard output: a
// book in the settings is refused.
FileRunResult typesetStream(TypesetEngine& engine, int inputFd, int outputFd, const TypesetOptions& options,
                            const FileRunSettings& settings = {}, RunObserver* observer = nullptr);

}  // namespace quenlet
