#include "tidy/tidy_run.h"

#include <algorithm>

#include "tidy/tidy_text.h"

namespace quenlet::tidy {
namespace {

// A line this short without punctuation, after a heading of only its
// number, is that heading's title.
constexpr std::size_t kMaxTitleLine = 30;

// Stands in for a hyphen between digits while the corrections, which delete
// every hyphen, run: a noncharacter, which no text holds.
constexpr char16_t kHyphenStandIn = u'\uFDD0';

// At most this many held lines: a source of nothing but headings must not
// be held whole.
constexpr std::size_t kMaxHeld = 256;

bool titleLike(TextView text) { return text.size() <= kMaxTitleLine && !hasProseMark(text); }

bool isDigit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'\uFF10' && c <= u'\uFF19'); }

}  // namespace

void TidyRun::rawLine(Text line, LineFeed& feed) {
    const LineMatcher::Shape shape = matcher_.spaceLine(line, spaced_);
    if (spaced_.empty()) {
        emptyLine();
        return;
    }
    feed.countSourceLine();
    const LineMatcher::Junk junk = matcher_.removeJunk(spaced_, junkRemoved_);
    if (junk == LineMatcher::Junk::Dropped) {
        emptyLine();
        return;
    }
    if (shape.questionMarks && removeQuestionMarkRuns(spaced_) && spaced_.empty()) return;  // only question marks
    // What the line is shows past the user's prefix (which the engine takes
    // off the lines of text it is given).
    TextView subject = spaced_;
    const Text& prefix = feed.options().StripPrefix;
    if (!prefix.empty() && startsWith(subject, prefix)) {
        subject.remove_prefix(prefix.size());
        while (!subject.empty() && subject.front() == u' ') subject.remove_prefix(1);
        if (subject.empty()) subject = spaced_;
    }
    if (!matcher_.mayBeHeading(subject)) {  // most lines: body text
        plainBodyLine(shape.innerSpaces || junk != LineMatcher::Junk::None, feed);
        return;
    }
    const bool atParagraphStart = !held_.empty() || title_ || !feed.holdingParagraph();
    LineClass found = matcher_.classify(subject, atParagraphStart);
    junkRemoved_ += found.prefixesRemoved;
    switch (found.kind) {
        case LineClass::TocHead:
            settleTitle(0);
            hold({Held::TocHead, std::move(found.text)}, feed);
            inTableOfContents_ = true;
            return;
        case LineClass::Heading:
            settleTitle(found.level);
            hold({Held::Heading, std::move(found.text), found.rank, found.level, found.bare}, feed);
            if (!found.remainder.empty()) bodyLine(found.remainder, feed);
            return;
        case LineClass::Body:
            plainBodyLine(shape.innerSpaces || junk != LineMatcher::Junk::None, feed);
            return;
    }
}

// The spaced line as body text, its spaces taken out (when it may hold any).
void TidyRun::plainBodyLine(bool mayHoldSpaces, LineFeed& feed) {
    if (!mayHoldSpaces) {
        bodyLine(spaced_, feed);
        return;
    }
    withoutSpaces(spaced_, compact_);
    bodyLine(compact_, feed);
}

void TidyRun::sourceEnded(LineFeed& feed) {
    attachTitle();
    handOnHeld(feed);
}

// An empty line, or one that was nothing but junk: a short line waiting
// after a bare heading stands alone, so it is the heading's title.
void TidyRun::emptyLine() { attachTitle(); }

void TidyRun::attachTitle() {
    if (!title_) return;
    held_.back().text += *title_;
    held_.back().bare = false;
    title_.reset();
}

// A heading of `level` follows the short line after a bare heading: before a
// lower-ranking heading (a chapter's first section) that line is the bare
// heading's title; before one of the same rank or higher the lines are a
// table of contents, and it is an entry of its own.
void TidyRun::settleTitle(int level) {
    if (!title_) return;
    if (level > held_.back().level) {
        attachTitle();
        return;
    }
    held_.push_back({Held::Entry, std::move(*title_)});
    title_.reset();
}

