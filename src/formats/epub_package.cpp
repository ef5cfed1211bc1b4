#include "formats/epub_package.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
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

void appendNavList(std::string& out, const BookPlan& plan, const std::vector<TocNode>& nodes, MarkupText& markup) {
    out += "<ol>\n";
    for (const TocNode& node : nodes) {
        out += "<li><a href=\"";
        out += plan.documents[node.document];
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
        out += plan.documents[node.document];
        out += "\"/>\n";
        appendNavPoints(out, plan, node.children, order, markup);
        out += "</navPoint>\n";
    }
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

std::string packageDocument(const BookPlan& plan, MarkupText& markup) {
    std::string out = kXmlDeclaration;
    out += "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"book-id\" xml:lang=\"";
    out += plan.language + "\">\n<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n";
    out += "<dc:identifier id=\"book-id\">" + plan.identifier + "</dc:identifier>\n<dc:title>";
    markup.appendXml(out, plan.title);
    out += "</dc:title>\n";
    if (!plan.author.empty()) {
        out += "<dc:creator>";
        markup.appendXml(out, plan.author);
        out += "</dc:creator>\n";
    }
    out += "<dc:language>" + plan.language + "</dc:language>\n";
    out += "<meta property=\"dcterms:modified\">" + plan.modified + "</meta>\n</metadata>\n<manifest>\n";
    out += "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n";
    out += "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n";
    out += "<item id=\"css\" href=\"style.css\" media-type=\"text/css\"/>\n";
    for (std::size_t i = 0; i < plan.documents.size(); ++i) {
        out += "<item id=\"";
        out += documentId(i);
        out += "\" href=\"";
        out += plan.documents[i];
        out += "\" media-type=\"application/xhtml+xml\"/>\n";
    }
    out += "</manifest>\n<spine toc=\"ncx\"";
    if (plan.vertical) out += " page-progression-direction=\"rtl\"";
    out += ">\n";
    for (std::size_t i = 0; i < plan.documents.size(); ++i) {
        out += "<itemref idref=\"";
        out += documentId(i);
        out += "\"/>\n";
    }
    out += "</spine>\n</package>\n";
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
    out += "</text></docTitle>\n<navMap>\n";
    std::size_t order = 0;
    appendNavPoints(out, plan, plan.toc, order, markup);
    out += "</navMap>\n</ncx>\n";
    return out;
}

std::string navigationDocument(const BookPlan& plan, MarkupText& markup) {
    std::string out = kXmlDeclaration;
    out += "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\""
           " lang=\"" + plan.language + "\" xml:lang=\"" + plan.language + "\">\n<head>\n<title>";
    markup.appendXml(out, plan.title);
    out += "</title>\n<link rel=\"stylesheet\" type=\"text/css\" href=\"style.css\"/>\n</head>\n<body>\n"
           "<nav epub:type=\"toc\" id=\"toc\">\n<h1>";
    markup.appendXml(out, plan.title);
    out += "</h1>\n";
    appendNavList(out, plan, plan.toc, markup);
    out += "</nav>\n</body>\n</html>\n";
    return out;
}

std::string styleSheet(const BookPlan& plan, MarkupText& markup) {
    std::string out;
    if (plan.vertical)
        out += "html { -epub-writing-mode: vertical-rl; -webkit-writing-mode: vertical-rl; "
               "writing-mode: vertical-rl; }\n";
    out += "body { line-height: 1.6; }\n"
           "h1, h2 { font-weight: bold; text-align: center; margin: 1.5em 0 1em 0; }\n"
           "h1 { font-size: 1.6em; }\n"
           "h2 { font-size: 1.3em; }\n"
           "p { margin: 0; }\n";
    for (std::size_t i = 0; i < plan.styles.size(); ++i)
        appendStyle(out, i == 0 ? "p" : "p.s" + std::to_string(i), plan.styles[i], i > 0, markup);
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
