#include "tidy/book_look.h"

#include <algorithm>
#include <map>

#include "tidy/tidy_text.h"

namespace quenlet::tidy {
namespace {

// Text after a heading that makes its place in the sequence count fully: a
// chapter has at least a few sentences, an entry of a table of contents none.
constexpr double kChapterText = 200;
constexpr double kLeastWeight = 0.1;

// A sequence needs this many headings, weighing at least this much, and
// spread over this share of the book's lines: a list 一、二、三 inside one
// chapter is neither.
constexpr std::size_t kLeastMembers = 3;
constexpr double kLeastWeightOfSequence = 2.5;
constexpr double kLeastSpread = 0.4;
// Beside the book's main sequence, another form counts only with a good
// share of its weight.
constexpr double kShareOfMain = 0.3;

// A non-member of the form with this little text after it is an entry of a table of contents.
constexpr Count kEntryText = 40;

// A line this short ends where it does on purpose: what follows stands on a line of its own.
constexpr std::size_t kShortLine = 20;

// Lines longer than this are not counted for repetition: boilerplate is short.
constexpr std::size_t kLongestRepeated = 100;

// Boilerplate recurs in at least this share of the chapters, and at least this often.
constexpr double kBoilerplateShare = 0.25;
constexpr Count kLeastRepeats = 3;

std::size_t compactLength(TextView text) {
    return text.size() - static_cast<std::size_t>(std::count(text.begin(), text.end(), u' '));
}

// Marks that end or divide sentences: a title holds none of them.
bool isSentencePunctuation(char16_t c) {
    return c == u'。' || c == u'．' || c == u'.' || c == u'！' || c == u'!' || c == u'？' || c == u'?' || c == u'…' ||
           c == u'；' || c == u';';
}

// (without an early exit, so that the compiler can vectorise it: this runs on every line)
bool hasLatinLetter(TextView text) {
    unsigned found = 0;
    for (const char16_t c : text) {
        const auto folded = static_cast<char16_t>((c | 0x20) - u'a');     // a-z and A-Z
        const auto wideUpper = static_cast<char16_t>(c - u'\uFF21');      // Ａ-Ｚ
        const auto wideLower = static_cast<char16_t>(c - u'\uFF41');      // ａ-ｚ
        found |= static_cast<unsigned>(folded < 26) | static_cast<unsigned>(wideUpper < 26) |
                 static_cast<unsigned>(wideLower < 26);
    }
    return found != 0;
}

bool isIndent(char16_t c) { return c == u' ' || c == u'\u3000' || c == u'\t' || c == u'\u00A0'; }

std::size_t median(std::vector<std::size_t> values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

}  // namespace

void BookLook::line(TextView raw) {
    ++index_;
    const auto first = std::find_if_not(raw.begin(), raw.end(), isAnySpace);
    if (first == raw.end()) {
        blankBefore_ = true;
        return;
    }
    // Most lines are plain prose: no heading can start them and nothing in
    // them looks like a site's, so their length and their ends are all that
    // counts. (Boilerplate stands on lines of its own: a line that goes on
    // with an unfinished sentence is not looked at for it.)
    const bool standsAlone = blankBefore_ || sentenceEndedBefore_ || previousShort_;
    // (a line that does not look like a site's has no Latin letter either: one scan serves both)
    const bool siteLooked = raw.size() <= kLongestRepeated && standsAlone;
    if (!mayBeginNumberedLine(*first) && !matcher_.mayStartLineRule(*first) &&
        (siteLooked ? !looksLikeSite(raw) : !hasLatinLetter(raw))) {
        noteParagraphShape(raw, raw);
        // (its length with its spaces: near enough for weighing a chapter's text)
        addText(static_cast<Count>(raw.size()));
        blankBefore_ = false;
        sentenceEndedBefore_ = previousEnded_;
        previousShort_ = raw.size() <= kShortLine;
        return;
    }
    matcher_.spaceLine(raw, spaced_);
    // (addresses as they stand, before the rules cut the plain ones out)
    if (hasLatinLetter(spaced_))
        for (const AddressPiece& piece : findAddresses(spaced_)) addresses_.see(spaced_, piece);
    if (matcher_.removeJunk(spaced_, junkCounted_) == LineMatcher::Junk::Dropped) return;
    noteParagraphShape(raw, spaced_);
    const TextView subject = matcher_.afterPrefix(spaced_);
    if (const auto numbered = readNumberedLine(subject)) noteCandidate(*numbered, subject);
    else if (isVolumeWordLine(subject) && volumeWords_.size() < kMaxCandidates) volumeWords_.push_back(index_);
    else noteText(spaced_);
    if (spaced_.size() <= kLongestRepeated && looksLikeSite(spaced_)) {
        skeletonOf(spaced_, skeleton_);
        // Only what looks like a site's can be boilerplate: nothing else is counted.
        if (skeleton_.size() >= 2) repeats_.add(skeleton_, spaced_, static_cast<Count>(candidates_.size()));
    }
    blankBefore_ = false;
    sentenceEndedBefore_ = previousEnded_;
    previousShort_ = spaced_.size() <= kShortLine;
}

void BookLook::noteCandidate(const NumberedLine& numbered, TextView subject) {
    if (candidates_.size() >= kMaxCandidates) {
        candidatesFull_ = true;
        noteText(subject);
        return;
    }
    Candidate c{index_, numbered.form, numbered.level, numbered.number};
    c.standsAlone = blankBefore_ || sentenceEndedBefore_ || lastCandidateLine_ == index_ - 1;
    const TextView title = subject.substr(numbered.titleStart);
    const std::size_t length = compactLength(subject);
    c.plain = length <= kMaxHeadingLength && std::none_of(title.begin(), title.end(), isSentencePunctuation);
    // A line that is no heading alone is text to the headings before it, whatever it turns out to be.
    if (!c.plain) addText(static_cast<Count>(length));
    if (length <= kMaxHeadingLength && std::none_of(title.begin(), title.end(), isSentenceMark)) {
        c.titleLength = static_cast<std::uint16_t>(compactLength(title));
        const std::size_t space = title.find(u' ');
        if (space != TextView::npos && title.find(u' ', space + 1) == TextView::npos) {
            const std::size_t second = title.size() - space - 1;
            if (space >= 3 && (second == space || second + 1 == space || second == space + 1))
                c.halfLength = static_cast<std::uint16_t>(space);
        }
    } else {
        c.textAfter = static_cast<Count>(length) - static_cast<Count>(kMaxHeadingLength);
    }
    candidates_.push_back(c);
    lastCandidateLine_ = index_;
    // Its text is its own from here, and its chapter's and volume's too; a
    // heading of its rank or above ends the text of the one before.
    const auto rank = static_cast<std::size_t>(c.level);
    open_[rank] = candidates_.size();
    for (std::size_t below = rank + 1; below < open_.size(); ++below) open_[below] = 0;
    for (std::size_t at = rank; at < inheritedOpen_.size(); ++at) inheritedOpen_[at] = false;
}

void BookLook::noteText(TextView text) { addText(static_cast<Count>(compactLength(text))); }

void BookLook::addText(Count length) {
    for (const std::size_t open : open_)
        if (open != 0) candidates_[open - 1].textAfter += length;
    if (part_)
        for (std::size_t rank = 0; rank < inheritedOpen_.size(); ++rank)
            if (inheritedOpen_[rank]) inheritedText_[rank] += length;
}

BookLook::LineState BookLook::lineState() const {
    return {blankBefore_, sentenceEndedBefore_, previousShort_, previousEnded_, lastCandidateLine_ == index_};
}

void BookLook::beginPart() {
    // What the lead-in leaves the next line stays; all it counted goes.
    partStart_ = lineState();
    lastCandidateLine_ = partStart_.candidateLast ? -1 : kNoLine;  // (the part's lines count from 0)
    index_ = -1;
    junkCounted_ = 0;
    candidates_.clear();
    candidatesFull_ = false;
    open_ = {};
    volumeWords_.clear();
    repeats_ = RepeatCounter(RepeatCounter::KeepFirstLines::Yes);
    addresses_ = AddressCompanions();
    textLines_ = indentedLines_ = afterBlank_ = endingSentence_ = 0;
    indentedAfterEnd_ = plainAfterEnd_ = indentedAfterOpen_ = plainAfterOpen_ = 0;
    part_ = true;
    inheritedOpen_.fill(true);
    inheritedText_ = {};
}

bool BookLook::mayStillJoin() const {
    return !candidatesFull_ && candidates_.size() < kMaxCandidates / 2 && volumeWords_.size() < kMaxCandidates / 2 &&
           repeats_.mayStillJoin() && addresses_.mayStillJoin();
}

bool BookLook::append(BookLook& later) {
    if (part_ || !later.part_ || later.partStart_ != lineState() || candidatesFull_ || later.candidatesFull_ ||
        candidates_.size() + later.candidates_.size() >= kMaxCandidates ||
        volumeWords_.size() + later.volumeWords_.size() >= kMaxCandidates || !repeats_.canTake(later.repeats_) ||
        !addresses_.canTake(later.addresses_))
        return false;
    const Count lines = index_ + 1;  // the later part's first line
    const std::size_t before = candidates_.size();
    for (std::size_t rank = 0; rank < open_.size(); ++rank) {
        if (open_[rank] != 0) candidates_[open_[rank] - 1].textAfter += later.inheritedText_[rank];
        if (later.open_[rank] != 0) open_[rank] = later.open_[rank] + before;
        else if (!later.inheritedOpen_[rank]) open_[rank] = 0;
    }
    for (Candidate c : later.candidates_) {
        c.line += lines;
        candidates_.push_back(c);
    }
    if (later.lastCandidateLine_ != kNoLine) lastCandidateLine_ = later.lastCandidateLine_ + lines;
    for (const Count line : later.volumeWords_) volumeWords_.push_back(line + lines);
    repeats_.append(later.repeats_, static_cast<Count>(before));
    addresses_.append(std::move(later.addresses_));
    junkCounted_ += later.junkCounted_;
    textLines_ += later.textLines_;
    indentedLines_ += later.indentedLines_;
    afterBlank_ += later.afterBlank_;
    endingSentence_ += later.endingSentence_;
    indentedAfterEnd_ += later.indentedAfterEnd_;
    plainAfterEnd_ += later.plainAfterEnd_;
    indentedAfterOpen_ += later.indentedAfterOpen_;
    plainAfterOpen_ += later.plainAfterOpen_;
    blankBefore_ = later.blankBefore_;
    sentenceEndedBefore_ = later.sentenceEndedBefore_;
    previousShort_ = later.previousShort_;
    previousEnded_ = later.previousEnded_;
    index_ += later.index_ + 1;
    return true;
}

void BookLook::noteParagraphShape(TextView raw, TextView text) {
    ++textLines_;
    const bool indented = !raw.empty() && isIndent(raw[0]);
    indentedLines_ += indented;
    afterBlank_ += blankBefore_;
    if (previousEnded_) (indented ? indentedAfterEnd_ : plainAfterEnd_) += 1;
    else (indented ? indentedAfterOpen_ : plainAfterOpen_) += 1;
    previousEnded_ = endsSentence(text);
    endingSentence_ += previousEnded_;
}

BookAnalysis BookLook::finish() {
    BookAnalysis analysis;
    decideHeadings(analysis);
    decideBoilerplate(analysis);
    decideParagraphs(analysis);
    addresses_.decide();
    analysis.addresses = std::move(addresses_);
    return analysis;
}

// The forms of one level whose numbers run through the book, with their
// runs: each run long enough, heavy enough and spread over enough of the
// book, and as heavy as a good share of the heaviest.
std::vector<BookLook::Sequence> BookLook::sequencesOf(FormLevel level, const std::vector<Count>& restarts) const {
    std::map<std::uint32_t, std::vector<std::size_t>> byForm;
    for (std::size_t i = 0; i < candidates_.size(); ++i)
        if (candidates_[i].level == level) byForm[candidates_[i].form.key()].push_back(i);
    std::vector<Sequence> found;
    double heaviest = 0;
    const double lines = static_cast<double>(index_ + 1);
    for (auto& [key, indexes] : byForm) {
        std::vector<NumberedCandidate> numbered;
        numbered.reserve(indexes.size());
        for (const std::size_t i : indexes) {
            const Candidate& c = candidates_[i];
            const double weight = std::clamp(static_cast<double>(c.textAfter) / kChapterText, kLeastWeight, 1.0);
            numbered.push_back({c.line, c.number, weight, c.plain});
        }
        SequenceResult run = longestSequence(numbered, restarts);
        if (run.members.size() < kLeastMembers || run.weight < kLeastWeightOfSequence) continue;
        const Count first = numbered[run.members.front()].line;
        const Count last = numbered[run.members.back()].line;
        if (static_cast<double>(last - first) < kLeastSpread * lines) continue;
        heaviest = std::max(heaviest, run.weight);
        found.push_back({std::move(indexes), std::move(run)});
    }
    std::erase_if(found, [&](const Sequence& form) { return form.run.weight < kShareOfMain * heaviest; });
    return found;
}

// What each line of a sequence's form is: a heading when its number runs on
// the sequence, else an entry of a table of contents, a heading the rules
// for single lines decide, or text. `numbered` gets the headings' lines and
// numbers, `titles` and `halves` the lengths of the titles that stand alone.
void BookLook::placeLines(const Sequence& form, BookAnalysis& analysis, Numbered& numbered, Lengths& titles,
                          Lengths& halves) const {
    std::vector<bool> member(form.candidates.size(), false);
    for (const std::size_t m : form.run.members) member[m] = true;
    // An entry of a table of contents has little text after it, and so has
    // the line before or after it: a list of them.
    const auto lowText = [&](std::size_t at) { return candidates_[form.candidates[at]].textAfter < kEntryText; };
    for (std::size_t k = 0; k < form.candidates.size(); ++k) {
        const Candidate& c = candidates_[form.candidates[k]];
        const bool inList =
            lowText(k) && ((k > 0 && lowText(k - 1)) || (k + 1 < form.candidates.size() && lowText(k + 1)));
        if (member[k]) {
            analysis.lines.push_back({c.line, BookAnalysis::Role::Heading, c.level});
            numbered.emplace_back(c.line, c.number);
            if (c.titleLength > 0) titles.push_back(c.titleLength);
            if (c.halfLength > 0) halves.push_back(c.halfLength);
        } else if (c.plain && inList) {
            analysis.lines.push_back({c.line, BookAnalysis::Role::Entry, c.level});
        } else if (c.plain && c.standsAlone && c.textAfter >= static_cast<Count>(kChapterText)) {
            // A heading by its look, with a chapter's text after it, that the
            // run passes over (a chapter given twice, a step back): the rules
            // for single lines decide, and its number shows in what the
            // numbering is reported to do.
            numbered.emplace_back(c.line, c.number);
        } else {
            // A sentence that starts with the form, a line inside a
            // paragraph, a short line whose number breaks the run: text.
            analysis.lines.push_back({c.line, BookAnalysis::Role::Text, c.level});
        }
    }
}

void BookLook::decideHeadings(BookAnalysis& analysis) {
    if (candidatesFull_) return;  // a source of nothing but numbered lines has no sequence to trust
    std::vector<Count> restarts = volumeWords_;  // where the chapters' numbers may start again
    for (const Candidate& c : candidates_)
        if (c.level == FormLevel::Volume) restarts.push_back(c.line);
    std::sort(restarts.begin(), restarts.end());
    Numbered chapters;
    Lengths titles;
    Lengths halves;
    for (const Sequence& form : sequencesOf(FormLevel::Chapter, restarts))
        placeLines(form, analysis, chapters, titles, halves);
    std::sort(chapters.begin(), chapters.end());
    analysis.numbering = numberingOf(chapters, restarts);
    // Sections (第N节) number afresh in every chapter.
    std::vector<Count> sectionRestarts = restarts;
    for (const auto& [line, number] : chapters) sectionRestarts.push_back(line);
    std::sort(sectionRestarts.begin(), sectionRestarts.end());
    Numbered sections;
    for (const Sequence& form : sequencesOf(FormLevel::Section, sectionRestarts))
        placeLines(form, analysis, sections, titles, halves);
    std::sort(analysis.lines.begin(), analysis.lines.end(),
              [](const BookAnalysis::Line& a, const BookAnalysis::Line& b) { return a.line < b.line; });
    analysis.sequenceHeadings = static_cast<Count>(std::count_if(
        analysis.lines.begin(), analysis.lines.end(),
        [](const BookAnalysis::Line& l) { return l.role == BookAnalysis::Role::Heading; }));
    analysis.titleLength = median(titles);
    if (halves.size() >= kLeastMembers) analysis.halfTitleLength = median(halves);
}

// The notes on the chapters' numbering, each volume numbered on its own.
NumberingNotes BookLook::numberingOf(const Numbered& chapters, const std::vector<Count>& restarts) {
    std::vector<std::int64_t> numbers;
    std::vector<bool> restarted;
    for (std::size_t i = 0; i < chapters.size(); ++i) {
        numbers.push_back(chapters[i].second);
        const auto volume =
            i > 0 ? std::upper_bound(restarts.begin(), restarts.end(), chapters[i - 1].first) : restarts.end();
        restarted.push_back(volume != restarts.end() && *volume < chapters[i].first);
    }
    return notesOnNumbering(numbers, restarted);
}

void BookLook::decideBoilerplate(BookAnalysis& analysis) const {
    const Count chapters = std::max<Count>(analysis.sequenceHeadings, static_cast<Count>(candidates_.size()) / 2);
    if (chapters < kLeastRepeats) return;
    const auto least = [&](double share) {
        return std::max<Count>(kLeastRepeats, static_cast<Count>(share * static_cast<double>(chapters)));
    };
    repeats_.forEach([&](const RepeatCounter::Entry& entry) {
        if (entry.count < kLeastRepeats || entry.chapters < least(kBoilerplateShare) || entry.sample == 0) return;
        const Text& sample = repeats_.sampleOf(entry);
        if (readNumberedLine(sample)) return;  // a heading that recurs is no ad
        analysis.boilerplate.insert(entry.hash);
        analysis.boilerplateSamples.push_back({sample, entry.count});
    });
    std::sort(analysis.boilerplateSamples.begin(), analysis.boilerplateSamples.end(),
              [](const BookAnalysis::Piece& a, const BookAnalysis::Piece& b) {
                  return a.count != b.count ? a.count > b.count : a.text < b.text;
              });
}

void BookLook::decideParagraphs(BookAnalysis& analysis) const {
    if (textLines_ == 0) return;
    const double lines = static_cast<double>(textLines_);
    const double indented = static_cast<double>(indentedLines_);
    // Indents mark paragraphs when lines after a finished sentence are indented
    // and lines that go on with an unfinished one are not.
    const Count afterEnd = indentedAfterEnd_ + plainAfterEnd_;
    const Count afterOpen = indentedAfterOpen_ + plainAfterOpen_;
    analysis.indentStartsParagraph =
        indented > 0.03 * lines && indented < 0.97 * lines && afterEnd > 0 &&
        static_cast<double>(indentedAfterEnd_) >= 0.8 * static_cast<double>(afterEnd) &&
        (afterOpen == 0 || static_cast<double>(plainAfterOpen_) >= 0.5 * static_cast<double>(afterOpen));
    analysis.blankLineStartsParagraph = static_cast<double>(afterBlank_) >= 0.3 * lines;
    analysis.lineIsParagraph = static_cast<double>(endingSentence_) >= 0.75 * lines;
}

}  // namespace quenlet::tidy
