// Closing-punctuation strip: no paragraph is written starting with a mark that
// closes something (a comma, a full stop, a closing bracket or quote, ...).
#include "typeset_engine.h"

namespace quenlet {
namespace {

constexpr CharSet kLeadingStripSet{u',', u';', u'\u300F', u'!', u'?', u'\uFF09', u'\uFF3D', u'\u3011', u'\u3017',
                                   u'\u300B', u'\u00A8', u'\u3009', u'\u300D', u'\u2026', u']', u')', u'\u00B7',
                                   u'\uFF0C', u'\u3002', u'\uFF1F', u'\u201D', u'\u2019', u'\uFF01', u'\uFF1A',
                                   u'\uFF1B', u'\u3001', u'\uFF0E'};

}  // namespace

// Trims Line, then removes closing marks from its front one by one. Spaces
// uncovered by the removal stay: the trim happens only once, first.
void TypesetEngine::ZZQT() { stripClosingMarks(s_.Line); }

void TypesetEngine::stripClosingMarks(Text& text) {
    trimSpacesInPlace(text);
    std::size_t strip = 0;
    while (strip < text.size() && kLeadingStripSet.contains(text[strip])) ++strip;
    text.erase(0, strip);
}

}  // namespace quenlet
