// A book made from the typeset paragraphs beside (or instead of) the text
// copy: it takes the same events as the text output while the file is
// typeset, and is put together once the file is done. The engine knows only
// this interface; the formats library implements it (EPUB), so the engine
// needs no archive or markup library.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/output_sink.h"
#include "base/helper_threads.h"
#include "files/file_location.h"

namespace quenlet {

struct BookDetails {
    Text title;             // as the user gives it; when empty the writer finds one (see BookWriter::sourceOpening)
    Text author;            // the same; none when nothing gives one
    std::string language;   // a language tag such as "zh-TW"; decided from the text when empty
    bool vertical = false;  // vertical writing, lines from right to left
    std::int64_t modified = 0;  // the source's modification time, seconds since 1970 (UTC)
    Text sourceName;        // the source's file name, as the book names its source
    // The file name without .txt, converted as the text is: where a title
    // and an author are looked for first, and the title when nothing gives one.
    Text nameTitle;
    std::shared_ptr<const std::string> cover;  // the bytes of a cover image, when the user gives one
    std::string coverType;                     // its media type: image/jpeg or image/png
    std::string style;                         // the user's own style sheet (UTF-8 CSS), when given
};

class BookWriter : public OutputSink {
public:
    // The first lines of the source as read (converted as the text is), once
    // the text is typeset and before finish(): where the writer looks for the
    // title and the author when neither the user nor the file name gives them.
    virtual void sourceOpening(const std::vector<Text>& /*lines*/) {}
    static constexpr std::size_t kOpeningLines = 12;
    // The chapters (and volumes) the book holds; known once finish() returned.
    virtual std::size_t chapters() const { return 0; }
    // Writes the complete book into fd, a new empty file; throws FileError naming path.
    virtual void finish(int fd, const std::string& path) = 0;
    // Characters the book cannot hold (undecodable source bytes, control
    // characters), written as U+FFFD instead. Known once finish() returned.
    virtual std::uint64_t replacedCharacters() const = 0;
};

class BookFormat {
public:
    virtual ~BookFormat() = default;
    virtual std::string_view extension() const = 0;  // ".epub"
    // Pipelined lets the writer work on helper threads while the file is
    // typeset. `target` is the book's place: what the writer keeps on disk
    // until finish() goes into its folder.
    virtual std::unique_ptr<BookWriter> open(const BookDetails& details, Threading threading,
                                             const FileLocation& target) const = 0;
};

}  // namespace quenlet
