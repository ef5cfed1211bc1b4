#include "text/text.h"

namespace quenlet {

Text trimSpaces(TextView text) {
    Text copy(text);
    trimSpacesInPlace(copy);
    return copy;
}

void trimSpacesInPlace(Text& text) {
    if (text.empty() || (text.front() != kSpace && text.back() != kSpace)) return;
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == kSpace) --end;
    std::size_t begin = 0;
    while (begin < end && text[begin] == kSpace) ++begin;
    if (begin == 0 && end == text.size()) return;
    text.erase(end);
    text.erase(0, begin);
}

}  // namespace quenlet