void TidyRun::bodyLine(TextView text, LineFeed& feed) {
    if (title_) {  // the short line after a bare heading runs on into text: it was no title
        const Text previous = std::move(*title_);
        title_.reset();
        handOnHeld(feed);
        feed.takeCleanLine(previous);
    } else if (!held_.empty() && held_.back().kind == Held::Heading && held_.back().bare && titleLike(text)) {
        title_ = Text(text);
        return;
    } else if (inTableOfContents_ && titleLike(text)) {
        hold({Held::Entry, Text(text)}, feed);
        return;
    }
    handOnHeld(feed);
    feed.takeCleanLine(text);
}

// Text follows the held lines: the last heading, with any higher-ranking
// headings right before it (a volume before its first chapter), heads that
// text; every line before them is an entry of a table of contents.
void TidyRun::handOnHeld(LineFeed& feed) {
    if (held_.empty()) return;
    std::size_t trailing = held_.size();
    if (held_.back().kind == Held::Heading) {
        trailing = held_.size() - 1;
        while (trailing > 0 && held_[trailing - 1].kind == Held::Heading &&
               held_[trailing - 1].level < held_[trailing].level)
            --trailing;
    }
    for (std::size_t i = 0; i < held_.size(); ++i) {
        if (i >= trailing) feed.takeHeading(std::move(held_[i].text), held_[i].rank);
        else handOnAsContents(held_[i], feed);
    }
    held_.clear();
    inTableOfContents_ = false;
}

// A held line that is part of a table of contents: an entry of the list, or
// the list's own heading (目录).
void TidyRun::handOnAsContents(Held& line, LineFeed& feed) {
    if (line.kind == Held::TocHead) feed.takeHeading(std::move(line.text), HeadingRank::Chapter);
    else feed.takeListEntry(std::move(line.text));
}

void TidyRun::hold(Held line, LineFeed& feed) {
    held_.push_back(std::move(line));
    if (held_.size() > kMaxHeld) handOnOldest(feed);
}

// A long run of heading lines is a table of contents but for its last few
// lines (the trailing headings are one of each rank at most): those before
// them go out now, as they would at the end of the run.
void TidyRun::handOnOldest(LineFeed& feed) {
    const std::size_t keep = 4;
    for (std::size_t i = 0; i + keep < held_.size(); ++i) handOnAsContents(held_[i], feed);
    held_.erase(held_.begin(), held_.end() - keep);
}

void TidyRun::paragraphQueued(Text& paragraph) {
    standIns_ = false;
    // Most paragraphs hold neither a straight quote nor a hyphen: find out in
    // loops the compiler can vectorise.
    const char16_t* text = paragraph.data();
    unsigned found = 0;
    constexpr unsigned kStraight = 1, kHyphen = 2, kOpening = 4;
    for (std::size_t i = 0; i < paragraph.size(); ++i)
        found |= static_cast<unsigned>(text[i] == u'"') * kStraight | static_cast<unsigned>(text[i] == u'-') * kHyphen |
                 static_cast<unsigned>(text[i] == u'\u201C') * kOpening;
    if ((found & (kStraight | kOpening)) == (kStraight | kOpening)) {
        bool open = false;  // an unclosed “ before this point
        for (char16_t& c : paragraph) {
            if (c == u'\u201C') {
                open = true;
            } else if (c == u'\u201D') {
                open = false;
            } else if (c == u'"' && open) {  // a straight quote after an unclosed “ closes it
                c = u'\u201D';
                open = false;
            }
        }
    }
    // Hyphens between digits (2007-1-16) are kept from the corrections.
    if ((found & kHyphen) == 0 || paragraph.find(kHyphenStandIn) != Text::npos) return;
    for (std::size_t i = 1; i + 1 < paragraph.size(); ++i) {
        if (paragraph[i] == u'-' && isDigit(paragraph[i - 1]) && isDigit(paragraph[i + 1])) {
            paragraph[i] = kHyphenStandIn;
            standIns_ = true;
        }
    }
}

// Nothing is written that holds nothing but spaces: no empty heading 《》.
bool TidyRun::paragraphCorrected(Text& paragraph) {
    if (standIns_) std::replace(paragraph.begin(), paragraph.end(), kHyphenStandIn, u'-');
    standIns_ = false;
    return !std::all_of(paragraph.begin(), paragraph.end(), isAnySpace);
}

}  // namespace quenlet::tidy
