// Corrections: the fixed character corrections chosen in the window, then the
// user's own replace rule.
#include "typeset_engine.h"

namespace quenlet {

// The fixed corrections in their order, then the user's rule when it has a search text.
void TypesetEngine::Zyt() {
    DocumentState& s = s_;
    if (options_.DeleteAsterisks) {
        s.CorrectionFind = u"\uFF0A";
        s.CorrectionReplace.clear();
        TH0();
    }
    if (options_.DeleteDoubleDashes) {
        s.CorrectionFind = u"-";
        s.CorrectionReplace.clear();
        TH0();
    }
    if (options_.TildeToEllipsis) {
        s.CorrectionFind = u"\uFF5E";
        s.CorrectionReplace = u"\u2026";
        TH0();
    }
    if (!options_.FindText.empty()) TH();
}

// Replaces every CorrectionFind in Line with CorrectionReplace, rescanning from
// the start after each change, then trims Line.
void TypesetEngine::TH0() {
    DocumentState& s = s_;
    const TextView find = s.CorrectionFind;
    bool replaced = true;
    while (replaced) {
        replaced = false;
        const std::size_t at = s.Line.find(find);
        if (at != Text::npos && !find.empty()) {
            s.Line.replace(at, find.size(), s.CorrectionReplace);
            replaced = true;
        }
    }
    trimSpacesInPlace(s.Line);
}

// The user's rule. The scan position never passes the paragraph's starting
// length, and after a replacement it stays put so that the inserted text is
// examined again (哈哈→哈 turns 哈哈哈哈 into 哈) -- unless the replacement
// begins with the search text, which would otherwise match forever: then the
// scan moves past what it inserted.
void TypesetEngine::TH() {
    DocumentState& s = s_;
    const Text find = options_.FindText;
    const Text replace = options_.ReplaceText;
    const bool replacementRepeatsFind = startsWith(replace, find);
    const std::size_t startLength = s.Line.size();
    std::size_t k = 1;
    while (k <= startLength) {
        if (k - 1 <= s.Line.size() && TextView(s.Line).substr(k - 1).starts_with(find)) {
            s.Line.replace(k - 1, find.size(), replace);
            if (replacementRepeatsFind) k += replace.size();
        } else {
            ++k;
        }
    }
    trimSpacesInPlace(s.Line);
}

}  // namespace quenlet
