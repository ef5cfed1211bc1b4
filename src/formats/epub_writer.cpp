#include "formats/epub_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <thread>

#include "base/helper_threads.h"
#include "formats/book_cover.h"
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

// The heading of a table of contents the source brings along: the book's
// own contents replace it, so it starts no chapter.
bool isContentsTitle(TextView title) {
    Text bare;
    for (char16_t c : title)
        if (c != kSpace && c != kIdeographicSpace && c != u'\t') bare.push_back(c);
    return bare == u"目录" || bare == u"目錄" || bare == u"目次";
}

std::string documentName(std::size_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "text/c%05zu.xhtml", number);
    return name;
}

// Writes out a document's draft as XHTML.
class DocumentRenderer final : public EntryRenderer {
public:
    DocumentRenderer(std::atomic<std::uint64_t>& replaced, const EpubWriter::RenderSettings& settings)
        : replaced_(replaced), settings_(settings) {}

    std::string_view render(std::u16string_view draft) override {
        // Every block has three units of its own besides its text: room
        // enough for its tags. In vertical books a digit may take a span.
        const std::size_t most = draft.size() * (settings_.vertical ? 32 : 8) + 1024;
        if (size_ < most) {
            size_ = std::max(most, 2 * size_);
            buffer_.reset(new char[size_]);
        }
        char* p = buffer_.get();
        bool inList = false;
        for (std::size_t at = 0; at + 3 <= draft.size();) {
            const char16_t kind = draft[at];
            const std::size_t length = static_cast<std::size_t>(draft[at + 1]) << 16 | draft[at + 2];
            TextView text = draft.substr(at + 3, length);
            at += 3 + length;
            if (inList && kind != EpubWriter::kListEntry) {
                p = put(p, "</ul>\n");
                inList = false;
            }
            switch (kind) {
                case EpubWriter::kHeadFront:
                case EpubWriter::kHeadChapter:
                case EpubWriter::kHeadPart: {
                    head_.clear();
                    appendDocumentStart(head_, settings_.language, text, "../style.css",
                                        kind == EpubWriter::kHeadFront  ? "frontmatter"
                                        : kind == EpubWriter::kHeadPart ? "bodymatter part"
                                                                        : "bodymatter chapter",
                                        markup_);
                    p = put(p, head_);
                    break;
                }
                case EpubWriter::kVolume:
                case EpubWriter::kChapter: {
                    const bool volume = kind == EpubWriter::kVolume;
                    const unsigned long number = static_cast<unsigned long>(text[0]) << 16 | text[1];
                    text.remove_prefix(2);
                    char open[48];
                    std::snprintf(open, sizeof open, "<h%c id=\"h%lu\">", volume ? '1' : '2', number);
                    p = putText(put(p, open), text);
                    p = put(p, volume ? "</h1>\n" : "</h2>\n");
                    break;
                }
                case EpubWriter::kMinor:
                case EpubWriter::kContentsTitle:
                    p = putText(put(p, "<h3>"), text);
                    p = put(p, "</h3>\n");
                    break;
                case EpubWriter::kListEntry:
                    if (!inList) p = put(p, "<ul class=\"contents\">\n");
                    inList = true;
                    p = putText(put(p, "<li>"), text);
                    p = put(p, "</li>\n");
                    break;
                default:
                    if (kind == EpubWriter::kParagraph) {
                        p = put(p, "<p>");
                    } else {
                        p = put(p, "<p class=\"s");
                        p = put(p, std::to_string(kind - EpubWriter::kParagraph));
                        p = put(p, "\">");
                    }
                    p = putText(p, text);
                    p = put(p, "</p>\n");
            }
        }
        if (inList) p = put(p, "</ul>\n");
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
    // The text as XML; in vertical lines a number of one or two digits is
    // set upright in the width of one character, as Chinese books set them.
    char* putText(char* out, TextView text) {
        if (!settings_.vertical) return markup_.putXml(out, text);
        auto digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
        std::size_t done = 0;
        for (std::size_t i = 0; i < text.size();) {
            if (!digit(text[i])) {
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < text.size() && digit(text[end])) ++end;
            if (end - i <= 2) {
                out = markup_.putXml(out, text.substr(done, i - done));
                out = put(out, "<span class=\"tcy\">");
                out = markup_.putXml(out, text.substr(i, end - i));
                out = put(out, "</span>");
                done = end;
            }
            i = end;
        }
        return markup_.putXml(out, text.substr(done));
    }
    MarkupText markup_;
    std::atomic<std::uint64_t>& replaced_;
    const EpubWriter::RenderSettings& settings_;
    std::uint64_t counted_ = 0;
    std::string head_;
    std::unique_ptr<char[]> buffer_;
    std::size_t size_ = 0;
};

}  // namespace

