#include "run/chapter_sample.h"

#include <algorithm>

namespace quenlet {
namespace {

// How far back from the line being read the heading's own source line may
// lie: the hooks hold a few lines to look ahead before they hand a heading on.
constexpr std::size_t kLookBack = 64;

bool isSpace(char16_t c) { return c == kSpace || c == kIdeographicSpace || c == u'\t'; }

Text withoutSpaces(TextView text) {
    Text out;
    out.reserve(text.size());
    for (char16_t c : text)
        if (!isSpace(c)) out.push_back(c);
    return out;
}

}  // namespace

void ChapterSampler::TypesetSide::note(TextView before, TextView body, TextView after) {
    if (done_) return;
    const std::size_t units = before.size() + body.size() + after.size();
    if (sample_.typeset.size() >= kMaxLines || units_ + units > kMaxUnits) {
        done_ = true;
        sample_.typesetCut = true;
        return;
    }
    units_ += units;
    Text line;
    line.reserve(units);
    line.append(before).append(body).append(after);
    sample_.typeset.push_back(std::move(line));
}

void ChapterSampler::TypesetSide::plainLine(TextView line) {
    note(line);
    next_.plainLine(line);
}

void ChapterSampler::TypesetSide::blankLine() {
    note({});
    next_.blankLine();
}

void ChapterSampler::TypesetSide::heading(TextView open, TextView title, TextView close, HeadingRank rank) {
    if (!done_ && end_.endsAt(rank)) done_ = true;
    note(open, title, close);
    next_.heading(open, title, close, rank);
}

void ChapterSampler::TypesetSide::paragraph(TextView indent, TextView body, TextView end) {
    note(indent, body, end);
    next_.paragraph(indent, body, end);
}

void ChapterSampler::TypesetSide::listEntry(TextView indent, TextView entry, TextView end) {
    note(indent, entry, end);
    next_.listEntry(indent, entry, end);
}

void ChapterSampler::sourceLine(TextView raw) {
    if (sourceDone_) return;
    if (sample_.source.size() >= kMaxLines || sourceUnits_ + raw.size() > kMaxUnits) {
        sourceDone_ = true;
        sample_.sourceCut = true;
        return;
    }
    sourceUnits_ += raw.size();
    sample_.source.emplace_back(raw);
}

void ChapterSampler::headingsWritten(const RunFindings& found) {
    if (sourceDone_) return;
    for (; headingsSeen_ < found.headingList.size(); ++headingsSeen_) {
        const RunFindings::Heading& heading = found.headingList[headingsSeen_];
        if (sourceEnd_.endsAt(heading.rank)) {
            endSourceAt(heading.title);
            return;
        }
    }
}

// The source side ends before the line that holds the heading, found by its
// text without spaces (the run takes spaces out of a heading, the tidy mode
// a site's prefix); when no line near the end holds it, where it was written.
void ChapterSampler::endSourceAt(TextView title) {
    sourceDone_ = true;
    const Text wanted = withoutSpaces(title);
    if (wanted.empty()) return;
    std::vector<Text>& lines = sample_.source;
    const std::size_t first = lines.size() > kLookBack ? lines.size() - kLookBack : 0;
    for (std::size_t i = lines.size(); i > first; --i) {
        if (withoutSpaces(lines[i - 1]).find(wanted) != Text::npos) {
            lines.resize(i - 1);
            return;
        }
    }
}

ChapterSample ChapterSampler::take() {
    // The blank lines that set the next heading apart are not the chapter's.
    for (std::vector<Text>* side : {&sample_.source, &sample_.typeset})
        while (!side->empty() && std::all_of(side->back().begin(), side->back().end(), isSpace)) side->pop_back();
    return std::move(sample_);
}

}  // namespace quenlet
