// The files of an EPUB that describe the book rather than hold its text: the
// container, the package document (metadata, manifest, reading order), the
// table of contents twice (EPUB 3 navigation document and EPUB 2 NCX, for
// older readers) and the style sheet that turns the paragraph indent and
// ending into CSS.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/text.h"
#include "formats/xml_text.h"

namespace quenlet::formats {

// One entry of the table of contents: a volume holds the chapters after it.
struct TocNode {
    Text title;
    std::size_t document = 0;  // index into BookPlan::documents
    std::vector<TocNode> children;
};

// How a kind of paragraph is set: the text before and after it as CSS.
struct ParagraphStyle {
    Text indent;
    Text end;
    bool operator==(const ParagraphStyle&) const = default;
};

struct BookPlan {
    Text title;
    Text author;            // none when empty
    std::string language;   // a language tag
    bool vertical = false;  // vertical writing, pages turned right to left
    std::string identifier; // urn:uuid:...
    std::string modified;   // CCYY-MM-DDThh:mm:ssZ
    std::vector<std::string> documents;  // the text documents in reading order, relative to the package
    std::vector<TocNode> toc;
    std::vector<ParagraphStyle> styles;  // the first is the plain <p>, the others class s1, s2, ...
};

inline constexpr const char* kPackageFolder = "OEBPS/";

std::string containerDocument();
std::string packageDocument(const BookPlan& plan, MarkupText& markup);
std::string ncxDocument(const BookPlan& plan, MarkupText& markup);
std::string navigationDocument(const BookPlan& plan, MarkupText& markup);
std::string styleSheet(const BookPlan& plan, MarkupText& markup);

// "text-indent: 2em" and the rest of an indent: U+3000 counts one em and an
// ASCII space half of one (as wide as they are in Chinese type) while they
// lead; whatever follows is shown before the paragraph as generated content.
struct IndentCss {
    unsigned halfEms = 0;
    Text before;
};
IndentCss indentCss(TextView indent);

// The book's identifier: a name-based UUID (SHA-1, version 5) of `content`.
std::string contentUuid(std::string_view content);

// A moment as the package's modification time, CCYY-MM-DDThh:mm:ssZ.
std::string isoTime(std::int64_t secondsSince1970);

}  // namespace quenlet::formats
