#include "tidy/tidy_text.h"

#include <algorithm>
#include <array>

namespace quenlet::tidy {
namespace {

constexpr CharSet kSentenceMarks{u'\u3002', u'\uFF0E', u'.', u'\uFF1B', u';', u'\uFF1A', u':'};
constexpr CharSet kDividingMarks{u'\uFF0C', u',', u'\u3001', u'\u2014'};

constexpr CharSet kProseMarks{u'\u3002', u'\uFF0E', u'.',      u'\uFF0C', u',',      u'\uFF1B', u';',      u'\uFF1A',
                              u':',      u'\u3001', u'\uFF01', u'!',      u'\uFF1F', u'?',      u'\u2026', u'"',
                              u'\u201C', u'\u201D', u'\u2018', u'\u2019', u'\u300C', u'\u300D', u'\u300E', u'\u300F'};

constexpr CharSet kTitleSeparators{u'\uFF1A', u':', u'\u00B7', u'\u30FB', u'\u3001', u'.', u'\uFF0E', u'\u2014',
                                   u'-',      u'\uFF0D', u'\u3011', u']',      u'\u3015'};

constexpr CharSet kFinalMarks{u'\u3002', u'\uFF0E', u'.', u'\uFF01', u'!', u'\uFF1F', u'?', u'\u2026'};
constexpr CharSet kClosers{u'\u201D', u'\u2019', u'\u300D', u'\u300F', u'\uFF09', u')', u'\u3011', u'"', u'\''};

}  // namespace

// Words a chapter's first sentence customarily opens with: a title glued to
// its text ends before them.
constexpr std::array<std::u16string_view, 30> kOpeningWords = {
    u"话说", u"話說", u"却说", u"卻說", u"且说", u"且說", u"再说", u"再說", u"单说", u"單說",
    u"且表", u"话表", u"話表", u"书接上回", u"書接上回", u"上回", u"看官", u"列位", u"却道", u"卻道",
    u"诗曰", u"詩曰", u"词曰", u"詞曰", u"有诗为证", u"有詩為證", u"做书的", u"做書的", u"且道", u"却表",
};

bool isOpeningAt(TextView title, std::size_t at) {
    return std::any_of(kOpeningWords.begin(), kOpeningWords.end(),
                       [&](TextView word) { return title.substr(at, word.size()) == word; });
}

// Where a two-part title (a couplet: two halves, a space between) ends when
// text runs on after it: before the customary opening words if they follow
// within a character of the second half's end, else after a second half as
// long as the first; 0 when the title is no couplet run into text.
std::size_t coupletEnd(TextView title, char16_t space) {
    const std::size_t half = title.find(space);
    if (half == TextView::npos || half < 3 || half > 12 || hasProseMark(title.substr(0, half))) return 0;
    const std::size_t equal = 2 * half + 1;
    for (const std::size_t at : {equal, equal + 1, equal - 1}) {
        if (at >= title.size()) continue;
        const TextView second = title.substr(half + 1, at - half - 1);
        if (isOpeningAt(title, at) && second.find(space) == TextView::npos && !hasProseMark(second)) return at;
    }
    const TextView second = title.substr(half + 1, half);
    if (second.size() == half && second.find(space) == TextView::npos && !hasProseMark(second) && title.size() > equal)
        return equal;
    return 0;
}

void spacedLine(TextView line, Text& spaced) {
    spaced.resize(line.size());
    std::size_t out = 0;
    bool pendingSpace = false;
    for (const char16_t c : line) {
        if (isAnySpace(c)) {
            pendingSpace = out > 0;
            continue;
        }
        if (pendingSpace) spaced[out++] = u' ';
        pendingSpace = false;
        spaced[out++] = c;
    }
    spaced.resize(out);
}

void withoutSpaces(TextView spaced, Text& out) {
    out.resize(spaced.size());
    std::size_t kept = 0;
    for (const char16_t c : spaced)
        if (c != u' ') out[kept++] = c;
    out.resize(kept);
}

Text withoutSpaces(TextView spaced) {
    Text out;
    withoutSpaces(spaced, out);
    return out;
}

bool removeQuestionMarkRuns(Text& spaced) {
    // Most lines that hold a question mark hold no run of them: a question
    // asked. Those are left as they are without being rewritten.
    bool anyRun = false;
    for (std::size_t i = 0, marks = 0; i < spaced.size() && !anyRun; ++i) {
        if (isQuestionMark(spaced[i])) anyRun = ++marks >= 2;
        else if (spaced[i] != u' ') marks = 0;
    }
    if (!anyRun) return false;
    // In place: `out` trails the reading position; a run's marks are skipped,
    // and the spaces the removal leaves side by side are merged as it goes.
    std::size_t out = 0;
    bool removed = false;
    auto put = [&](char16_t c) {
        if (c == u' ' && (out == 0 || spaced[out - 1] == u' ')) return;
        spaced[out++] = c;
    };
    for (std::size_t i = 0; i < spaced.size();) {
        if (!isQuestionMark(spaced[i])) {
            put(spaced[i++]);
            continue;
        }
        std::size_t end = i;
        std::size_t marks = 0;
        for (std::size_t j = i; j < spaced.size() && (isQuestionMark(spaced[j]) || spaced[j] == u' '); ++j)
            if (isQuestionMark(spaced[j])) {
                ++marks;
                end = j + 1;
            }
        if (marks >= 2) {
            removed = true;
        } else {
            for (std::size_t j = i; j < end; ++j) put(spaced[j]);
        }
        i = end;
    }
    if (out > 0 && spaced[out - 1] == u' ') --out;
    spaced.resize(out);
    return removed;
}

bool isSentenceMark(char16_t c) { return kSentenceMarks.contains(c); }
bool isDividingMark(char16_t c) { return kDividingMarks.contains(c); }
bool isProseMark(char16_t c) { return kProseMarks.contains(c); }
bool hasProseMark(TextView text) { return std::any_of(text.begin(), text.end(), isProseMark); }
bool isTitleSeparator(char16_t c) { return kTitleSeparators.contains(c); }

Text gappedTitle(TextView title) {
    Text out;
    std::size_t lastPart = 0;  // the length of the part before
    for (std::size_t at = 0; at <= title.size();) {
        const std::size_t space = std::min(title.find(u' ', at), title.size());
        const TextView part = title.substr(at, space - at);
        if (!part.empty()) {
            if (!out.empty() && lastPart >= 2 && part.size() >= 2) out.push_back(kIdeographicSpace);
            out.append(part);
            lastPart = part.size();
        }
        at = space + 1;
    }
    return out;
}

Text headingText(TextView number, TextView between, TextView title) {
    Text out = withoutSpaces(number);
    const Text separators = withoutSpaces(between);
    if (title.empty()) return out + separators;
    // (a number that ends in its own separator, 12、, needs no space after it)
    if (separators.empty() && !out.empty() && !isTitleSeparator(out.back()) && out.back() != u'、')
        out.push_back(kIdeographicSpace);
    else out.append(separators);
    return out + gappedTitle(title);
}

bool endsSentence(TextView text) {
    while (!text.empty() && (text.back() == u' ' || kClosers.contains(text.back()))) text.remove_suffix(1);
    return !text.empty() && kFinalMarks.contains(text.back());
}

}  // namespace quenlet::tidy