EpubWriter::EpubWriter(BookDetails details, unsigned helpers, const FileLocation* book)
    : details_(std::move(details)),
      helpers_(helpers),
      scratch_(book ? book->folder : nullptr, book ? book->path : std::string("the book")),
      deflater_(kDeflateLevel, helpers,
                [this] { return std::make_unique<DocumentRenderer>(renderedReplacements_, render_); }, scratch_) {
    details_.title = markup_.cleaned(details_.title);
    details_.author = markup_.cleaned(details_.author);
    details_.nameTitle = markup_.cleaned(details_.nameTitle);
    render_.vertical = details_.vertical;
    // The front matter is named before the first lines are seen: by what the
    // user or the file name says, which the book's title mostly is too.
    const TitleAndAuthor named = titleFromFileName(details_.nameTitle);
    frontTitle_ = !details_.title.empty() ? details_.title : !named.title.empty() ? named.title : details_.nameTitle;
    if (isBlank(frontTitle_)) frontTitle_ = u"\uFFFD";
    if (!details_.language.empty()) {
        render_.language = details_.language;
        languageSettled_ = true;
    }
}

TitleAndAuthor EpubWriter::titleAndAuthor() const {
    TitleAndAuthor chosen{details_.title, details_.author};
    const TitleAndAuthor named = titleFromFileName(details_.nameTitle);
    std::optional<TitleAndAuthor> read;  // from the first lines, looked at only when needed
    auto fromLines = [&]() -> const TitleAndAuthor& {
        if (!read) {
            std::vector<Text> lines;
            for (const Text& line : opening_) lines.push_back(MarkupText().cleaned(line));
            read = titleFromOpening(lines);
        }
        return *read;
    };
    if (chosen.title.empty()) chosen.title = !named.title.empty() ? named.title : fromLines().title;
    if (chosen.author.empty()) chosen.author = !named.author.empty() ? named.author : fromLines().author;
    // A book needs a title: the file name, and a source named just ".txt" is still named.
    if (isBlank(chosen.title)) chosen.title = details_.nameTitle;
    if (isBlank(chosen.title)) chosen.title = u"\uFFFD";
    return chosen;
}

