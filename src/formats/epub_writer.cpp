#include "formats/epub_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <thread>

#include "base/helper_threads.h"
#include "text/chinese_conversion.h"
#include "text/encoding.h"

namespace quenlet::formats {
namespace {

// Deflate level: the cheapest but one of ISA-L's range. On novels it gives
// archives a few per cent smaller than zlib's fastest level, in a third of
// its time; level 0 is faster again but gives data a fifth larger.
constexpr int kDeflateLevel = 1;

bool isBlank(TextView text) {
    return std::all_of(text.begin(), text.end(),
                       [](char16_t c) { return c == kSpace || c == kIdeographicSpace || c == u'\t'; });
}

std::string documentName(std::size_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "text/c%05zu.xhtml", number);
    return name;
}

// Writes out a document's draft as XHTML.
class DocumentRenderer final : public EntryRenderer {
public:
    explicit DocumentRenderer(std::atomic<std::uint64_t>& replaced) : replaced_(replaced) {}

    std::string_view render(std::u16string_view draft) override {
        // Every block has three units of its own besides its text: room
        // enough for its tags.
        const std::size_t most = draft.size() * 8 + 512;
        if (size_ < most) {
            size_ = std::max(most, 2 * size_);
            buffer_.reset(new char[size_]);
        }
        char* p = buffer_.get();
        for (std::size_t at = 0; at + 3 <= draft.size();) {
            const char16_t kind = draft[at];
            const std::size_t length = static_cast<std::size_t>(draft[at + 1]) << 16 | draft[at + 2];
            const TextView text = draft.substr(at + 3, length);
            at += 3 + length;
            switch (kind) {
                case EpubWriter::kHead:
                    p = put(p, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE html>\n"
                               "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n<title>");
                    p = markup_.putXml(p, text);
                    p = put(p, "</title>\n<link rel=\"stylesheet\" type=\"text/css\" href=\"../style.css\"/>\n"
                               "</head>\n<body>\n");
                    break;
                case EpubWriter::kVolume:
                    p = markup_.putXml(put(p, "<h1>"), text);
                    p = put(p, "</h1>\n");
                    break;
                case EpubWriter::kChapter:
                    p = markup_.putXml(put(p, "<h2>"), text);
                    p = put(p, "</h2>\n");
                    break;
                default:
                    if (kind == EpubWriter::kParagraph) {
                        p = put(p, "<p>");
                    } else {
                        p = put(p, "<p class=\"s");
                        p = put(p, std::to_string(kind - EpubWriter::kParagraph));
                        p = put(p, "\">");
                    }
                    p = markup_.putXml(p, text);
                    p = put(p, "</p>\n");
            }
        }
        p = put(p, "</body>\n</html>\n");
        replaced_ += markup_.replaced() - counted_;
        counted_ = markup_.replaced();
        return {buffer_.get(), static_cast<std::size_t>(p - buffer_.get())};
    }

private:
    static char* put(char* out, std::string_view text) {
        std::memcpy(out, text.data(), text.size());
        return out + text.size();
    }
    MarkupText markup_;
    std::atomic<std::uint64_t>& replaced_;
    std::uint64_t counted_ = 0;
    std::unique_ptr<char[]> buffer_;
    std::size_t size_ = 0;
};

}  // namespace

EpubWriter::EpubWriter(BookDetails details, unsigned helpers, const FileLocation* book)
    : details_(std::move(details)),
      helpers_(helpers),
      scratch_(book ? book->folder : nullptr, book ? book->path : std::string("the book")),
      deflater_(kDeflateLevel, helpers,
                [this] { return std::make_unique<DocumentRenderer>(renderedReplacements_); }, scratch_) {
    details_.title = markup_.cleaned(details_.title);
    details_.author = markup_.cleaned(details_.author);
    // A book needs a title: a source named just ".txt" is still named.
    if (isBlank(details_.title)) details_.title = u"\uFFFD";
}

void EpubWriter::heading(TextView, TextView title, TextView, HeadingRank rank) {
    script_.add(title);
    // Nothing to name a chapter by: the text output's empty markers stay out
    // of the book, and out of its table of contents.
    if (isBlank(title)) return;
    const Text clean = markup_.cleaned(title);
    closeDocument();
    startDocument(clean);
    addBlock(rank == HeadingRank::Volume ? kVolume : kChapter, clean);
    documentHasText_ = true;
    TocNode node{clean, documents_.size() - 1, {}};
    if (rank == HeadingRank::Volume) {
        toc_.push_back(std::move(node));
        volume_ = toc_.size() - 1;
    } else if (volume_) {
        toc_[*volume_].children.push_back(std::move(node));
    } else {
        toc_.push_back(std::move(node));
    }
}

void EpubWriter::paragraph(TextView indent, TextView body, TextView end) {
    if (body.empty()) return;
    script_.add(body);
    if (!documentOpen_) {
        startDocument(details_.title);  // the text before the first heading
    } else if (documentHasText_ && draftBytes_ >= kDocumentLimit) {
        const Text title = chapterTitle_;
        closeDocument();
        startDocument(title);
    }
    addBlock(static_cast<char16_t>(kParagraph + std::min<std::size_t>(styleOf(indent, end), 0xFFFF - kParagraph)),
             body);
    documentHasText_ = true;
}

