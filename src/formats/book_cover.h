// The cover a book gets when the user gives none: an SVG image of its title
// and author, set as the book is -- in lines across, or in columns from the
// right with the punctuation in its vertical forms -- so that a library
// shows a tile with a name on it. The text is drawn by the reader's own
// fonts: the image scales to any size.
#pragma once

#include <cstdint>
#include <string>

#include "text/text.h"

namespace quenlet::formats {

struct CoverText {
    Text title;
    Text author;  // none when empty
    bool vertical = false;
    bool traditional = false;  // which of the CJK fonts to ask for
    std::string language;      // the book's language tag
};

inline constexpr int kCoverWidth = 600;
inline constexpr int kCoverHeight = 800;

std::string coverSvg(const CoverText& cover);

// The width and height of a JPEG or PNG image, from its header; 0 when the
// header does not say.
struct ImageSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};
ImageSize imageSize(std::string_view image);

}  // namespace quenlet::formats
