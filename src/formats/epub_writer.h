// The EPUB writer: a book made from the paragraph writers' events. A chapter
// or volume heading starts a chapter document (a heading that follows one
// with nothing between them joins it, so no page holds only a title); the
// headings the writers make by their look alone (poem titles, dates) are
// subheadings inside the chapter; the source's own table of contents is a
// list; text before the first chapter is front matter. The pieces the
// writers cut one source paragraph into are joined again, and cut only when
// it is very long. Volumes hold the chapters after them in a two-level table
// of contents. The indent and the ending of paragraphs become CSS, the
// heading markers the markup of the heading. Very long chapters are spread
// over several documents, so that e-readers stay fast. Every document
// carries the book's language, which the text decides when nothing else
// does: documents wait until enough of it is seen.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run/book_output.h"
#include "formats/book_title.h"
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
    // A source paragraph longer than this (in code units) is cut where the
    // paragraph writers cut it, at sentence ends, into pieces about as long.
    static constexpr std::size_t kParagraphLimit = 1500;
    // Without a language given, documents wait for the text to tell its
    // script, but no longer than this much of it (in code units).
    static constexpr std::size_t kLanguageWait = 1 << 20;

    // helpers: threads that write out and deflate finished documents while
    // the text goes on (none: all on the calling thread). The deflated
    // documents wait for the end in a scratch file beside `book` (the output
    // they are for, named in messages), or without it in the temporary folder.
    EpubWriter(BookDetails details, unsigned helpers, const FileLocation* book = nullptr);

    void plainLine(TextView line) override;
    void blankLine() override {}  // the text output's spacing: the markup sets headings apart itself
    void heading(TextView open, TextView title, TextView close, HeadingRank rank) override;
    void paragraph(TextView indent, TextView body, TextView end) override;
    void listEntry(TextView indent, TextView entry, TextView end) override;
    void paragraphEnds() override { endParagraph(); }
    void sourceOpening(const std::vector<Text>& lines) override { opening_ = lines; }

    void finish(int fd, const std::string& path) override;
    std::uint64_t replacedCharacters() const override { return markup_.replaced() + renderedReplacements_; }
    std::size_t chapters() const override { return chapters_; }

    // A document is drafted as blocks -- a kind, a length in two units, the
    // text -- and turned into XHTML on the thread that deflates it. The first
    // block names the document and says what it holds; a chapter's heading
    // starts with its number (two units), for its id.
    enum BlockKind : char16_t {
        kHeadFront, kHeadChapter, kHeadPart,
        kVolume, kChapter, kMinor, kContentsTitle, kListEntry,
        kParagraph  // kParagraph + the style number
    };

    // What the renderers of the documents share with the writer.
    struct RenderSettings {
        std::string language;  // set once, before the first document is handed over
        bool vertical = false;
    };

private:
    // The archive's entries, complete, in their order.
    std::vector<ZipEntry> entries();
    void startDocument(TextView title, bool front);
    void closeDocument();
    void ensureDocument();
    void splitLongDocument();
    void endParagraph();
    void addBlock(char16_t kind, TextView text, TextView prefix = {});
    std::size_t styleOf(TextView indent, TextView end);
    void handOver(std::string name, std::u16string draft);
    void settleLanguage();
    TitleAndAuthor titleAndAuthor() const;

    BookDetails details_;
    unsigned helpers_;
    MarkupText markup_;  // for the titles, the styles and the package
    std::atomic<std::uint64_t> renderedReplacements_{0};
    ScriptTally script_;
    RenderSettings render_;
    bool languageSettled_ = false;
    // Closed documents waiting for the language, and their size.
    std::vector<std::pair<std::string, std::u16string>> waiting_;
    std::size_t waitingUnits_ = 0;
    ScratchFile scratch_;  // before the deflater, whose helpers write to it
    EntryDeflater deflater_;
    std::vector<std::string> documents_;
    std::size_t frontDocuments_ = 0;
    std::vector<TocNode> toc_;
    std::optional<std::size_t> volume_;  // the TOC entry of the volume the chapters go into
    std::size_t chapters_ = 0;
    std::vector<ParagraphStyle> styles_;
    std::size_t lastStyle_ = 0;
    std::u16string draft_;        // of the document being written
    std::size_t draftBytes_ = 0;  // what its XHTML will about come to
    bool documentOpen_ = false;
    bool documentFront_ = false;     // text before the first chapter
    bool documentHasBody_ = false;   // paragraphs or list entries, not only headings
    bool documentHasBlocks_ = false; // anything after its first block
    bool documentHasPart_ = false;   // a volume heading
    Text chapterTitle_;              // of the document being written
    Text frontTitle_;                // the title of the front matter's documents
    // The source paragraph being joined from its pieces, and its style.
    Text paragraph_;
    std::size_t paragraphStyle_ = 0;
    bool paragraphOpen_ = false;
    std::string identity_;  // of the text: the documents' drafts, each by its size and CRC
    std::vector<Text> opening_;
    bool finished_ = false;
};

// The EPUB output for file runs.
std::shared_ptr<const BookFormat> epubFormat();

}  // namespace quenlet::formats
