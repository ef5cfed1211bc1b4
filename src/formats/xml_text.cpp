#include "formats/xml_text.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "text/utf16.h"

namespace quenlet::formats {
namespace {

// Allowed in XML 1.0 documents: tab, line feed, carriage return, U+0020 to
// U+D7FF, U+E000 to U+FFFD (and pairs of surrogates, handled by the caller).
bool isXmlCharacter(char16_t c) {
    if (c >= 0x20) return c < 0xD800 || (c >= 0xE000 && c <= 0xFFFD);
    return c == u'\t' || c == u'\n' || c == u'\r';
}

char* putUtf8(char* out, char32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

char* put(char* out, std::string_view text) {
    for (const char c : text) *out++ = c;
    return out;
}

}  // namespace

char32_t markupCodePoint(TextView text, std::size_t& i, bool& replaced) {
    const char16_t c = text[i++];
    replaced = false;
    if (isXmlCharacter(c)) return c;
    if (isHighSurrogate(c) && i < text.size() && isLowSurrogate(text[i])) return fromSurrogates(c, text[i++]);
    replaced = true;
    return kReplacementCharacter;
}

char* MarkupText::scratch(std::size_t bytes) {
    if (scratchSize_ < bytes) {
        scratchSize_ = std::max(bytes, 2 * scratchSize_);
        scratch_.reset(new char[scratchSize_]);
    }
    return scratch_.get();
}

void MarkupText::appendXml(std::string& out, TextView text) {
    if (text.empty()) return;
    char* const start = scratch(text.size() * kMostXmlBytes);
    out.append(start, static_cast<std::size_t>(putXml(start, text) - start));
}

char* MarkupText::putXml(char* p, TextView text) {
    // At most five bytes for a code unit (&amp;); four for two (a surrogate pair).
    for (std::size_t i = 0; i < text.size();) {
        const char16_t c = text[i];
        // Most of a novel: Han characters and punctuation, full-width forms
        // among them, three bytes each.
        if (c >= 0x800 && (c < 0xD800 || (c >= 0xE000 && c < 0xFFFE))) {
            p[0] = static_cast<char>(0xE0 | (c >> 12));
            p[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            p[2] = static_cast<char>(0x80 | (c & 0x3F));
            p += 3;
            ++i;
            continue;
        }
        bool replaced = false;
        const char32_t code = markupCodePoint(text, i, replaced);
        replaced_ += replaced;
        switch (code) {
            case U'&': p = put(p, "&amp;"); break;
            case U'<': p = put(p, "&lt;"); break;
            case U'>': p = put(p, "&gt;"); break;
            case U'\r': p = put(p, "&#13;"); break;
            default: p = putUtf8(p, code);
        }
    }
    return p;
}

Text MarkupText::cleaned(TextView text) {
    Text clean(text);
    for (std::size_t i = 0; i < clean.size();) {
        const std::size_t at = i;
        bool replaced = false;
        markupCodePoint(clean, i, replaced);
        if (replaced) {
            clean[at] = kReplacementCharacter;
            ++replaced_;
        }
    }
    return clean;
}

void MarkupText::appendCssString(std::string& out, TextView text) {
    out.push_back('"');
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        const char32_t code = markupCodePoint(text, i, replaced);
        replaced_ += replaced;
        if (code >= 0x20 && code < 0x7F && code != U'"' && code != U'\\') {
            out.push_back(static_cast<char>(code));
        } else {
            // The space ends the escape, so a hexadecimal digit may follow.
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\%X ", static_cast<unsigned>(code));
            out += escape;
        }
    }
    out.push_back('"');
}

}  // namespace quenlet::formats
