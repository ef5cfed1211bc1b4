#include "tidy/tidy_run.h"

#include <algorithm>
#include <array>
#include <span>

#include "tidy/numbering.h"
#include "tidy/repetition.h"
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

// A paragraph held this long by a quotation that never closes is let go at
// the next sentence end.
constexpr Count kLongestHeld = 3000;

bool hasSentenceEnd(TextView text) {
    return std::any_of(text.begin(), text.end(), [](char16_t c) {
        return c == u'。' || c == u'！' || c == u'？' || c == u'!' || c == u'?' || c == u'…';
    });
}

std::size_t compactLength(TextView text) {
    return text.size() - static_cast<std::size_t>(std::count(text.begin(), text.end(), u' '));
}

bool startsIndented(TextView raw) {
    return !raw.empty() && (raw[0] == u' ' || raw[0] == u'\u3000' || raw[0] == u'\t' || raw[0] == u'\u00A0');
}

bool isHan(char16_t c) { return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF); }

bool isClosingQuote(char16_t c) { return c == u'”' || c == u'’' || c == u'」' || c == u'』' || c == u'"'; }

bool isClosingMark(char16_t c) {
    return c == u'”' || c == u'’' || c == u'」' || c == u'』' || c == u'）' || c == u')' || c == u'，' ||
           c == u'。' || c == u'、' || c == u'；' || c == u'：' || c == u'？' || c == u'！';
}

bool isDigit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'\uFF10' && c <= u'\uFF19'); }

}  // namespace