void EpubWriter::addBlock(char16_t kind, TextView text) {
    draft_.push_back(kind);
    draft_.push_back(static_cast<char16_t>(text.size() >> 16));
    draft_.push_back(static_cast<char16_t>(text.size() & 0xFFFF));
    draft_.append(text);
    // Han characters take three bytes in UTF-8; the tags about eight.
    draftBytes_ += 3 * text.size() + 8;
}

std::size_t EpubWriter::styleOf(TextView indent, TextView end) {
    auto matches = [&](const ParagraphStyle& style) { return style.indent == indent && style.end == end; };
    if (lastStyle_ < styles_.size() && matches(styles_[lastStyle_])) return lastStyle_;
    const auto found = std::find_if(styles_.begin(), styles_.end(), matches);
    lastStyle_ = static_cast<std::size_t>(found - styles_.begin());
    if (found == styles_.end()) styles_.push_back({Text(indent), Text(end)});
    return lastStyle_;
}

void EpubWriter::startDocument(TextView title) {
    chapterTitle_.assign(title);
    documents_.push_back(documentName(documents_.size() + 1));
    draft_.clear();
    draftBytes_ = 0;
    addBlock(kHead, title);
    documentOpen_ = true;
    documentHasText_ = false;
}

void EpubWriter::closeDocument() {
    if (!documentOpen_) return;
    deflater_.add(kPackageFolder + documents_.back(), std::move(draft_));
    draft_ = deflater_.spareDraft();
    documentOpen_ = false;
}

std::vector<ZipEntry> EpubWriter::entries() {
    if (finished_) throw std::logic_error("an EPUB is finished once");
    finished_ = true;
    closeDocument();
    if (documents_.empty()) {  // an empty source still makes a book with one (empty) page
        startDocument(details_.title);
        closeDocument();
    }
    std::vector<ZipEntry> documents = deflater_.finish();

    BookPlan plan;
    plan.title = details_.title;
    plan.author = details_.author;
    plan.language = !details_.language.empty()  ? details_.language
                    : script_.traditional()         ? std::string(kTraditionalLanguage)
                                                    : std::string(kSimplifiedLanguage);
    plan.vertical = details_.vertical;
    plan.modified = isoTime(details_.modified);
    plan.documents = std::move(documents_);
    plan.toc = std::move(toc_);
    // Without any heading the contents still need an entry: the book itself.
    if (plan.toc.empty()) plan.toc.push_back({plan.title, 0, {}});
    for (ParagraphStyle& style : styles_)
        plan.styles.push_back({markup_.cleaned(style.indent), markup_.cleaned(style.end)});
    const std::string css = styleSheet(plan, markup_);

    // The identifier follows from what the reader sees: the metadata, the
    // style and every document; not from the time, which changes alone.
    std::string identity = toUtf8(plan.title) + '\0' + toUtf8(plan.author) + '\0' + plan.language + '\0' +
                           (plan.vertical ? "vertical" : "horizontal") + '\0' + css + '\0';
    for (const ZipEntry& document : documents)
        identity += document.name + '\0' + std::to_string(document.size) + ' ' + std::to_string(document.crc) + '\0';
    plan.identifier = contentUuid(identity);

    // The two tables of contents are the largest of these files: with
    // helpers allowed, the NCX is made beside the rest. (Their titles are
    // clean already, so nothing is counted twice.)
    auto makeNcx = [&plan] {
        MarkupText markup;
        return EntryCompressor(kDeflateLevel)
            .deflated(kPackageFolder + std::string("toc.ncx"), ncxDocument(plan, markup));
    };
    std::optional<HelperTask<ZipEntry>> ncx;
    if (helpers_ > 0) ncx.emplace(makeNcx);
    EntryCompressor compressor(kDeflateLevel);
    std::vector<ZipEntry> entries;
    entries.reserve(documents.size() + 6);
    entries.push_back(storedEntry("mimetype", "application/epub+zip"));
    entries.push_back(compressor.deflated("META-INF/container.xml", containerDocument()));
    entries.push_back(compressor.deflated(kPackageFolder + std::string("content.opf"), packageDocument(plan, markup_)));
    entries.push_back(ncx ? ncx->get() : makeNcx());
    entries.push_back(
        compressor.deflated(kPackageFolder + std::string("nav.xhtml"), navigationDocument(plan, markup_)));
    entries.push_back(compressor.deflated(kPackageFolder + std::string("style.css"), css));
    for (ZipEntry& document : documents) entries.push_back(std::move(document));
    return entries;
}

void EpubWriter::finish(int fd, const std::string& path) {
    writeZip(fd, path, entries(), dosTimeOf(details_.modified), &scratch_);
}

namespace {

class EpubFormat final : public BookFormat {
public:
    std::string_view extension() const override { return ".epub"; }
    std::unique_ptr<BookWriter> open(const BookDetails& details, Threading threading,
                                     const FileLocation& target) const override {
        unsigned helpers = 0;
        if (threading == Threading::Pipelined)
            helpers = std::clamp(std::thread::hardware_concurrency(), 2U, 4U) - 1;
        return std::make_unique<EpubWriter>(details, helpers, &target);
    }
};

}  // namespace

std::shared_ptr<const BookFormat> epubFormat() { return std::make_shared<EpubFormat>(); }

}  // namespace quenlet::formats
