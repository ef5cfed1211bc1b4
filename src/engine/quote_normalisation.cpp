// Quote and punctuation normalisation: straight double quotes become
// alternating Chinese quotes, and runs of full stops and commas become "……".
#include "engine/typeset_engine.h"

namespace quenlet {
namespace {

// Run marks: a run of two or more of these, in any mix, is an ellipsis typed badly.
constexpr CharSet kRunMarks{u'\u3002', u'.', u',', u'\u3001'};

constexpr TextView kEllipsis = u"\u2026\u2026";

// Replaces every run of two or more marks that is followed by a non-mark;
// returns the length of the run the text ends with.
Count replaceAllRuns(Text& line) {
    Text out;
    out.reserve(line.size());
    std::size_t runStart = 0;
    std::size_t runLength = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (kRunMarks.contains(line[i])) {
            if (runLength++ == 0) runStart = i;
            continue;
        }
        if (runLength > 1) out.append(kEllipsis);
        else if (runLength == 1) out.push_back(line[runStart]);
        runLength = 0;
        out.push_back(line[i]);
    }
    out.append(line, line.size() - runLength, runLength);
    line = std::move(out);
    return static_cast<Count>(runLength);
}

}  // namespace

// Straight double quotes to “ ” in turn; runs of 。.,、 followed by text to "……".
void TypesetEngine::ZZZ1() {
    DocumentState& s = s_;
    s.QuoteParity = 0;
    if (options_.ConvertQuotes) {
        const std::size_t length = s.Line.size();
        for (std::size_t i = s.Line.find(u'"'); i < length && i < s.Line.size(); i = s.Line.find(u'"', i + 1)) {
            s.Line[i] = s.QuoteParity == 0 ? u'\u201C' : u'\u201D';
            s.QuoteParity = 1 - s.QuoteParity;
            trimSpacesInPlace(s.Line);
        }
    }
    if (!options_.DotsToEllipsis) return;
    // The rule rescans from the front after each replacement, with the run
    // count carried over from the previous paragraph only on the first scan:
    // a leading run that count protects is replaced after all once any other
    // run is. So: scan once as the rule says up to the first replacement; after
    // it every run followed by text goes, in one pass.
    Count run = s.DotRun;
    for (std::size_t j = 1; j <= s.Line.size(); ++j) {
        if (kRunMarks.contains(s.Line[j - 1])) {
            ++run;
        } else if (run > 1 && static_cast<Count>(j) > run) {
            const std::size_t kept = j - static_cast<std::size_t>(run) - 1;
            s.Line.replace(kept, j - 1 - kept, kEllipsis);
            trimSpacesInPlace(s.Line);
            s.DotRun = replaceAllRuns(s.Line);
            return;
        } else {
            run = 0;
        }
    }
    s.DotRun = run;
}

}  // namespace quenlet