void TidyRun::rawLine(Text line, LineFeed& feed) {
    matcher_.setLine(static_cast<std::uint64_t>(++lineIndex_) + 1);
    const BookAnalysis::Line* const planned = plannedRole();
    const LineMatcher::Shape shape = matcher_.spaceLine(line, spaced_);
    if (spaced_.empty()) {
        blankBefore_ = true;
        emptyLine();
        return;
    }
    feed.countSourceLine();
    const LineMatcher::Junk junk = removeJunk(shape.latinLetters);
    if (junk == LineMatcher::Junk::Dropped) {
        emptyLine();
        return;
    }
    if (shape.questionMarks && removeQuestionMarkRuns(spaced_) && spaced_.empty()) return;  // only question marks
    startParagraphIfShown(line, feed);
    blankBefore_ = false;
    const bool mayHoldSpaces = shape.innerSpaces || junk != LineMatcher::Junk::None;
    // What the line is shows past the user's prefix (which the engine takes
    // off the lines of text it is given).
    TextView subject = spaced_;
    const Text& prefix = feed.options().StripPrefix;
    if (!prefix.empty() && startsWith(subject, prefix)) {
        subject.remove_prefix(prefix.size());
        while (!subject.empty() && subject.front() == u' ') subject.remove_prefix(1);
        if (subject.empty()) subject = spaced_;
    }
    // (the book's numbering has decided what this line is, unless the user's own rule says otherwise)
    if (planned && (planned->role == BookAnalysis::Role::Heading || !matcher_.userRuleMatches(subject))) {
        const TextView numbered = matcher_.afterPrefix(subject);
        if (numbered.size() < subject.size()) noteJunk(subject.substr(0, subject.size() - numbered.size()));
        switch (planned->role) {
            case BookAnalysis::Role::Heading: headingBySequence(numbered, planned->level, feed); return;
            case BookAnalysis::Role::Entry:
                settleTitle(0);
                hold({Held::Entry, formattedHeading(numbered).first}, feed);
                inTableOfContents_ = true;
                return;
            case BookAnalysis::Role::Text: plainBodyLine(mayHoldSpaces, feed); return;
        }
    }
    if (!matcher_.mayBeHeading(subject)) {  // most lines: body text
        plainBodyLine(mayHoldSpaces, feed);
        return;
    }
    const bool atParagraphStart = !held_.empty() || title_ || !feed.holdingParagraph();
    LineClass found = matcher_.classify(subject, atParagraphStart);
    if (found.prefixesRemoved > 0) noteJunk(found.prefix);
    switch (found.kind) {
        case LineClass::TocHead:
            settleTitle(0);
            hold({Held::TocHead, std::move(found.text)}, feed);
            inTableOfContents_ = true;
            return;
        case LineClass::Heading:
            settleTitle(found.level);
            if (found.remainder.empty()) cutGluedCouplet(found);
            hold({Held::Heading, std::move(found.text), found.rank, found.level, found.bare}, feed);
            if (!found.remainder.empty()) bodyLine(found.remainder, feed);
            return;
        case LineClass::Body:
            plainBodyLine(mayHoldSpaces, feed);
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
    bodyLine(compact_, feed, spaced_);
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
    held_.back().text += kIdeographicSpace;
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

void TidyRun::bodyLine(TextView text, LineFeed& feed, TextView spaced) {
    if (title_) {  // the short line after a bare heading runs on into text: it was no title
        const Text previous = std::move(*title_);
        title_.reset();
        handOnHeld(feed);
        feed.takeCleanLine(previous);
        heldLength_ = feed.holdingParagraph() ? static_cast<Count>(previous.size()) : 0;
    } else if (!held_.empty() && held_.back().kind == Held::Heading && held_.back().bare && titleLike(text)) {
        title_ = spaced.empty() ? Text(text) : gappedTitle(spaced);
        return;
    } else if (inTableOfContents_ && titleLike(text)) {
        hold({Held::Entry, Text(text)}, feed);
        return;
    }
    handOnHeld(feed);
    feed.takeCleanLine(text);
    lastEndedSentence_ = endsSentence(text);
    heldLength_ = feed.holdingParagraph() ? heldLength_ + static_cast<Count>(text.size()) : 0;
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
    constexpr unsigned kStraight = 1, kHyphen = 2, kOpening = 4, kWidePeriod = 8;
    for (std::size_t i = 0; i < paragraph.size(); ++i)
        found |= static_cast<unsigned>(text[i] == u'"') * kStraight | static_cast<unsigned>(text[i] == u'-') * kHyphen |
                 static_cast<unsigned>(text[i] == u'\u201C') * kOpening |
                 static_cast<unsigned>(text[i] == u'\uFF0E') * kWidePeriod;
    // Some editions end their sentences with the full-width period ．, which
    // readers draw as a dot on the line: between Han characters it is a 。.
    if (found & kWidePeriod)
        for (std::size_t i = 1; i + 1 < paragraph.size(); ++i)
            if (paragraph[i] == u'\uFF0E' && isHan(paragraph[i - 1]) && isHan(paragraph[i + 1])) paragraph[i] = u'。';
    if ((found & (kStraight | kOpening)) == (kStraight | kOpening)) {
        bool open = false;  // an unclosed “ before this point (none before the first)
        for (char16_t& c : std::span(paragraph).subspan(paragraph.find(u'\u201C'))) {
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

// A rule that gave up on a line was not applied there: said once per rule,
// with the first line, so that a costly pattern is neither silent nor a
// warning per line.
void TidyRun::addFindings(RunFindings& findings) const {
    findings.junkRemoved += junkRemoved_;
    for (const LineMatcher::LimitHit& hit : matcher_.limitHits()) {
        std::string warning = "line " + std::to_string(hit.firstLine) + ": the rule at " + hit.rule->origin +
                              " backtracks too much to finish; it was not applied there";
        if (hit.lines > 1) warning += " nor on " + std::to_string(hit.lines - 1) + " more line" + (hit.lines > 2 ? "s" : "");
        findings.warnings.push_back(std::move(warning) + " (simplify repeats inside repeats, such as (.+)+)");
    }
    findings.junkList = junkList_;
    findings.sequenceMissing = analysis_.numbering.missing;
    findings.sequenceRepeated = analysis_.numbering.repeated;
    findings.sequenceBackwards = analysis_.numbering.backwards;
}

// One piece of junk removed: counted, and listed (each distinct piece once).
void TidyRun::noteJunk(TextView piece) {
    ++junkRemoved_;
    Text text = withoutSpaces(piece);
    const auto known = junkIndex_.find(text);
    if (known != junkIndex_.end()) {
        ++junkList_[known->second].count;
    } else if (junkList_.size() < RunFindings::kMaxListedJunk) {
        junkIndex_.emplace(text, junkList_.size());
        junkList_.push_back({std::move(text), 1});
    }
}

void TidyRun::line(TextView raw) {
    if (!look_) look_.emplace(matcher_);
    matcher_.setLine(static_cast<std::uint64_t>(++lookedAt_));
    look_->line(raw);
}

// The look at a later part of the book, on a thread of its own: its own
// matcher, since a matcher keeps match data.
class TidyRun::LaterLook final : public SourceLook {
public:
    explicit LaterLook(const TidyRules& rules) : matcher_(rules), look_(matcher_) {}
    void leadIn(TextView raw) override { look_.line(raw); }
    void line(TextView raw) override {
        if (!begun_) begin();
        ++lines_;
        look_.line(raw);
    }
    void ended() override {}
    bool mayStillJoin() const override { return look_.mayStillJoin(); }
    BookLook& look() {
        if (!begun_) begin();
        return look_;
    }
    Count lines() const { return lines_; }

private:
    void begin() {
        look_.beginPart();
        begun_ = true;
    }
    LineMatcher matcher_;
    BookLook look_;
    bool begun_ = false;
    Count lines_ = 0;
};

std::unique_ptr<SourceLook> TidyRun::laterLook() { return std::make_unique<LaterLook>(rules_); }

bool TidyRun::takeLater(SourceLook& later) {
    auto* const part = dynamic_cast<LaterLook*>(&later);
    if (!part || !look_ || !look_->append(part->look())) return false;
    lookedAt_ += part->lines();
    return true;
}

void TidyRun::ended() {
    if (look_) analysis_ = look_->finish();
    look_.reset();
    matcher_.forgetLimitHits();  // the run meets them again, and reports them then
}

// What the book's numbering says of the line being taken, if anything.
const BookAnalysis::Line* TidyRun::plannedRole() {
    const auto& lines = analysis_.lines;
    while (nextPlanned_ < lines.size() && lines[nextPlanned_].line < lineIndex_) ++nextPlanned_;
    return nextPlanned_ < lines.size() && lines[nextPlanned_].line == lineIndex_ ? &lines[nextPlanned_] : nullptr;
}

bool TidyRun::isBoilerplate(TextView spaced) {
    if (analysis_.boilerplate.empty() || spaced.size() > 100 || !looksLikeSite(spaced)) return false;
    skeletonOf(spaced, skeleton_);
    return analysis_.boilerplate.count(skeletonKey(skeleton_)) > 0;
}

// Cuts disguised addresses, with the site's words around them, out of the
// line; a line left with nothing but marks, or (after a rule cut an address
// out) nothing but a site's words, is dropped. True when something was cut.
// Site junk, by the rules and by what the first look found: lines the rules
// drop or the book repeats as boilerplate, then disguised addresses, then
// what the cut rules cut.
LineMatcher::Junk TidyRun::removeJunk(bool latinLetters) {
    Count dropped = 0;
    if (matcher_.dropsLine(spaced_, dropped) || (isBoilerplate(spaced_) && !matcher_.userRuleMatches(spaced_))) {
        noteJunk(spaced_);
        return LineMatcher::Junk::Dropped;
    }
    const bool addresses = latinLetters && cutAddresses(spaced_, false);
    if (spaced_.empty()) return LineMatcher::Junk::Dropped;
    cutPieces_.clear();
    const LineMatcher::Junk cut = matcher_.cutJunk(spaced_, dropped, &cutPieces_);
    for (const Text& piece : cutPieces_) noteJunk(piece);
    if (cut == LineMatcher::Junk::Dropped || (cut == LineMatcher::Junk::Cut && cutAddresses(spaced_, true) && spaced_.empty()))
        return LineMatcher::Junk::Dropped;
    return addresses || cut == LineMatcher::Junk::Cut ? LineMatcher::Junk::Cut : LineMatcher::Junk::None;
}

// Cuts disguised addresses, with the site's words around them, out of the
// line; a line left with nothing but marks, or (after a rule cut an address
// out) nothing but a site's words, is dropped. True when something was cut.
bool TidyRun::cutAddresses(Text& spaced, bool cutByRule) {
    std::vector<AddressPiece> pieces = findAddresses(spaced);
    if (pieces.empty() && !cutByRule) return false;
    if (!analysis_.addresses.empty() && !pieces.empty()) {
        for (AddressPiece& piece : pieces) analysis_.addresses.widen(spaced, piece);
        std::vector<AddressPiece> merged;  // (widened pieces may meet)
        for (const AddressPiece& piece : pieces) {
            if (!merged.empty() && piece.begin <= merged.back().end) merged.back().end = std::max(merged.back().end, piece.end);
            else merged.push_back(piece);
        }
        pieces = std::move(merged);
    }
    if (!pieces.empty()) {
        Text kept;
        std::size_t from = 0;
        for (const AddressPiece& piece : pieces) {
            kept.append(spaced, from, piece.begin - from);
            kept.push_back(u' ');
            noteJunk(TextView(spaced).substr(piece.begin, piece.end - piece.begin));
            from = piece.end;
        }
        kept.append(spaced, from);
        spacedLine(kept, spaced);
    }
    skeletonOf(spaced, skeleton_);
    if (!skeleton_.empty() && !onlySiteWords(skeleton_)) return !pieces.empty();
    if (!spaced.empty()) noteJunk(spaced);
    spaced.clear();
    return true;
}

// Where a heading's title ends when the line runs on into the chapter's
// text: after the second half of a two-part title (a couplet, its halves of
// one length), before the words a chapter customarily opens with, at the
// length of the book's other titles, or at a space before the first
// sentence. Returns the title's length to keep.
std::size_t TidyRun::titleEnd(TextView subject, TextView title) const {
    // A short line is all heading, unless a sentence ends inside it (a title
    // may end in ！ or ？, as 惊变！ does, but not in 。).
    TextView inside = title;
    while (!inside.empty() && (isClosingQuote(inside.back()) || inside.back() == u' ')) inside.remove_suffix(1);
    if (!inside.empty() && (inside.back() == u'！' || inside.back() == u'？' || inside.back() == u'!' ||
                            inside.back() == u'?' || inside.back() == u'…'))
        inside.remove_suffix(1);
    if (compactLength(subject) <= kMaxHeadingLength && !hasSentenceEnd(inside) &&
        std::none_of(inside.begin(), inside.end(), [](char16_t c) { return c == u'．' || c == u'.'; }))
        return title.size();
    if (const std::size_t couplet = coupletEnd(title, u' ')) return couplet;
    for (std::size_t at = 2; at < title.size() && at <= kMaxHeadingLength; ++at) {
        if (hasSentenceEnd(title.substr(0, at)) || std::any_of(title.begin(), title.begin() + at, isSentenceMark))
            break;
        if (isOpeningAt(title, at)) return title[at - 1] == u' ' ? at - 1 : at;
    }
    if (const std::size_t length = analysis_.titleLength; length > 0 && compactLength(title) > length) {
        std::size_t at = 0;
        for (std::size_t kept = 0; at < title.size() && kept < length; ++at) kept += title[at] != u' ';
        if (!hasProseMark(title.substr(0, at))) return at;
    }
    const auto firstMark = std::find_if(title.begin(), title.end(), isProseMark);
    const std::size_t before = title.substr(0, static_cast<std::size_t>(firstMark - title.begin())).rfind(u' ');
    if (before != TextView::npos && before > 0) return before;
    return 0;
}

// A line the book's numbering makes a heading: its number and title held as
// a heading, whatever text it runs on into handed on after it.
void TidyRun::headingBySequence(TextView subject, FormLevel level, LineFeed& feed) {
    auto [heading, rest] = formattedHeading(subject);
    const int rank = static_cast<int>(level);  // 1 a chapter, 2 a section
    settleTitle(rank);
    const auto numbered = readNumberedLine(subject);
    const bool bare = !numbered || numbered->titleStart >= subject.size();
    hold({Held::Heading, std::move(heading), HeadingRank::Chapter, rank, bare}, feed);
    if (!rest.empty()) bodyLine(withoutSpaces(rest), feed);
}

// A heading the rules found whose two-part title runs on into the chapter's
// opening words (楔子　张天师祈禳瘟疫　洪太尉误走妖魔话说大宋仁宗天子): the
// words from there on are text.
void TidyRun::cutGluedCouplet(LineClass& found) {
    const std::size_t titleStart = found.text.find(kIdeographicSpace);
    if (titleStart == Text::npos) return;
    const TextView title = TextView(found.text).substr(titleStart + 1);
    const std::size_t end = coupletEnd(title, kIdeographicSpace);
    if (end == 0 || !isOpeningAt(title, end)) return;
    found.remainder.assign(title.substr(end));
    found.text.resize(titleStart + 1 + end);
}

// A line of the book's heading form as a heading: number, title (cut where
// it runs into text), and the text after it.
std::pair<Text, TextView> TidyRun::formattedHeading(TextView subject) const {
    const auto numbered = readNumberedLine(subject);
    const std::size_t formEnd = numbered ? numbered->formEnd : subject.size();
    const std::size_t titleStart = numbered ? numbered->titleStart : subject.size();
    const TextView title = subject.substr(std::min(titleStart, subject.size()));
    const std::size_t keep = titleEnd(subject, title);
    Text heading = headingText(subject.substr(0, formEnd), subject.substr(formEnd, titleStart - formEnd),
                               title.substr(0, keep));
    TextView rest = title.substr(keep);
    while (!rest.empty() && rest.front() == u' ') rest.remove_prefix(1);
    return {std::move(heading), rest};
}

// A quotation left open must not hold the next paragraph: where the source
// shows that one begins -- the book's paragraphs start indented, or after a
// blank line, or a line is a paragraph -- and the text held ended a
// sentence, the held paragraph ends. So does one grown far beyond any
// paragraph's length.
void TidyRun::startParagraphIfShown(TextView raw, LineFeed& feed) {
    if (!lastEndedSentence_ || !held_.empty() || title_ || !feed.holdingParagraph()) return;
    TextView start = raw;
    while (!start.empty() && isAnySpace(start.front())) start.remove_prefix(1);
    if (start.empty() || isClosingMark(start.front())) return;
    const bool shown = analysis_.lineIsParagraph || (analysis_.indentStartsParagraph && startsIndented(raw)) ||
                       (analysis_.blankLineStartsParagraph && blankBefore_) || heldLength_ > kLongestHeld;
    if (!shown) return;
    feed.endParagraph();
    heldLength_ = 0;
}

}  // namespace quenlet::tidy
