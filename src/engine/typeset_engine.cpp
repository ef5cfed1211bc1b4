// The per-file core: cleaning each source line, handing it to line merging,
// draining the finished paragraphs through the stages, and the end-of-file
// flush. Shared writing helpers of the paragraph writers live here too.
#include "engine/typeset_engine.h"

#include <algorithm>
#include <stdexcept>

namespace quenlet {

namespace {
bool isQuestionMark(char16_t c) { return c == u'?' || c == u'\uFF1F'; }
}  // namespace

void TypesetEngine::beginFile(const TypesetOptions& options, OutputSink& output, RunObserver* observer,
                              RunHooks* hooks) {
    options_ = options;
    output_ = &output;
    observer_ = observer;
    hooks_ = hooks;
    segmentationFindsHeadingsAndRules_ = !hooks_ || hooks_->segmentationFindsHeadingsAndRules();
    findings_ = {};
    s_.MarkCount = 0;
    s_.LineEndsSentence = 0;
    resetPairStates();
    s_.ClosedFlag = 1;
    s_.PrevClosed = 1;
    s_.QuoteParity = 0;
    s_.DotRun = 0;
    s_.InParenthesis = 0;
    s_.HeadingsWritten = 0;
    s_.PendingText.clear();
    s_.Pending = 0;
    s_.ParagraphCount = 0;
    s_.Paragraphs[0].clear();
    s_.Segments[0].clear();
    dependence_ = {};
    closedFlagFromCarried_ = prevClosedFromCarried_ = false;
    if (observer_) observer_->mergingStarted();
}

void TypesetEngine::processLine(Text rawLine) {
    if (hooks_) hooks_->rawLine(std::move(rawLine), *this);
    else takeRawLine(std::move(rawLine));
}

void TypesetEngine::takeRawLine(Text rawLine) {
    s_.RawLine = std::move(rawLine);
    s_.InParenthesis = 0;
    s_.LineEndsSentence = 0;
    s_.QuoteParity = 0;
    s_.Line.clear();
    if (!s_.RawLine.empty()) {
        ++s_.Stats.SourceParagraphCount;
        // Every space goes, ASCII and ideographic, wherever it stands.
        s_.Line.resize(s_.RawLine.size());
        char16_t* kept = s_.Line.data();
        bool questionMarks = false;
        for (const char16_t c : s_.RawLine) {
            if (c == kSpace || c == kIdeographicSpace) continue;
            questionMarks |= isQuestionMark(c);
            *kept++ = c;
        }
        s_.Line.resize(static_cast<std::size_t>(kept - s_.Line.data()));
        if (questionMarks && !removeQuestionMarkRuns()) {  // the line is dropped
            ++findings_.linesDropped;
            findings_.charactersDropped += static_cast<Count>(s_.Line.size());
            return;
        }
        mergeOrWrite();
    }
    if (s_.Pending == 1) return;
    drainQueue();
}

void TypesetEngine::takeCleanLine(TextView line) {
    s_.RawLine.clear();  // the raw line went to the hooks
    s_.InParenthesis = 0;
    s_.LineEndsSentence = 0;
    s_.QuoteParity = 0;
    s_.Line.assign(line);
    if (!s_.Line.empty()) mergeOrWrite();
    if (s_.Pending == 1) return;
    drainQueue();
}

// The cleaned line in Line, without the user's prefix, to line merging -- or
// straight out when lines are not merged.
void TypesetEngine::mergeOrWrite() {
    if (!options_.StripPrefix.empty() && startsWith(s_.Line, options_.StripPrefix))
        s_.Line.erase(0, options_.StripPrefix.size());
    if (options_.MergeLines) HB();
    else output().plainLine(s_.Line);
}

void TypesetEngine::takeHeading(Text title, HeadingRank rank) {
    if (!options_.MergeLines) {  // lines are written as they stand
        takeCleanLine(title);
        return;
    }
    endHeldParagraph();
    s_.Line = std::move(title);
    if (normaliseForOwnLine()) writeHeading(rank);
}

void TypesetEngine::takeListEntry(Text entry) {
    if (!options_.MergeLines) {
        takeCleanLine(entry);
        return;
    }
    endHeldParagraph();
    s_.Line = std::move(entry);
    if (!normaliseForOwnLine()) return;
    output().listEntry(options_.Indent, s_.Line, options_.ParagraphEnd);
    ++s_.Stats.FinalParagraphCount;
}

void TypesetEngine::endParagraph() {
    if (options_.MergeLines) endHeldParagraph();
}

// The paragraph line merging holds is finished as it stands and written; the
// next line starts afresh, as after any finished paragraph.
void TypesetEngine::endHeldParagraph() {
    if (s_.Pending == 1) {
        queueParagraph(std::move(s_.PendingText));
        s_.PendingText.clear();
        s_.Pending = 0;
    }
    drainQueue();
    s_.ClosedFlag = 1;
    s_.PrevClosed = 1;
    closedFlagFromCarried_ = prevClosedFromCarried_ = false;
    resetPairStates();
}

// Line, a heading or list entry (without the user's prefix: the hooks see to
// that), through the normalisation and corrections that every paragraph
// gets; false when the hooks drop it.
bool TypesetEngine::normaliseForOwnLine() {
    trimSpacesInPlace(s_.Line);
    if (hooks_) hooks_->paragraphQueued(s_.Line);
    ZZZ1();
    Zyt();
    return !hooks_ || hooks_->paragraphCorrected(s_.Line);
}

// A line ending in a run of two or more question marks is garbage from a bad
// conversion and is dropped (returns false); elsewhere such runs are deleted
// and single question marks stay.
bool TypesetEngine::removeQuestionMarkRuns() {
    Text& line = s_.Line;
    if (line.size() >= 2 && isQuestionMark(line.back()) && isQuestionMark(line[line.size() - 2])) return false;
    const auto first = std::find_if(line.begin(), line.end(), isQuestionMark);
    std::size_t out = static_cast<std::size_t>(first - line.begin());
    for (std::size_t i = out; i < line.size();) {
        std::size_t runEnd = i;
        while (runEnd < line.size() && isQuestionMark(line[runEnd])) ++runEnd;
        if (runEnd - i >= 2) {
            i = runEnd;
            continue;
        }
        if (runEnd == i) runEnd = i + 1;
        while (i < runEnd) line[out++] = line[i++];
    }
    line.resize(out);
    return true;
}

void TypesetEngine::drainQueue() {
    const Count queued = s_.ParagraphCount;
    for (Count i = 1; i <= queued; ++i) {
        s_.Line = std::move(s_.Paragraphs[i]);
        trimSpacesInPlace(s_.Line);
        if (observer_) observer_->replacingParagraph(s_.Stats.SourceParagraphCount);
        if (hooks_) hooks_->paragraphQueued(s_.Line);
        ZZZ1();
        Zyt();
        if (hooks_ && !hooks_->paragraphCorrected(s_.Line)) continue;
        if (options_.SplitParagraphs) {
            if (observer_) observer_->splittingParagraph(s_.Stats.SourceParagraphCount);
            fd();
        } else {
            FD0();
        }
    }
    s_.ParagraphCount = 0;
}

void TypesetEngine::endFile() {
    if (hooks_) {
        hooks_->sourceEnded(*this);
        hooks_->addFindings(findings_);
    }
    if (s_.Pending == 1 && s_.PendingText.size() > 1) {
        s_.Line = s_.PendingText;
        ZZQT();
        writeIndented(s_.Line);
    }
}

void TypesetEngine::queueParagraph(Text paragraph) {
    ++s_.ParagraphCount;
    if (s_.Paragraphs.size() <= static_cast<std::size_t>(s_.ParagraphCount))
        s_.Paragraphs.resize(s_.ParagraphCount + 1);
    s_.Paragraphs[s_.ParagraphCount] = std::move(paragraph);
}

void TypesetEngine::resetPairStates() {
    s_.PairState.fill(0);
    s_.QuoteSpan = -1;
}

void TypesetEngine::writeIndented(TextView body) { output().paragraph(options_.Indent, body, options_.ParagraphEnd); }

OutputSink& TypesetEngine::output() {
    if (!output_) throw std::logic_error("typesetting stage called without an output");
    return *output_;
}

}  // namespace quenlet
