// Closing-punctuation strip: no paragraph is written starting with a mark that
// closes something (a comma, a full stop, a closing bracket or quote, ...).
#include "engine/typeset_engine.h"

namespace quenlet {
namespace {

constexpr CharSet kLeadingStripSet{u',', u';', u'\u300F', u'!', u'?', u'\uFF09', u'\uFF3D', u'\u3011', u'\u3017',
                                   u'\u300B', u'\u00A8', u'\u3009', u'\u300D', u'\u2026', u']', u')', u'\u00B7',
                                   u'\uFF0C', u'\u3002', u'\uFF1F', u'\u201D', u'\u2019', u'\uFF01', u'\uFF1A',
                                   u'\uFF1B', u'\u3001', u'\uFF0E'};

}  // namespace

// Trims Line, then removes closing marks from its front one by one. Spaces
// uncovered by the removal stay: the trim happens only once, first.
void TypesetEngine::ZZQT() {
    const TextView stripped = withoutClosingMarks(s_.Line);
    const auto from = static_cast<std::size_t>(stripped.data() - s_.Line.data());
    s_.Line.erase(from + stripped.size());
    s_.Line.erase(0, from);
}

TextView TypesetEngine::withoutClosingMarks(TextView text) {
    while (!text.empty() && text.front() == kSpace) text.remove_prefix(1);
    while (!text.empty() && text.back() == kSpace) text.remove_suffix(1);
    while (!text.empty() && kLeadingStripSet.contains(text.front())) text.remove_prefix(1);
    return text;
}

}  // namespace quenlet
