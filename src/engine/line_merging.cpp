// Line merging: web text arrives with paragraphs broken over several physical
// lines. Each cleaned line is either queued alone (short, unpunctuated), or
// finishes the paragraph being built, or is held to be joined with what follows.
#include <numeric>

#include "engine/typeset_engine.h"

namespace quenlet {
namespace {

// Closing marks: a previous scan that left exactly one of these behind means
// the paragraph before this line was closed.
constexpr CharSet kClosingMarks{u'.', u'\u3002', u'\uFF1F', u'?', u'\uFF01', u']', u'!', u'\uFF0E',
                                u'"', u'-', u'\u201D', u'\u2019', u'\'', u'\uFF3D', u'\u300D', u'\u2026',
                                u'\u300F', u'\uFF09', u'\u2014', u'*', u'\uFF0A', u'='};

// Counted marks: any of these makes a line "punctuated".
constexpr CharSet kCountedMarks{u',', u'\uFF0C', u'.', u'\u3002', u'\uFF1F', u'?', u'\u2014', u'\uFF01',
                                u'!', u'\uFF0E', u'"', u'\'', u'/', u'\\', u'|', u'-', u'\u3001', u'_',
                                u':', u'\uFF1A', u'\uFF0D', u'\u2026'};

// Sentence-final marks; the question marks are deliberately not among them.
constexpr CharSet kSentenceFinalMarks{u'.', u'\u3002', u'\u00B7', u'!', u'\uFF01', u'\u2026', u'\uFF0E'};

// Two-character endings: a final mark followed by a closing quote.
constexpr CharSet kEndingFinalMarks{u'.', u'\u3002', u'\uFF1F', u'\uFF0E', u'\u00B7', u'?',
                                    u'\uFF01', u'!', u'\u2026', u'\u00A8', u'\uFF5E'};
constexpr CharSet kEndingClosingQuotes{u'\u300D', u'\uFF3D', u'\u201D', u'\u300F', u'"'};

// Every character the scan counts or pairs: anything else passes unnoticed.
constexpr CharSet kScanned{u',', u'\uFF0C', u'.', u'\u3002', u'\uFF1F', u'?', u'\u2014', u'\uFF01', u'!',
                           u'\uFF0E', u'"', u'\'', u'/', u'\\', u'|', u'-', u'\u3001', u'_', u':', u'\uFF1A',
                           u'\uFF0D', u'\u2026', u'\u201C', u'\u201D', u'[', u']', u'\uFF3B', u'\uFF3D', u'\u300C',
                           u'\u300D', u'\u2018', u'\u2019', u'\u300E', u'\u300F', u'\u3016', u'\u3017', u'\u3010',
                           u'\u3011', u'\uFF08', u'\uFF09', u'\u3014', u'\u3015', u'\u300A', u'\u300B', u'\u3008',
                           u'\u3009', u'\u3003'};

bool isTwoCharacterEnding(TextView text) {
    return text.size() == 2 && kEndingFinalMarks.contains(text[0]) && kEndingClosingQuotes.contains(text[1]);
}

constexpr int kQuoteSpanLimit = 150;
constexpr std::size_t kShortLineLength = 30;

// Applies a bracket or quote mark to its pair state; returns false for other characters.
bool applyPairMark(char16_t c, DocumentState& s) {
    auto open = [&s](int state) { s.PairState[state] = 1; };
    auto close = [&s](int state) { s.PairState[state] = 0; };
    switch (c) {
        case u'\u201C': open(1); s.QuoteSpan = 0; return true;
        case u'\u201D': close(1); s.QuoteSpan = -1; return true;
        case u'[': open(2); return true;
        case u']': close(2); return true;
        case u'\uFF3B': open(3); return true;
        case u'\uFF3D': close(3); return true;
        case u'\u300C': open(4); return true;
        case u'\u300D': close(4); return true;
        case u'\u2018': open(5); return true;
        case u'\u2019': close(5); return true;
        case u'\u300E': open(6); return true;
        case u'\u300F': close(6); return true;
        case u'\u3016': open(7); return true;
        case u'\u3017': close(7); return true;
        case u'\u3010': open(8); return true;
        case u'\u3011': close(8); return true;
        case u'\uFF08': open(9); return true;
        case u'\uFF09': close(9); return true;
        case u'\u3014': open(10); return true;
        case u'\u3015': close(10); return true;
        case u'\u300A': open(11); return true;
        case u'\u300B': close(11); return true;
        case u'\u3008': open(12); return true;
        case u'\u3009': close(12); return true;
        case u'\'':
            s.PairState[13] = s.PairState[13] == 1 ? 0 : 1;
            s.QuoteSpan = s.PairState[13] == 1 ? 0 : -1;
            return true;
        case u'"':
        case u'\u3003':
            s.PairState[14] = s.PairState[14] == 1 ? 0 : 1;
            return true;
        default: return false;
    }
}

}  // namespace

bool TypesetEngine::leavesParagraphClosed(TextView currentChar) { return kClosingMarks.contains(currentChar); }

// Decides whether the line in Line stands alone, finishes the paragraph being
// built, or is held; finished paragraphs go to the queue.
void TypesetEngine::HB() {
    DocumentState& s = s_;
    s.ClosedFlag = leavesParagraphClosed(s.CurrentChar) ? 1 : 0;
    closedFlagFromCarried_ = !dependence_.currentCharWritten;
    s.MarkCount = 0;
    s.LineEndsSentence = 0;

    int marks = 0;
    for (const char16_t c : s.Line) {
        if (!kScanned.contains(c)) continue;
        if (kCountedMarks.contains(c)) ++marks;
        if (applyPairMark(c, s)) ++marks;
    }
    s.MarkCount = marks;
    s.ScanIndex = static_cast<Count>(s.Line.size()) + 1;
    if (!s.Line.empty()) setCurrentChar(s.Line.back());

    if (s.QuoteSpan > -1) ++s.QuoteSpan;

    const bool shortAndBare = s.MarkCount == 0 && s.Line.size() < kShortLineLength;
    if (shortAndBare && prevClosedFromCarried_) dependence_.onClosingMarkTest = true;
    if (s.PrevClosed == 1 && shortAndBare) {
        if (s.Pending == 1) {
            queueParagraph(std::move(s.PendingText));
            s.PendingText.clear();
        }
        s.Pending = 0;
        queueParagraph(std::move(s.Line));  // the run takes the paragraph from the queue
        s.ClosedFlag = 1;
        closedFlagFromCarried_ = false;
        resetPairStates();
    } else {
        const int openPairs = std::accumulate(s.PairState.begin(), s.PairState.end(), 0);
        if (!s.Line.empty() && kSentenceFinalMarks.contains(s.Line.back()) &&
            (openPairs == 0 || s.QuoteSpan > kQuoteSpanLimit))
            s.LineEndsSentence = 1;
        setCurrentChar(s.Line.size() < 2 ? TextView(s.Line) : TextView(s.Line).substr(s.Line.size() - 2));
        if (isTwoCharacterEnding(s.CurrentChar)) s.LineEndsSentence = 1;

        if (s.LineEndsSentence == 1) {
            s.Pending = 0;
            s.PendingText.append(s.Line);
            queueParagraph(std::move(s.PendingText));
            s.PendingText.clear();
            s.ClosedFlag = 1;
            closedFlagFromCarried_ = false;
            resetPairStates();
        } else {
            s.Pending = 1;
            s.PendingText.append(s.Line);
            ++s.Stats.MergedCount;
        }
    }
    s.PrevClosed = s.ClosedFlag;
    prevClosedFromCarried_ = closedFlagFromCarried_;
}

}  // namespace quenlet
