#include "epub_writer.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <thread>

namespace quenlet::formats {
namespace {

// Deflate level: the cheap end of zlib's range. On novels it gives archives
// about a tenth larger than the default level, in well under half the time.
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

}  // namespace

EpubWriter::EpubWriter(BookDetails details, unsigned helpers)
    : details_(std::move(details)), deflater_(kDeflateLevel, helpers) {
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
    const char* tag = rank == HeadingRank::Volume ? "h1" : "h2";
    document_ += '<';
    document_ += tag;
    document_ += '>';
    markup_.appendXml(document_, clean);
    document_ += "</";
    document_ += tag;
    document_ += ">\n";
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
    } else if (documentHasText_ && document_.size() >= kDocumentLimit) {
        const Text title = chapterTitle_;
        closeDocument();
        startDocument(title);
    }
    const std::size_t style = styleOf(indent, end);
    if (style == 0) {
        document_ += "<p>";
    } else {
        document_ += "<p class=\"s";
        document_ += std::to_string(style);
        document_ += "\">";
    }
    markup_.appendXml(document_, body);
    document_ += "</p>\n";
    documentHasText_ = true;
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
    document_.clear();
    document_ += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE html>\n"
                 "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n<title>";
    markup_.appendXml(document_, title);
    document_ += "</title>\n<link rel=\"stylesheet\" type=\"text/css\" href=\"../style.css\"/>\n</head>\n<body>\n";
    documentOpen_ = true;
    documentHasText_ = false;
}

void EpubWriter::closeDocument() {
    if (!documentOpen_) return;
    document_ += "</body>\n</html>\n";
    deflater_.add(kPackageFolder + documents_.back(), std::move(document_));
    document_ = deflater_.spareBuffer();
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
    plan.language = !details_.language.empty() ? details_.language : script_.traditional() ? "zh-TW" : "zh-CN";
    plan.vertical = details_.vertical;
    plan.modified = isoTime(details_.modified);
    plan.documents = documents_;
    plan.toc = toc_;
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

    EntryCompressor compressor(kDeflateLevel);
    std::vector<ZipEntry> entries;
    entries.reserve(documents.size() + 6);
    entries.push_back(storedEntry("mimetype", "application/epub+zip"));
    entries.push_back(compressor.deflated("META-INF/container.xml", containerDocument()));
    entries.push_back(compressor.deflated(kPackageFolder + std::string("content.opf"), packageDocument(plan, markup_)));
    entries.push_back(compressor.deflated(kPackageFolder + std::string("toc.ncx"), ncxDocument(plan, markup_)));
    entries.push_back(compressor.deflated(kPackageFolder + std::string("nav.xhtml"), navigationDocument(plan, markup_)));
    entries.push_back(compressor.deflated(kPackageFolder + std::string("style.css"), css));
    for (ZipEntry& document : documents) entries.push_back(std::move(document));
    return entries;
}

void EpubWriter::finish(int fd, const std::string& path) {
    writeZip(fd, path, entries(), dosTimeOf(details_.modified));
}

namespace {

class EpubFormat final : public BookFormat {
public:
    std::string_view extension() const override { return ".epub"; }
    std::unique_ptr<BookWriter> open(const BookDetails& details, Threading threading) const override {
        unsigned helpers = 0;
        if (threading == Threading::Pipelined)
            helpers = std::clamp(std::thread::hardware_concurrency(), 2U, 4U) - 1;
        return std::make_unique<EpubWriter>(details, helpers);
    }
};

}  // namespace

std::shared_ptr<const BookFormat> epubFormat() { return std::make_shared<EpubFormat>(); }

}  // namespace quenlet::formats
