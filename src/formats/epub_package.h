// The files of an EPUB that describe the book rather than hold its text: the
// container, the package document (metadata, manifest, reading order,
// landmarks), the table of contents twice (EPUB 3 navigation document and
// EPUB 2 NCX, for older readers), the cover page and the style sheet, which
// sets Chinese type: a CJK font by script, justified lines, margins that
// hold in both writing modes, and the paragraph indent and ending as CSS.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"
#include "formats/xml_text.h"

namespace quenlet::formats {

// One entry of the table of contents: a volume holds the chapters after it.
struct TocNode {
    Text title;
    std::size_t document = 0;  // index into BookPlan::documents
    std::string anchor;        // the heading's id, when it does not start its document
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
    Text author;              // none when empty
    std::string language;     // a language tag
    bool traditional = false; // in traditional characters: the fonts and the words of the navigation
    bool vertical = false;    // vertical writing, pages turned right to left
    std::string identifier;   // urn:uuid:...
    std::string modified;     // CCYY-MM-DDThh:mm:ssZ: the source's time, also the book's date
    Text source;              // the source's file name; none when empty
    std::vector<std::string> documents;  // the text documents in reading order, relative to the package
    std::size_t frontDocuments = 0;      // how many of them come before the contents: the text before the first chapter
    std::vector<TocNode> toc;
    std::vector<ParagraphStyle> styles;  // the first is the plain <p>, the others class s1, s2, ...
    std::string userStyle;               // the user's own style sheet, after the book's
    // The cover image, relative to the package, its media type and size.
    std::string coverImage;
    std::string coverType;
    std::uint32_t coverWidth = 0;
    std::uint32_t coverHeight = 0;
};

inline constexpr const char* kPackageFolder = "OEBPS/";
inline constexpr const char* kCoverPage = "cover.xhtml";

// The serif CJK fonts of a script as a CSS font-family list, the names between `quote`.
std::string serifFonts(bool traditional, char quote = '"');
// The words of the book's own pages, by script.
struct BookWords {
    TextView contents;  // 目录
    TextView cover;     // 封面
    TextView text;      // 正文
    TextView guide;     // 导航
};
const BookWords& bookWords(bool traditional);
// Whether a language tag stands for traditional characters (zh-Hant, zh-TW,
// zh-HK, zh-MO), for simplified ones (zh-Hans, zh-CN, zh-SG), or for neither.
enum class TagScript { Traditional, Simplified, Unknown };
TagScript scriptOfTag(std::string_view tag);

std::string containerDocument();
std::string packageDocument(const BookPlan& plan, MarkupText& markup);
std::string ncxDocument(const BookPlan& plan, MarkupText& markup);
std::string navigationDocument(const BookPlan& plan, MarkupText& markup);
std::string coverDocument(const BookPlan& plan, MarkupText& markup);
std::string styleSheet(const BookPlan& plan, MarkupText& markup);

// The start of every XHTML document of the book, to its <body>: the
// language on <html>, the title, the style sheet at `styleHref`.
void appendDocumentStart(std::string& out, std::string_view language, TextView title, std::string_view styleHref,
                         std::string_view bodyType, MarkupText& markup);

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
