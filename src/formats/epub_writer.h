// The EPUB writer: a book made from the paragraph writers' events. Each
// heading starts a chapter document whose paragraphs follow as <p> elements;
// text before the first heading is a front-matter document; volume headings
// hold the chapters after them in a two-level table of contents. The indent
// and the ending of paragraphs become CSS, the heading markers the markup of
// the heading. Very long chapters are spread over several documents, so that
// e-readers stay fast.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "run/book_output.h"
#include "formats/chinese_script.h"
#include "formats/epub_package.h"
#include "formats/xml_text.h"
#include "formats/zip_package.h"

namespace quenlet::formats {

class EpubWriter final : public BookWriter {
public:
    // A chapter's document is closed once its XHTML comes to about this
    // much, and the chapter goes on in the next one.
    static constexpr std::size_t kDocumentLimit = 300 * 1024;

    // helpers: threads that write out and deflate finished documents while
    // the text goes on (none: all on the calling thread). The deflated
    // documents wait for the end in a scratch file beside `book` (the output
    // they are for, named in messages), or without it in the temporary folder.
    EpubWriter(BookDetails details, unsigned helpers, const FileLocation* book = nullptr);

    void plainLine(TextView line) override { paragraph({}, line, {}); }
    void blankLine() override {}  // the text output's spacing: the markup sets headings apart itself
    void heading(TextView open, TextView title, TextView close, HeadingRank rank) override;
    void paragraph(TextView indent, TextView body, TextView end) override;

    void finish(int fd, const std::string& path) override;
    std::uint64_t replacedCharacters() const override { return markup_.replaced() + renderedReplacements_; }

    // A document is drafted as blocks -- a kind, a length in two units, the
    // text -- and turned into XHTML on the thread that deflates it.
    enum BlockKind : char16_t { kHead, kVolume, kChapter, kParagraph };  // kParagraph + the style number

private:
    // The archive's entries, complete, in their order.
    std::vector<ZipEntry> entries();
    void startDocument(TextView title);
    void closeDocument();
    void addBlock(char16_t kind, TextView text);
    std::size_t styleOf(TextView indent, TextView end);

    BookDetails details_;
    unsigned helpers_;
    MarkupText markup_;  // for the titles, the styles and the package
    std::atomic<std::uint64_t> renderedReplacements_{0};
    ScriptTally script_;
    ScratchFile scratch_;  // before the deflater, whose helpers write to it
    EntryDeflater deflater_;
    std::vector<std::string> documents_;
    std::vector<TocNode> toc_;
    std::optional<std::size_t> volume_;  // the TOC entry of the volume the chapters go into
    std::vector<ParagraphStyle> styles_;
    std::size_t lastStyle_ = 0;
    std::u16string draft_;     // of the document being written
    std::size_t draftBytes_ = 0;  // what its XHTML will about come to
    bool documentOpen_ = false;
    bool documentHasText_ = false;
    Text chapterTitle_;        // of the document being written
    bool finished_ = false;
};

// The EPUB output for file runs.
std::shared_ptr<const BookFormat> epubFormat();

}  // namespace quenlet::formats