void EpubWriter::heading(TextView, TextView title, TextView, HeadingRank rank) {
    endParagraph();
    script_.add(title);
    // Nothing to name a chapter by: the text output's empty markers stay out
    // of the book, and out of its table of contents.
    if (isBlank(title)) return;
    const Text clean = markup_.cleaned(title);
    if (rank == HeadingRank::Minor || isContentsTitle(clean)) {
        ensureDocument();
        addBlock(rank == HeadingRank::Minor ? kMinor : kContentsTitle, clean);
        return;
    }
    // A chapter begins: in a document of its own, unless the one open holds
    // no text yet -- only headings, or nothing but what the front matter
    // starts with -- and so would be a page with nothing but a title.
    if (!documentOpen_ || documentHasBody_) {
        closeDocument();
        startDocument(clean, false);
    }
    documentFront_ = false;
    chapterTitle_ = clean;
    const std::size_t number = ++chapters_;
    const char16_t id[2] = {static_cast<char16_t>(number >> 16), static_cast<char16_t>(number & 0xFFFF)};
    TocNode node{clean, documents_.size() - 1, documentHasBlocks_ ? "h" + std::to_string(number) : std::string(), {}};
    addBlock(rank == HeadingRank::Volume ? kVolume : kChapter, clean, TextView(id, 2));
    if (rank == HeadingRank::Volume) {
        documentHasPart_ = true;
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
    const std::size_t style = styleOf(indent, end);
    if (paragraphOpen_ && (style != paragraphStyle_ || paragraph_.size() + body.size() > kParagraphLimit))
        endParagraph();
    paragraph_.append(body);
    paragraphStyle_ = style;
    paragraphOpen_ = true;
}

// A line kept as it stood is a paragraph of its own.
void EpubWriter::plainLine(TextView line) {
    endParagraph();
    paragraph({}, line, {});
    endParagraph();
}

void EpubWriter::listEntry(TextView, TextView entry, TextView) {
    endParagraph();
    if (entry.empty()) return;
    script_.add(entry);
    ensureDocument();
    splitLongDocument();
    addBlock(kListEntry, entry);
    documentHasBody_ = true;
}

void EpubWriter::endParagraph() {
    if (!paragraphOpen_) return;
    paragraphOpen_ = false;
    ensureDocument();
    splitLongDocument();
    addBlock(static_cast<char16_t>(kParagraph + std::min<std::size_t>(paragraphStyle_, 0xFFFF - kParagraph)),
             paragraph_);
    paragraph_.clear();
    documentHasBody_ = true;
}

// Text before any heading starts the front matter.
void EpubWriter::ensureDocument() {
    if (!documentOpen_) startDocument(frontTitle_, true);
}

void EpubWriter::splitLongDocument() {
    if (!documentHasBody_ || draftBytes_ < kDocumentLimit) return;
    const bool front = documentFront_;
    const Text title = front ? frontTitle_ : chapterTitle_;
    closeDocument();
    startDocument(title, front);
}

void EpubWriter::addBlock(char16_t kind, TextView text, TextView prefix) {
    const std::size_t length = prefix.size() + text.size();
    draft_.push_back(kind);
    draft_.push_back(static_cast<char16_t>(length >> 16));
    draft_.push_back(static_cast<char16_t>(length & 0xFFFF));
    draft_.append(prefix);
    draft_.append(text);
    // Han characters take three bytes in UTF-8; the tags about eight.
    draftBytes_ += 3 * text.size() + 8;
    if (draft_.size() > length + 3) documentHasBlocks_ = true;
}

std::size_t EpubWriter::styleOf(TextView indent, TextView end) {
    auto matches = [&](const ParagraphStyle& style) { return style.indent == indent && style.end == end; };
    if (lastStyle_ < styles_.size() && matches(styles_[lastStyle_])) return lastStyle_;
    const auto found = std::find_if(styles_.begin(), styles_.end(), matches);
    lastStyle_ = static_cast<std::size_t>(found - styles_.begin());
    if (found == styles_.end()) styles_.push_back({Text(indent), Text(end)});
    return lastStyle_;
}

void EpubWriter::startDocument(TextView title, bool front) {
    chapterTitle_.assign(title);
    documents_.push_back(documentName(documents_.size() + 1));
    draft_.clear();
    draftBytes_ = 0;
    addBlock(front ? kHeadFront : kHeadChapter, title);
    documentOpen_ = true;
    documentFront_ = front;
    documentHasBody_ = documentHasBlocks_ = documentHasPart_ = false;
}

void EpubWriter::closeDocument() {
    if (!documentOpen_) return;
    documentOpen_ = false;
    // What the document turned out to hold, for its markup.
    draft_[0] = documentFront_ ? kHeadFront : documentHasPart_ ? kHeadPart : kHeadChapter;
    if (documentFront_) ++frontDocuments_;
    const std::string_view bytes(reinterpret_cast<const char*>(draft_.data()), draft_.size() * sizeof(char16_t));
    identity_ += std::to_string(bytes.size()) + ' ' + std::to_string(crc32Of(bytes)) + '\0';
    handOver(kPackageFolder + documents_.back(), std::move(draft_));
    draft_ = deflater_.spareDraft();
}

void EpubWriter::handOver(std::string name, std::u16string draft) {
    if (languageSettled_) {
        deflater_.add(std::move(name), std::move(draft));
        return;
    }
    waitingUnits_ += draft.size();
    waiting_.emplace_back(std::move(name), std::move(draft));
    if (script_.decided() || waitingUnits_ >= kLanguageWait) settleLanguage();
}

// The language the text shows, from now on for every document.
void EpubWriter::settleLanguage() {
    if (!languageSettled_) {
        render_.language = std::string(script_.traditional() ? kTraditionalLanguage : kSimplifiedLanguage);
        languageSettled_ = true;
    }
    for (auto& [name, draft] : waiting_) deflater_.add(std::move(name), std::move(draft));
    waiting_.clear();
    waitingUnits_ = 0;
}

std::vector<ZipEntry> EpubWriter::entries() {
    if (finished_) throw std::logic_error("an EPUB is finished once");
    finished_ = true;
    endParagraph();
    closeDocument();
    if (documents_.empty()) {  // an empty source still makes a book with one (empty) page
        startDocument(frontTitle_, true);
        closeDocument();
    }
    settleLanguage();
    std::vector<ZipEntry> documents = deflater_.finish();

    const TitleAndAuthor names = titleAndAuthor();
    BookPlan plan;
    plan.title = markup_.cleaned(names.title);
    plan.author = markup_.cleaned(names.author);
    plan.language = render_.language;
    const TagScript script = scriptOfTag(plan.language);
    plan.traditional = script == TagScript::Unknown ? script_.traditional() : script == TagScript::Traditional;
    plan.vertical = details_.vertical;
    plan.modified = isoTime(details_.modified);
    plan.source = markup_.cleaned(details_.sourceName);
    plan.documents = std::move(documents_);
    plan.frontDocuments = frontDocuments_ < plan.documents.size() ? frontDocuments_ : 0;
    plan.toc = std::move(toc_);
    // Without any heading the contents still need an entry: the book itself.
    if (plan.toc.empty()) plan.toc.push_back({plan.title, 0, {}, {}});
    for (ParagraphStyle& style : styles_)
        plan.styles.push_back({markup_.cleaned(style.indent), markup_.cleaned(style.end)});
    plan.userStyle = details_.style;
    const std::string css = styleSheet(plan, markup_);

    // The identifier follows from the book itself -- its title, its author
    // and its text -- and not from how it is set (vertical lines, the
    // reader's style sheet) or from the time: a restyled book is the same
    // book to a reader's library, and keeps its place in it.
    plan.identifier = contentUuid(toUtf8(plan.title) + '\0' + toUtf8(plan.author) + '\0' + identity_);

    ZipEntry coverImage;
    if (details_.cover) {
        const ImageSize size = imageSize(*details_.cover);
        plan.coverType = details_.coverType;
        plan.coverImage = plan.coverType == "image/png" ? "cover.png" : "cover.jpg";
        plan.coverWidth = size.width ? size.width : static_cast<std::uint32_t>(kCoverWidth);
        plan.coverHeight = size.height ? size.height : static_cast<std::uint32_t>(kCoverHeight);
        // Already compressed: stored as it is.
        coverImage = storedEntry(kPackageFolder + plan.coverImage, *details_.cover);
    } else {
        plan.coverType = "image/svg+xml";
        plan.coverImage = "cover.svg";
        plan.coverWidth = kCoverWidth;
        plan.coverHeight = kCoverHeight;
        const std::string svg = coverSvg({plan.title, plan.author, plan.vertical, plan.traditional, plan.language});
        coverImage = EntryCompressor(kDeflateLevel).deflated(kPackageFolder + plan.coverImage, svg);
    }

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
    entries.reserve(documents.size() + 8);
    entries.push_back(storedEntry("mimetype", "application/epub+zip"));
    entries.push_back(compressor.deflated("META-INF/container.xml", containerDocument()));
    entries.push_back(compressor.deflated(kPackageFolder + std::string("content.opf"), packageDocument(plan, markup_)));
    entries.push_back(ncx ? ncx->get() : makeNcx());
    entries.push_back(
        compressor.deflated(kPackageFolder + std::string("nav.xhtml"), navigationDocument(plan, markup_)));
    entries.push_back(compressor.deflated(kPackageFolder + std::string("style.css"), css));
    entries.push_back(compressor.deflated(kPackageFolder + std::string(kCoverPage), coverDocument(plan, markup_)));
    entries.push_back(std::move(coverImage));
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
