// Text for markup: UTF-16 to UTF-8 with the markup characters escaped, for
// XML documents and for CSS strings. Neither can hold every UTF-16 text:
// control characters other than tab, line feed and carriage return, U+FFFE,
// U+FFFF and surrogates without their partner -- among them the escape units
// that stand for undecodable source bytes -- are written as U+FFFD instead,
// and counted, so that the user can be told.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "text/text.h"
#include "text/utf16.h"

namespace quenlet::formats {

class MarkupText {
public:
    // Element content: & < > escaped, carriage returns kept as a reference
    // (an XML reader would turn a literal one into a line feed).
    void appendXml(std::string& out, TextView text);
    // The same, written at `out`, which has room for kMostXmlBytes per code
    // unit; returns the end of what was written.
    static constexpr std::size_t kMostXmlBytes = 5;  // &amp;
    char* putXml(char* out, TextView text);
    // A CSS string between double quotes, in ASCII: everything but printable
    // ASCII (and " and \) as a hexadecimal escape.
    void appendCssString(std::string& out, TextView text);

    // The text with U+FFFD for what markup cannot hold (counted here, once),
    // for texts that are written several times, such as titles.
    Text cleaned(TextView text);

    // Characters written as U+FFFD so far.
    std::uint64_t replaced() const { return replaced_; }

private:
    char* scratch(std::size_t bytes);
    std::uint64_t replaced_ = 0;
    // The escaped text is written here first, without a check per byte, then
    // appended at once.
    std::unique_ptr<char[]> scratch_;
    std::size_t scratchSize_ = 0;
};

// The code point at text[i], advancing i; U+FFFD (and `replaced` true) for
// what markup cannot hold.
char32_t markupCodePoint(TextView text, std::size_t& i, bool& replaced);

}  // namespace quenlet::formats
