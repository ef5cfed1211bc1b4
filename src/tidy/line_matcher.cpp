#include "tidy/line_matcher.h"

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

std::uint64_t bit(std::size_t index) { return std::uint64_t{1} << std::min<std::size_t>(index, 63); }

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
    : needSlots_(0x10000, 0), kinds_(0x10000, kPlain), junkStarts_(anchoredJunkPatterns(rules)),
      lineStartFilter_(lineStartPatterns(rules)) {
    auto masksOf = [this](char16_t c) -> NeedMasks& {
        if (needSlots_[c] == 0) {
            needMasks_.emplace_back();
            needSlots_[c] = static_cast<std::uint16_t>(needMasks_.size());
        }
        return needMasks_[needSlots_[c] - 1];
    };
    for (const Rule& rule : rules.rules()) {
        if (!isJunkRule(rule.kind)) {
            lineStart_.push_back({&rule.pattern, rule.kind});
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
    for (std::size_t i = 0; i < kinds_.size(); ++i) {
        const auto c = static_cast<char16_t>(i);
        if (isAnySpace(c)) kinds_[i] = kSpace;
        else if (needSlots_[i] != 0 || isQuestionMark(c)) kinds_[i] = kNoteworthy;
    }
}

LineMatcher::Shape LineMatcher::spaceLine(TextView raw, Text& spaced) {
    // spacedLine() and the search for needed characters in one pass, with one
    // look-up per character: this runs on every line of the source, whose
    // characters are mostly plain, so runs of them are found and copied whole.
    spaced.resize(raw.size());
    char16_t* const begin = spaced.data();
    char16_t* out = begin;
    const char16_t* in = raw.data();
    const char16_t* const end = in + raw.size();
    Shape shape;
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    while (in < end && kinds_[*in] == kSpace) ++in;
    while (in < end) {
        const char16_t* const plain = in;
        while (in < end && kinds_[*in] == kPlain) ++in;
        out = std::copy(plain, in, out);
        if (in == end) break;
        const char16_t c = *in++;
        if (kinds_[c] == kSpace) {
            while (in < end && kinds_[*in] == kSpace) ++in;
            if (in == end) break;
            *out++ = u' ';
            shape.innerSpaces = true;
            continue;
        }
        *out++ = c;  // noteworthy
        shape.questionMarks |= isQuestionMark(c);
        if (const std::uint16_t slot = needSlots_[c]) {
            first |= needMasks_[slot - 1].first;
            second |= needMasks_[slot - 1].second;
        }
    }
    spaced.resize(static_cast<std::size_t>(out - begin));
    candidates_ = (first & second) | unguarded_;
    return shape;
}

LineMatcher::Junk LineMatcher::removeJunk(Text& spaced, Count& removed) {
    std::uint64_t candidates = candidates_;
    if ((candidates & anchoredJunk_) != 0 && !spaced.empty()) {
        // Of the rules tied to the line's start, only those its first character can begin.
        const std::uint64_t starts = junkStarts_.mask(spaced[0], data_);
        for (std::size_t i = 0; i < anchoredJunkIndex_.size(); ++i)
            if (anchoredJunkIndex_[i] < 63 && !StartFilter::selected(starts, i))
                candidates &= ~bit(anchoredJunkIndex_[i]);
    }
    if (candidates == 0 || spaced.empty()) return Junk::None;

    Match match;
    for (std::size_t i = 0; i < junk_.size(); ++i) {
        if (junk_[i]->kind != RuleKind::DropLine || !StartFilter::selected(candidates, i)) continue;
        if (junk_[i]->pattern.find(spaced, 0, data_, match)) {
            ++removed;
            return Junk::Dropped;
        }
    }
    Junk outcome = Junk::None;
    for (std::size_t i = 0; i < junk_.size(); ++i) {
        if (junk_[i]->kind != RuleKind::Cut || !StartFilter::selected(candidates, i)) continue;
        scratch_.clear();
        std::size_t kept = 0;  // spaced[kept..] is not yet copied
        bool cut = false;
        for (std::size_t from = 0; from <= spaced.size() && junk_[i]->pattern.find(spaced, from, data_, match);) {
            if (match.end > match.begin) {
                scratch_.append(spaced, kept, match.begin - kept);
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
    if (lineStartFilter_.mask(spaced[0], data_) != 0) return true;
    const std::size_t space = spaced.substr(0, kMaxLeadingWord + 1).find(u' ');
    return space != TextView::npos && space + 1 < spaced.size() && lineStartFilter_.mask(spaced[space + 1], data_) != 0;
}

LineClass LineMatcher::classify(TextView spaced, bool atParagraphStart) {
    LineClass found;
    const std::uint64_t mask = spaced.empty() ? 0 : lineStartFilter_.mask(spaced[0], data_);
    if (mask != 0) {
        Match match;
        for (std::size_t i = 0; i < lineStart_.size(); ++i) {
            if (lineStart_[i].kind != RuleKind::Toc || !StartFilter::selected(mask, i)) continue;
            if (lineStart_[i].pattern->find(spaced, 0, data_, match)) {
                found.kind = LineClass::TocHead;
                found.text = withoutSpaces(spaced);
                return found;
            }
        }
        for (std::size_t i = 0; i < lineStart_.size(); ++i) {
            if (lineStart_[i].kind != RuleKind::Prefix || !StartFilter::selected(mask, i)) continue;
            if (!lineStart_[i].pattern->find(spaced, 0, data_, match) || match.end == 0) continue;
            const TextView rest = trimmedSpaces(spaced.substr(match.end));
            if (rest.empty()) continue;
            if (headingAt(rest, atParagraphStart, found)) {
                found.prefixesRemoved = 1;
                return found;
            }
            // Sites put their prefixes before headings only: after one, a short
            // line without punctuation is a heading too (正文 考城隍).
            if (lengthWithoutSpaces(rest) <= kMaxHeadingLength && !hasProseMark(rest)) {
                found = {};
                found.kind = LineClass::Heading;
                found.text = withoutSpaces(rest);
                found.prefixesRemoved = 1;
                return found;
            }
        }
        if (headingAt(spaced, atParagraphStart, found, mask)) return found;
    }
    // A short word before a heading stays with it, as a volume does (书名 第一回).
    const std::size_t space = spaced.find(u' ');
    if (space != TextView::npos && space <= kMaxLeadingWord && !hasProseMark(spaced.substr(0, space))) {
        const TextView rest = spaced.substr(space + 1);
        if (!rest.empty() && lineStartFilter_.mask(rest[0], data_) != 0 && headingAt(rest, atParagraphStart, found) &&
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
        if (!rule.pattern->find(subject, 0, data_, match) || match.end == 0) continue;
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
        if (titleFits(number, title, separated, atParagraphStart)) {
            found.text = withoutSpaces(subject);
            return true;
        }
        if (!separated) continue;
        // The heading's words run on into the chapter's first sentence.
        for (std::size_t cut = title.rfind(u' '); cut != TextView::npos && cut > 0; cut = title.rfind(u' ', cut - 1)) {
            const TextView head = title.substr(0, cut);
            const TextView rest = title.substr(cut + 1);
            if (hasProseMark(rest) && titleFits(number, head, true, atParagraphStart)) {
                found.text = withoutSpaces(subject.substr(0, titleStart + cut));
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

}  // namespace quenlet::tidy
