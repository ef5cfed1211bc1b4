#include "tidy/tidy_text.h"

#include <algorithm>

namespace quenlet::tidy {
namespace {

constexpr CharSet kSentenceMarks{u'\u3002', u'\uFF0E', u'.', u'\uFF1B', u';', u'\uFF1A', u':'};
constexpr CharSet kDividingMarks{u'\uFF0C', u',', u'\u3001', u'\u2014'};

constexpr CharSet kProseMarks{u'\u3002', u'\uFF0E', u'.',      u'\uFF0C', u',',      u'\uFF1B', u';',      u'\uFF1A',
                              u':',      u'\u3001', u'\uFF01', u'!',      u'\uFF1F', u'?',      u'\u2026', u'"',
                              u'\u201C', u'\u201D', u'\u2018', u'\u2019', u'\u300C', u'\u300D', u'\u300E', u'\u300F'};

constexpr CharSet kTitleSeparators{u'\uFF1A', u':', u'\u00B7', u'\u30FB', u'\u3001', u'.', u'\uFF0E', u'\u2014',
                                   u'-',      u'\uFF0D', u'\u3011', u']',      u'\u3015'};

}  // namespace


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

}  // namespace quenlet::tidy
