// Quote and punctuation normalisation: straight double quotes become
// alternating Chinese quotes, and runs of full stops and commas become "……".
#include "typeset_engine.h"

namespace quenlet {
namespace {

// Run marks: a run of two or more of these, in any mix, is an ellipsis typed badly.
constexpr CharSet kRunMarks{u'\u3002', u'.', u',', u'\u3001'};

constexpr TextView kEllipsis = u"\u2026\u2026";

}  // namespace

// Straight double quotes to “ ” in turn; runs of 。.,、 followed by text to "……".
void TypesetEngine::ZZZ1() {
    DocumentState& s = s_;
    s.QuoteParity = 0;
    if (options_.ConvertQuotes) {
        const std::size_t length = s.Line.size();
        for (std::size_t i = 0; i < length && i < s.Line.size(); ++i) {
            if (s.Line[i] != u'"') continue;
            s.Line[i] = s.QuoteParity == 0 ? u'\u201C' : u'\u201D';
            s.QuoteParity = 1 - s.QuoteParity;
            trimSpacesInPlace(s.Line);
        }
    }
    if (options_.DotsToEllipsis) {
        // DotRun carries over from the previous paragraph; a run that began
        // there (j not beyond DotRun) is left alone.
        std::size_t j = 1;
        while (j <= s.Line.size()) {
            if (kRunMarks.contains(s.Line[j - 1])) {
                ++s.DotRun;
                ++j;
            } else if (s.DotRun > 1 && static_cast<Count>(j) > s.DotRun) {
                const std::size_t kept = j - static_cast<std::size_t>(s.DotRun) - 1;
                s.Line.replace(kept, j - 1 - kept, kEllipsis);
                trimSpacesInPlace(s.Line);
                s.DotRun = 0;
                j = 1;
            } else {
                s.DotRun = 0;
                ++j;
            }
        }
    }
}

}  // namespace quenlet
