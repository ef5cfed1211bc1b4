#include "tidy/line_matcher.h"


#include "text/encoding.h"
#include "text/utf16.h"
#include "tidy/tidy_text.h"

namespace quenlet::tidy {
namespace {

std::vector<const Pattern*> lineStartPatterns(const TidyRules& rules) {
    std::vector<const Pattern*> out;
    for (const Rule& rule : rules.rules())
        if (!isJunkRule(rule.kind)) out.push_back(&rule.pattern);
    return out;
}

std::vector<const Pattern*> anchoredJunkPatterns(const TidyRules& rules) {
    std::vector<const Pattern*> out;
    for (const Rule& rule : rules.rules())
        if (isJunkRule(rule.kind) && rule.pattern.anchoredAtStart()) out.push_back(&rule.pattern);
    return out;
}

TextView trimmedSpaces(TextView text) {
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
    return text;
}

std::size_t lengthWithoutSpaces(TextView text) {
    return text.size() - static_cast<std::size_t>(std::count(text.begin(), text.end(), u' '));
}

// At most this long, a word before a heading on its line belongs to it.
constexpr std::size_t kMaxLeadingWord = 8;

// Letters of the Latin alphabet, half- or full-width: the stuff of web addresses.
bool isLatinLetter(char16_t c) {
    if (c >= u'\uFF21' && c <= u'\uFF5A') c = static_cast<char16_t>(c - 0xFEE0);
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

std::uint64_t bit(std::size_t index) { return std::uint64_t{1} << std::min<std::size_t>(index, 63); }

// What a run of escape units stands as for the rules.
constexpr char16_t kMaskedEscapes = u'\uFFFD';

// Whether text[at] is the escape unit of an undecodable byte: in the range
// of escape units, and not the second half of a surrogate pair.
bool isEscapeAt(TextView text, std::size_t at) {
    return isEscapeUnit(text[at]) && (at == 0 || !isHighSurrogate(text[at - 1]));
}

}  // namespace

StartFilter::StartFilter(std::vector<const Pattern*> patterns)
    : patterns_(std::move(patterns)), slots_(0x10000, patterns_.empty() ? kNone : kUnknown) {}

std::uint64_t StartFilter::learn(char16_t c, MatchData& data) {
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < patterns_.size(); ++i)
        if (patterns_[i]->canStartWith(c, data)) mask |= bit(i);
    if (mask == 0) {
        slots_[c] = kNone;
    } else {
        masks_.push_back(mask);
        slots_[c] = static_cast<std::uint16_t>(masks_.size() - 1 + kFirstMask);
    }
    return mask;
}

LineMatcher::LineMatcher(const TidyRules& rules)
    : needSlots_(0x10000, kPlainSlot), needMasks_(2), junkStarts_(anchoredJunkPatterns(rules)),
      lineStartFilter_(lineStartPatterns(rules)) {
    needMasks_[kSpaceSlot].shape = kSpaceChar;
    auto masksOf = [this](char16_t c) -> NeedMasks& {
        if (needSlots_[c] == kPlainSlot) {
            needSlots_[c] = static_cast<std::uint16_t>(needMasks_.size());
            needMasks_.emplace_back();
        }
        return needMasks_[needSlots_[c]];
    };
    for (const Rule& rule : rules.rules()) {
        if (!isJunkRule(rule.kind)) {
            lineStart_.push_back({&rule, &rule.pattern, rule.kind});
            userLineStartRules_ |= !rule.builtIn && rule.kind != RuleKind::Prefix;
            continue;
        }
        const std::size_t index = junk_.size();
        junk_.push_back(&rule);
        if (rule.pattern.anchoredAtStart()) {
            anchoredJunkIndex_.push_back(index);
            anchoredJunk_ |= bit(index);
        }
        if (!rule.needs || index >= 63) {
            unguarded_ |= bit(index);
            continue;
        }
        for (const char16_t c : rule.needs->first) masksOf(c).first |= bit(index);
        for (const char16_t c : rule.needs->second) masksOf(c).second |= bit(index);
    }
    // Every noteworthy character gets masks of its own, with what it tells
    // of the line's shape: spaceLine then looks each one up once. An escape
    // unit needs what the rules see in its place.
    // Spaces share one entry: no rule is told of them.
    const NeedMasks escapeMasks = needMasks_[needSlots_[kMaskedEscapes]];
    for (std::size_t i = 0; i < needSlots_.size(); ++i) {
        const auto c = static_cast<char16_t>(i);
        if (isAnySpace(c)) {
            needSlots_[i] = kSpaceSlot;
            continue;
        }
        const auto shape = static_cast<std::uint8_t>((isQuestionMark(c) ? kQuestionMark : 0) |
                                                     (isLatinLetter(c) ? kLatinLetter : 0) |
                                                     (isEscapeUnit(c) ? kEscapeUnit : 0));
        if (needSlots_[i] == kPlainSlot && shape == 0) continue;
        NeedMasks& masks = masksOf(c);
        masks.shape = shape;
        if (shape & kEscapeUnit) {
            masks.first |= escapeMasks.first;
            masks.second |= escapeMasks.second;
        }
    }
}

LineMatcher::Shape LineMatcher::spaceLine(TextView raw, Text& spaced) {
    // spacedLine() and the search for needed characters in one pass, without
    // a branch per character: this runs on every line of the source, where
    // punctuation every few characters would mispredict a branch each time.
    // Every character is written; a space only when the one before was none,
    // and the last one is taken back when the line ends in spaces.
    spaced.resize(raw.size());
    char16_t* const out = spaced.data();
    const char16_t* in = raw.data();
    const char16_t* const end = in + raw.size();
    const std::uint16_t* const slots = needSlots_.data();
    const NeedMasks* const masks = needMasks_.data();
    while (in < end && slots[*in] == kSpaceSlot) ++in;
    std::size_t written = 0;
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    unsigned shapeBits = 0;
    bool afterSpace = false;
    bool innerSpaces = false;
    for (; in < end; ++in) {
        const char16_t c = *in;
        const NeedMasks& m = masks[slots[c]];
        const bool space = (m.shape & kSpaceChar) != 0;
        out[written] = space ? u' ' : c;
        written += static_cast<std::size_t>(!(space && afterSpace));
        innerSpaces |= afterSpace && !space;
        afterSpace = space;
        first |= m.first;
        second |= m.second;
        shapeBits |= m.shape;
    }
    if (afterSpace) --written;  // (the line cannot start with one: those were passed over)
    spaced.resize(written);
    Shape shape;
    shape.questionMarks = (shapeBits & kQuestionMark) != 0;
    shape.latinLetters = (shapeBits & kLatinLetter) != 0;
    shape.escapes = (shapeBits & kEscapeUnit) != 0;
    shape.innerSpaces = innerSpaces;
    candidates_ = (first & second) | unguarded_;
    lineHasEscapes_ = shape.escapes;
    return shape;
}

LineMatcher::Junk LineMatcher::removeJunk(Text& spaced, Count& removed) {
    if (dropsLine(spaced, removed)) return Junk::Dropped;
    return cutJunk(spaced, removed);
}

bool LineMatcher::dropsLine(TextView spaced, Count& removed) {
    std::uint64_t candidates = candidates_;
    if ((candidates & anchoredJunk_) != 0 && !spaced.empty()) {
        // Of the rules tied to the line's start, only those its first character can begin.
        const std::uint64_t starts = junkStarts_.mask(firstUnit(spaced), data_);
        for (std::size_t i = 0; i < anchoredJunkIndex_.size(); ++i)
            if (anchoredJunkIndex_[i] < 63 && !StartFilter::selected(starts, i))
                candidates &= ~bit(anchoredJunkIndex_[i]);
    }
    lineCandidates_ = spaced.empty() ? 0 : candidates;
    if (lineCandidates_ == 0) return false;
    Match match;
    for (std::size_t i = 0; i < junk_.size(); ++i) {
        if (junk_[i]->kind != RuleKind::DropLine || !StartFilter::selected(lineCandidates_, i)) continue;
        if (find(*junk_[i], spaced, 0, match)) {
            ++removed;
            return true;
        }
    }
    return false;
}

LineMatcher::Junk LineMatcher::cutJunk(Text& spaced, Count& removed, std::vector<Text>* pieces) {
    if (lineCandidates_ == 0 || spaced.empty()) return Junk::None;
    Match match;
    Junk outcome = Junk::None;
    for (std::size_t i = 0; i < junk_.size(); ++i) {
        if (junk_[i]->kind != RuleKind::Cut || !StartFilter::selected(lineCandidates_, i)) continue;
        scratch_.clear();
        std::size_t kept = 0;  // spaced[kept..] is not yet copied
        bool cut = false;
        for (std::size_t from = 0; from <= spaced.size() && find(*junk_[i], spaced, from, match);) {
            if (match.end > match.begin) {
                scratch_.append(spaced, kept, match.begin - kept);
                if (pieces) pieces->emplace_back(spaced, match.begin, match.end - match.begin);
                kept = match.end;
                cut = true;
                ++removed;
            }
            from = std::max(match.end, match.begin + 1);
        }
        if (!cut) continue;
        scratch_.append(spaced, kept);
        spacedLine(scratch_, spaced);
        if (spaced.empty()) return Junk::Dropped;
        outcome = Junk::Cut;
    }
    return outcome;
}

bool LineMatcher::mayBeHeading(TextView spaced) {
    if (spaced.empty()) return false;
    if (lineStartFilter_.mask(firstUnit(spaced), data_) != 0) return true;
    const std::size_t space = spaced.substr(0, kMaxLeadingWord + 1).find(u' ');
    return space != TextView::npos && space + 1 < spaced.size() &&
           lineStartFilter_.mask(firstUnit(spaced.substr(space + 1)), data_) != 0;
}

bool LineMatcher::userRuleMatches(TextView spaced) {
    if (!userLineStartRules_ || spaced.empty()) return false;
    const std::uint64_t mask = lineStartFilter_.mask(firstUnit(spaced), data_);
    Match match;
    for (std::size_t i = 0; i < lineStart_.size(); ++i) {
        const LineStartRule& rule = lineStart_[i];
        if (rule.rule->builtIn || rule.kind == RuleKind::Prefix || !StartFilter::selected(mask, i)) continue;
        if (find(*rule.rule, spaced, 0, match) && match.end > 0) return true;
    }
    return false;
}

TextView LineMatcher::afterPrefix(TextView spaced) {
    const std::uint64_t mask = spaced.empty() ? 0 : lineStartFilter_.mask(firstUnit(spaced), data_);
    if (mask == 0) return spaced;
    Match match;
    for (std::size_t i = 0; i < lineStart_.size(); ++i) {
        if (lineStart_[i].kind != RuleKind::Prefix || !StartFilter::selected(mask, i)) continue;
        if (!find(*lineStart_[i].rule, spaced, 0, match) || match.end == 0) continue;
        const TextView rest = trimmedSpaces(spaced.substr(match.end));
        if (!rest.empty()) return rest;
    }
    return spaced;
}

LineClass LineMatcher::classify(TextView spaced, bool atParagraphStart) {
    LineClass found;
    const std::uint64_t mask = spaced.empty() ? 0 : lineStartFilter_.mask(firstUnit(spaced), data_);
    if (mask != 0) {
        Match match;
        for (std::size_t i = 0; i < lineStart_.size(); ++i) {
            if (lineStart_[i].kind != RuleKind::Toc || !StartFilter::selected(mask, i)) continue;
            if (find(*lineStart_[i].rule, spaced, 0, match)) {
                found.kind = LineClass::TocHead;
                found.text = withoutSpaces(spaced);
                return found;
            }
        }
        for (std::size_t i = 0; i < lineStart_.size(); ++i) {
            if (lineStart_[i].kind != RuleKind::Prefix || !StartFilter::selected(mask, i)) continue;
            if (!find(*lineStart_[i].rule, spaced, 0, match) || match.end == 0) continue;
            const TextView rest = trimmedSpaces(spaced.substr(match.end));
            if (rest.empty()) continue;
            if (headingAt(rest, atParagraphStart, found)) {
                found.prefixesRemoved = 1;
                found.prefix = withoutSpaces(spaced.substr(0, match.end));
                return found;
            }
            // Sites put their prefixes before headings only: after one, a short
            // line without punctuation is a heading too (正文 考城隍).
            if (lengthWithoutSpaces(rest) <= kMaxHeadingLength && !hasProseMark(rest)) {
                found = {};
                found.kind = LineClass::Heading;
                found.text = gappedTitle(rest);
                found.prefixesRemoved = 1;
                found.prefix = withoutSpaces(spaced.substr(0, match.end));
                return found;
            }
        }
        if (headingAt(spaced, atParagraphStart, found, mask)) return found;
    }
    // A short word before a heading stays with it, as a volume does (书名 第一回).
    const std::size_t space = spaced.find(u' ');
    if (space != TextView::npos && space <= kMaxLeadingWord && !hasProseMark(spaced.substr(0, space))) {
        const TextView rest = spaced.substr(space + 1);
        if (!rest.empty() && lineStartFilter_.mask(firstUnit(rest), data_) != 0 && headingAt(rest, atParagraphStart, found) &&
            found.remainder.empty()) {
            found.text = withoutSpaces(spaced.substr(0, space)) + found.text;
            found.bare = false;
            return found;
        }
    }
    return {};  // body text
}

// Whether the subject starts with a heading: a heading rule's match (the
// number or keyword), then the title -- or, when what follows is prose set off
// by a space, the heading's own words up to it, the rest being body text.
bool LineMatcher::headingAt(TextView subject, bool atParagraphStart, LineClass& found, std::uint64_t mask) {
    Match match;
    for (std::size_t i = 0; i < lineStart_.size(); ++i) {
        const LineStartRule& rule = lineStart_[i];
        if (rule.kind != RuleKind::Heading && rule.kind != RuleKind::Section && rule.kind != RuleKind::Volume) continue;
        if (!StartFilter::selected(mask, i)) continue;
        if (!find(*rule.rule, subject, 0, match) || match.end == 0) continue;
        const TextView number = subject.substr(0, match.end);
        std::size_t titleStart = match.end;
        while (titleStart < subject.size() && (subject[titleStart] == u' ' || isTitleSeparator(subject[titleStart])))
            ++titleStart;
        const bool separated = titleStart > match.end;
        const TextView title = subject.substr(titleStart);
        found.kind = LineClass::Heading;
        found.rank = rule.kind == RuleKind::Volume ? HeadingRank::Volume : HeadingRank::Chapter;
        found.level = rule.kind == RuleKind::Volume ? 0 : rule.kind == RuleKind::Heading ? 1 : 2;
        if (title.empty()) {
            if (lengthWithoutSpaces(number) > kMaxHeadingLength) continue;
            found.text = withoutSpaces(subject);
            found.bare = true;
            return true;
        }
        const TextView between = subject.substr(match.end, titleStart - match.end);
        if (titleFits(number, title, separated, atParagraphStart)) {
            found.text = headingText(number, between, title);
            return true;
        }
        if (!separated) continue;
        // A two-part title run on into the chapter's opening words.
        if (const std::size_t end = coupletEnd(title, u' '); end > 0 && isOpeningAt(title, end)) {
            found.text = headingText(number, between, title.substr(0, end));
            found.remainder = withoutSpaces(title.substr(end));
            return true;
        }
        // The heading's words run on into the chapter's first sentence.
        for (std::size_t cut = title.rfind(u' '); cut != TextView::npos && cut > 0; cut = title.rfind(u' ', cut - 1)) {
            const TextView head = title.substr(0, cut);
            const TextView rest = title.substr(cut + 1);
            if (hasProseMark(rest) && titleFits(number, head, true, atParagraphStart)) {
                found.text = headingText(number, between, head);
                found.remainder = withoutSpaces(rest);
                return true;
            }
        }
    }
    return false;
}

// A title is short, holds no sentence punctuation (。；：) and does not end
// in the middle of one (，、—); one glued to its number (no space or
// separator between) holds no punctuation at all and stands where a
// paragraph may start.
bool LineMatcher::titleFits(TextView number, TextView title, bool separated, bool atParagraphStart) const {
    if (lengthWithoutSpaces(number) + lengthWithoutSpaces(title) > kMaxHeadingLength) return false;
    if (std::any_of(title.begin(), title.end(), isSentenceMark) || isDividingMark(title.back())) return false;
    return separated || (atParagraphStart && !hasProseMark(title));
}

char16_t LineMatcher::firstUnit(TextView subject) const {
    return lineHasEscapes_ && isEscapeAt(subject, 0) ? kMaskedEscapes : subject[0];
}

bool LineMatcher::find(const Rule& rule, TextView subject, std::size_t from, Match& match) {
    const bool found =
        lineHasEscapes_ ? findMasked(rule.pattern, subject, from, match) : rule.pattern.find(subject, from, data_, match);
    if (data_.takeLimitHit()) noteLimitHit(rule);
    return found;
}

// The pattern on the subject with each run of escape units replaced by one
// U+FFFD, the match mapped back: it begins and ends where a run does, or
// outside any.
bool LineMatcher::findMasked(const Pattern& pattern, TextView subject, std::size_t from, Match& match) {
    masked_.clear();
    starts_.clear();
    for (std::size_t i = 0; i < subject.size(); ++i) {
        if (!isEscapeAt(subject, i)) {
            masked_.push_back(subject[i]);
            starts_.push_back(i);
        } else if (i == 0 || !isEscapeAt(subject, i - 1)) {
            masked_.push_back(kMaskedEscapes);
            starts_.push_back(i);
        }
    }
    starts_.push_back(subject.size());
    // A search from inside a run starts after it.
    const auto maskedFrom = static_cast<std::size_t>(std::lower_bound(starts_.begin(), starts_.end(), from) - starts_.begin());
    if (!pattern.find(masked_, maskedFrom, data_, match)) return false;
    match.begin = starts_[match.begin];
    match.end = starts_[match.end];
    return true;
}

void LineMatcher::noteLimitHit(const Rule& rule) {
    for (std::size_t i = 0; i < limitHits_.size(); ++i) {
        if (limitHits_[i].rule != &rule) continue;
        if (lastHitLine_[i] != line_) ++limitHits_[i].lines;
        lastHitLine_[i] = line_;
        return;
    }
    limitHits_.push_back({&rule, line_, 1});
    lastHitLine_.push_back(line_);
}

}  // namespace quenlet::tidy
