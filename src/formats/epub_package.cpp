#include "formats/epub_package.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <span>
#include <stdexcept>

namespace quenlet::formats {
namespace {

constexpr const char* kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

std::string documentId(std::size_t index) {
    char id[32];
    std::snprintf(id, sizeof id, "d%05zu", index + 1);
    return id;
}

std::size_t tocDepth(const std::vector<TocNode>& nodes) {
    std::size_t depth = 0;
    for (const TocNode& node : nodes) depth = std::max(depth, 1 + tocDepth(node.children));
    return depth;
}

std::string hrefOf(const BookPlan& plan, const TocNode& node) {
    std::string href = plan.documents[node.document];
    if (!node.anchor.empty()) href += "#" + node.anchor;
    return href;
}

void appendNavList(std::string& out, const BookPlan& plan, const std::vector<TocNode>& nodes, MarkupText& markup) {
    out += "<ol>\n";
    for (const TocNode& node : nodes) {
        out += "<li><a href=\"";
        out += hrefOf(plan, node);
        out += "\">";
        markup.appendXml(out, node.title);
        out += "</a>";
        if (!node.children.empty()) {
            out += '\n';
            appendNavList(out, plan, node.children, markup);
        }
        out += "</li>\n";
    }
    out += "</ol>\n";
}

void appendNavPoints(std::string& out, const BookPlan& plan, const std::vector<TocNode>& nodes, std::size_t& order,
                     MarkupText& markup) {
    for (const TocNode& node : nodes) {
        const std::string number = std::to_string(++order);
        out += "<navPoint id=\"p";
        out += number;
        out += "\" playOrder=\"";
        out += number;
        out += "\"><navLabel><text>";
        markup.appendXml(out, node.title);
        out += "</text></navLabel><content src=\"";
        out += hrefOf(plan, node);
        out += "\"/>\n";
        appendNavPoints(out, plan, node.children, order, markup);
        out += "</navPoint>\n";
    }
}

// Where the text itself begins: the first document after the front matter.
const std::string& startOfText(const BookPlan& plan) {
    return plan.documents[plan.frontDocuments < plan.documents.size() ? plan.frontDocuments : 0];
}

std::string utf8(TextView text) {
    std::string out;
    MarkupText markup;
    markup.appendXml(out, text);
    return out;
}

std::string emText(unsigned halfEms) {
    std::string text = std::to_string(halfEms / 2);
    if (halfEms % 2) text += ".5";
    return text + (halfEms ? "em" : "");
}

// The rules of one paragraph style under `selector`. A style after the first
// states everything, so that nothing of the first (plain <p>) shows through.
void appendStyle(std::string& out, const std::string& selector, const ParagraphStyle& style, bool complete,
                 MarkupText& markup) {
    const IndentCss indent = indentCss(style.indent);
    out += selector + " { text-indent: " + emText(indent.halfEms) + "; }\n";
    if (complete || !indent.before.empty()) {
        out += selector + "::before { content: ";
        if (indent.before.empty()) out += "none";
        else markup.appendCssString(out, indent.before);
        out += "; }\n";
    }
    if (complete || !style.end.empty()) {
        out += selector + "::after { content: ";
        if (style.end.empty()) out += "none";
        else markup.appendCssString(out, style.end);
        out += "; }\n";
    }
}

}  // namespace

std::string containerDocument() {
    return std::string(kXmlDeclaration) +
           "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
           "<rootfiles>\n"
           "<rootfile full-path=\"" + std::string(kPackageFolder) + "content.opf\" "
           "media-type=\"application/oebps-package+xml\"/>\n"
           "</rootfiles>\n"
           "</container>\n";
}

std::string serifFonts(bool traditional, char quote) {
    static constexpr std::string_view kSimplified[] = {"Songti SC", "STSong", "SimSun", "Noto Serif CJK SC",
                                                       "Source Han Serif SC", "Noto Serif SC"};
    static constexpr std::string_view kTraditional[] = {"Songti TC", "PMingLiU", "MingLiU", "Noto Serif CJK TC",
                                                        "Source Han Serif TC", "Noto Serif TC"};
    std::string out;
    for (std::string_view font : traditional ? std::span<const std::string_view>(kTraditional)
                                             : std::span<const std::string_view>(kSimplified)) {
        out += quote;
        out += font;
        out += quote;
        out += ", ";
    }
    return out + "serif";
}

const BookWords& bookWords(bool traditional) {
    static const BookWords kSimplified{u"目录", u"封面", u"正文", u"导航"};
    static const BookWords kTraditional{u"目錄", u"封面", u"正文", u"導覽"};
    return traditional ? kTraditional : kSimplified;
}

TagScript scriptOfTag(std::string_view tag) {
    std::string lower(tag);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (!lower.starts_with("zh")) return TagScript::Unknown;
    lower.insert(lower.begin(), '-');
    lower.push_back('-');
    auto has = [&](std::string_view subtag) {
        std::string needle(1, '-');
        needle.append(subtag);
        needle.push_back('-');
        return lower.find(needle) != std::string::npos;
    };
    if (has("hant") || has("tw") || has("hk") || has("mo")) return TagScript::Traditional;
    if (has("hans") || has("cn") || has("sg")) return TagScript::Simplified;
    return TagScript::Unknown;
}

void appendDocumentStart(std::string& out, std::string_view language, TextView title, std::string_view styleHref,
                         std::string_view bodyType, MarkupText& markup) {
    out += kXmlDeclaration;
    out += "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\""
           " lang=\"";
    out += language;
    out += "\" xml:lang=\"";
    out += language;
    out += "\">\n<head>\n<title>";
    markup.appendXml(out, title);
    out += "</title>\n<link rel=\"stylesheet\" type=\"text/css\" href=\"";
    out += styleHref;
    out += "\"/>\n</head>\n<body";
    if (!bodyType.empty()) {
        out += " epub:type=\"";
        out += bodyType;
        out += '"';
    }
    out += ">\n";
}

std::string packageDocument(const BookPlan& plan, MarkupText& markup) {
    const BookWords& words = bookWords(plan.traditional);
    std::string out = kXmlDeclaration;
    out += "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"book-id\" xml:lang=\"";
    out += plan.language + "\">\n<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n";
    out += "<dc:identifier id=\"book-id\">" + plan.identifier + "</dc:identifier>\n<dc:title id=\"title\">";
    markup.appendXml(out, plan.title);
    out += "</dc:title>\n";
    if (!plan.author.empty()) {
        out += "<dc:creator id=\"author\">";
        markup.appendXml(out, plan.author);
        out += "</dc:creator>\n<meta refines=\"#author\" property=\"role\" scheme=\"marc:relators\">aut</meta>\n";
    }
    out += "<dc:language>" + plan.language + "</dc:language>\n";
    out += "<dc:date>" + plan.modified + "</dc:date>\n";
    if (!plan.source.empty()) {
        out += "<dc:source>";
        markup.appendXml(out, plan.source);
        out += "</dc:source>\n";
    }
    out += "<meta property=\"dcterms:modified\">" + plan.modified + "</meta>\n";
    // For readers of EPUB 2 and for conversions to other formats: which
    // image is the cover, and that vertical lines are the book's own.
    out += "<meta name=\"cover\" content=\"cover-image\"/>\n";
    if (plan.vertical) out += "<meta name=\"primary-writing-mode\" content=\"vertical-rl\"/>\n";
    out += "</metadata>\n<manifest>\n";
    out += "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n";
    out += "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n";
    out += "<item id=\"css\" href=\"style.css\" media-type=\"text/css\"/>\n";
    out += "<item id=\"cover\" href=\"" + std::string(kCoverPage) +
           "\" media-type=\"application/xhtml+xml\" properties=\"svg\"/>\n";
    out += "<item id=\"cover-image\" href=\"" + plan.coverImage + "\" media-type=\"" + plan.coverType +
           "\" properties=\"cover-image\"/>\n";
    for (std::size_t i = 0; i < plan.documents.size(); ++i) {
        out += "<item id=\"";
        out += documentId(i);
        out += "\" href=\"";
        out += plan.documents[i];
        out += "\" media-type=\"application/xhtml+xml\"/>\n";
    }
    out += "</manifest>\n<spine toc=\"ncx\"";
    if (plan.vertical) out += " page-progression-direction=\"rtl\"";
    out += ">\n<itemref idref=\"cover\"/>\n";
    auto itemref = [&](std::size_t i) {
        out += "<itemref idref=\"";
        out += documentId(i);
        out += "\"/>\n";
    };
    for (std::size_t i = 0; i < plan.frontDocuments && i < plan.documents.size(); ++i) itemref(i);
    out += "<itemref idref=\"nav\"/>\n";
    for (std::size_t i = plan.frontDocuments; i < plan.documents.size(); ++i) itemref(i);
    out += "</spine>\n<guide>\n";
    out += "<reference type=\"cover\" title=\"" + utf8(words.cover) + "\" href=\"" + kCoverPage + "\"/>\n";
    out += "<reference type=\"toc\" title=\"" + utf8(words.contents) + "\" href=\"nav.xhtml\"/>\n";
    out += "<reference type=\"text\" title=\"" + utf8(words.text) + "\" href=\"" + startOfText(plan) + "\"/>\n";
    out += "</guide>\n</package>\n";
    return out;
}

std::string ncxDocument(const BookPlan& plan, MarkupText& markup) {
    std::string out = kXmlDeclaration;
    out += "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\" xml:lang=\"" + plan.language +
           "\">\n<head>\n<meta name=\"dtb:uid\" content=\"" + plan.identifier + "\"/>\n";
    out += "<meta name=\"dtb:depth\" content=\"" + std::to_string(std::max<std::size_t>(1, tocDepth(plan.toc))) +
           "\"/>\n<meta name=\"dtb:totalPageCount\" content=\"0\"/>\n"
           "<meta name=\"dtb:maxPageNumber\" content=\"0\"/>\n</head>\n<docTitle><text>";
    markup.appendXml(out, plan.title);
    out += "</text></docTitle>\n";
    if (!plan.author.empty()) {
        out += "<docAuthor><text>";
        markup.appendXml(out, plan.author);
        out += "</text></docAuthor>\n";
    }
    out += "<navMap>\n";
    std::size_t order = 0;
    appendNavPoints(out, plan, plan.toc, order, markup);
    out += "</navMap>\n</ncx>\n";
    return out;
}

std::string navigationDocument(const BookPlan& plan, MarkupText& markup) {
    const BookWords& words = bookWords(plan.traditional);
    std::string out;
    appendDocumentStart(out, plan.language, words.contents, "style.css", "frontmatter", markup);
    out += "<nav epub:type=\"toc\" id=\"toc\">\n<h1>";
    markup.appendXml(out, words.contents);
    out += "</h1>\n";
    appendNavList(out, plan, plan.toc, markup);
    out += "</nav>\n<nav epub:type=\"landmarks\" id=\"landmarks\" hidden=\"hidden\">\n<h2>";
    markup.appendXml(out, words.guide);
    out += "</h2>\n<ol>\n<li><a epub:type=\"cover\" href=\"" + std::string(kCoverPage) + "\">";
    markup.appendXml(out, words.cover);
    out += "</a></li>\n<li><a epub:type=\"toc\" href=\"nav.xhtml#toc\">";
    markup.appendXml(out, words.contents);
    out += "</a></li>\n<li><a epub:type=\"bodymatter\" href=\"" + startOfText(plan) + "\">";
    markup.appendXml(out, words.text);
    out += "</a></li>\n</ol>\n</nav>\n</body>\n</html>\n";
    return out;
}

// The cover image across the whole page, whatever its size: drawn inside an
// SVG box of its own proportions, which readers scale to the screen.
std::string coverDocument(const BookPlan& plan, MarkupText& markup) {
    std::string out;
    appendDocumentStart(out, plan.language, bookWords(plan.traditional).cover, "style.css", "cover", markup);
    const std::string width = std::to_string(plan.coverWidth);
    const std::string height = std::to_string(plan.coverHeight);
    out += "<div class=\"cover\">\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\" width=\"100%\" height=\"100%\" "
           "viewBox=\"0 0 " + width + " " + height + "\" preserveAspectRatio=\"xMidYMid meet\">\n<image width=\"" +
           width + "\" height=\"" + height + "\" xlink:href=\"" + plan.coverImage + "\"/>\n</svg>\n</div>\n";
    out += "</body>\n</html>\n";
    return out;
}

std::string styleSheet(const BookPlan& plan, MarkupText& markup) {
    std::string out;
    if (plan.vertical)
        out += "html { -epub-writing-mode: vertical-rl; -webkit-writing-mode: vertical-rl; "
               "writing-mode: vertical-rl; }\n";
    // Margins are given twice: as they were, for readers that know only
    // those, then by the writing mode (block: across the lines, inline: along
    // them), so that vertical books keep their headings' spacing too.
    out += "body { font-family: " + serifFonts(plan.traditional) +
           "; line-height: 1.8; margin: 1em; text-align: justify; }\n"
           "h1, h2, h3 { font-weight: bold; text-align: center; text-indent: 0; line-height: 1.4; "
           "page-break-after: avoid; break-after: avoid; }\n"
           "h1 { font-size: 1.6em; margin: 2em 0 1.5em 0; margin-block: 2em 1.5em; margin-inline: 0; }\n"
           "h2 { font-size: 1.3em; margin: 1.5em 0 1em 0; margin-block: 1.5em 1em; margin-inline: 0; }\n"
           "h3 { font-size: 1.1em; margin: 1.2em 0 0.8em 0; margin-block: 1.2em 0.8em; margin-inline: 0; }\n"
           "p { margin: 0; text-align: justify; }\n"
           "ul.contents { list-style: none; margin: 0.5em 0; margin-block: 0.5em; padding: 0; }\n"
           "ul.contents li { text-indent: 0; }\n"
           "nav ol { list-style: none; margin: 0; padding: 0; }\n"
           "nav ol ol { margin: 0 0 0 2em; margin-inline-start: 2em; margin-inline-end: 0; }\n"
           "div.cover { margin: 0; padding: 0; text-align: center; height: 100%; }\n"
           "div.cover svg { display: block; width: 100%; height: 100%; }\n";
    if (plan.vertical)
        out += "span.tcy { text-combine-upright: all; -webkit-text-combine: horizontal; -epub-text-combine: "
               "horizontal; }\n";
    for (std::size_t i = 0; i < plan.styles.size(); ++i)
        appendStyle(out, i == 0 ? "p" : "p.s" + std::to_string(i), plan.styles[i], i > 0, markup);
    if (!plan.userStyle.empty()) {
        out += "\n/* The reader's own style sheet */\n";
        out += plan.userStyle;
        if (!plan.userStyle.ends_with('\n')) out += '\n';
    }
    return out;
}

IndentCss indentCss(TextView indent) {
    IndentCss css;
    std::size_t i = 0;
    for (; i < indent.size(); ++i) {
        if (indent[i] == kIdeographicSpace) css.halfEms += 2;
        else if (indent[i] == kSpace) css.halfEms += 1;
        else break;
    }
    css.before.assign(indent.substr(i));
    return css;
}

std::string contentUuid(std::string_view content) {
    // This program's own namespace for name-based identifiers of its books.
    static constexpr unsigned char kNamespace[16] = {0x6b, 0x2f, 0x0e, 0x51, 0x93, 0x4c, 0x4d, 0x1a,
                                                     0x8e, 0x37, 0x52, 0xc4, 0x1d, 0x90, 0xa6, 0x3b};
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), kNamespace, sizeof kNamespace) != 1 ||
        EVP_DigestUpdate(context.get(), content.data(), content.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest, &length) != 1 || length < 16)
        throw std::runtime_error("cannot compute the book's identifier");
    digest[6] = static_cast<unsigned char>((digest[6] & 0x0F) | 0x50);  // version 5
    digest[8] = static_cast<unsigned char>((digest[8] & 0x3F) | 0x80);  // the RFC 4122 variant
    std::string uuid = "urn:uuid:";
    char hex[3];
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) uuid.push_back('-');
        std::snprintf(hex, sizeof hex, "%02x", digest[i]);
        uuid += hex;
    }
    return uuid;
}

std::string isoTime(std::int64_t secondsSince1970) {
    constexpr std::int64_t kLast = 253402300799;  // 9999-12-31T23:59:59Z
    const std::time_t seconds = static_cast<std::time_t>(std::clamp<std::int64_t>(secondsSince1970, 0, kLast));
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace quenlet::formats
