#include "reference_stages.h"

namespace quenlet::reference {
namespace {

bool in(std::u16string_view set, char16_t c) { return set.find(c) != std::u16string_view::npos; }

constexpr std::u16string_view kRunMarks = u"\u3002.,\u3001";
constexpr std::u16string_view kSentenceEndMarks = u"\u3002!\uFF01\u2026?\uFF1F";
constexpr std::u16string_view kOpeningGuardSet = u"\u201D\"\u3002\uFF01.\u300D]\u300F\uFF3D!";
constexpr std::u16string_view kClosingGuardSet = u"\u3002?\u2026.!\uFF01\uFF1F\u00B7";
constexpr std::u16string_view kFollowingCloserSet = u"\u3002!\uFF01\u201D\")\u300D\u2026\uFF09\uFF3D]\u300F\u2019'";
constexpr std::u16string_view kHeadingUnitSet = u"\u7AE0\u56DE\u7BC7\u8BDD\u5173\u8282\u90E8\u8F91\u96C6\u8BFE";

Text left(const Text& t, std::size_t k) { return t.substr(0, std::min(k, t.size())); }
Text from(const Text& t, std::size_t p) { return p - 1 >= t.size() ? Text() : t.substr(p - 1); }

}  // namespace

void dotRuns(DocumentState& s) {
    std::size_t j = 1;
    while (j <= s.Line.size()) {
        if (in(kRunMarks, s.Line[j - 1])) {
            ++s.DotRun;
            ++j;
        } else if (s.DotRun > 1 && static_cast<Count>(j) > s.DotRun) {
            s.Line = left(s.Line, j - static_cast<std::size_t>(s.DotRun) - 1) + u"\u2026\u2026" + from(s.Line, j);
            trimSpacesInPlace(s.Line);
            s.DotRun = 0;
            j = 1;
        } else {
            s.DotRun = 0;
            ++j;
        }
    }
}

void TH0(DocumentState& s) {
    for (bool again = true; again;) {
        again = false;
        const std::size_t n = s.Line.size();
        for (std::size_t i = 1; i <= n; ++i) {
            if (s.Line.compare(i - 1, s.CorrectionFind.size(), s.CorrectionFind) == 0 &&
                i - 1 + s.CorrectionFind.size() <= n) {
                s.Line = left(s.Line, i - 1) + s.CorrectionReplace + from(s.Line, i + s.CorrectionFind.size());
                again = true;
                break;
            }
        }
    }
    trimSpacesInPlace(s.Line);
}

void TH(DocumentState& s, const TypesetOptions& options) {
    const Text& f = options.FindText;
    const Text& r = options.ReplaceText;
    const std::size_t l0 = s.Line.size();
    std::size_t k = 1;
    while (k <= l0) {
        if (k - 1 + f.size() <= s.Line.size() && s.Line.compare(k - 1, f.size(), f) == 0) {
            s.Line = left(s.Line, k - 1) + r + from(s.Line, k + f.size());
            if (r.compare(0, f.size(), f) == 0 && r.size() >= f.size()) k += r.size();
        } else {
            ++k;
        }
    }
    trimSpacesInPlace(s.Line);
}

void DJ(DocumentState& s) {
    auto store = [&s](const Text& text) {
        if (s.Segments.size() <= static_cast<std::size_t>(s.SegmentIndex)) s.Segments.resize(s.SegmentIndex + 1);
        s.Segments[s.SegmentIndex] = text;
    };
    s.LineCopy = s.Line;
    s.StarRun = s.DashRun = s.EqualsRun = 0;
    s.SegmentIndex = 0;
    for (;;) {
        s.InSquareBracket = s.InCornerBracket = s.InDoubleQuote = s.InSingleQuote = 0;
        s.InAsciiDoubleQuote = s.InAsciiSingleQuote = 0;
        s.OrdinalPrefix = !s.LineCopy.empty() && s.LineCopy[0] == u'\u7B2C';
        if (s.LineCopy.empty()) {
            store(Text());
            s.Line.clear();
            return;
        }
        for (s.ScanPos = 1;; ++s.ScanPos) {
            const auto pos = static_cast<std::size_t>(s.ScanPos);
            const Text& lc = s.LineCopy;
            if (pos >= lc.size()) {
                store(trimSpaces(lc));
                return;
            }
            const char16_t c = lc[pos - 1];
            s.ScanChar.assign(1, c);
            if (c == u'(' || c == u'\uFF08') s.InParenthesis = 1;
            if (c == u')' || c == u'\uFF09') s.InParenthesis = 0;
            bool acted = false;
            auto run = [&](std::u16string_view members, Count& counter) {
                if (acted) return;
                if (in(members, c)) {
                    ++counter;
                } else if (counter > 3 && s.InParenthesis == 0) {
                    s.LineCopy = trimSpaces(from(lc, pos));
                    counter = 0;
                    acted = true;
                } else {
                    counter = 0;
                }
            };
            run(u"*\uFF0A", s.StarRun);
            run(u"\uFF0D\u2014-", s.DashRun);
            run(u"=\uFF1D", s.EqualsRun);
            if (acted) break;
            const bool allowed = pos > 1 && s.InParenthesis == 0;
            const char16_t prev = pos > 1 ? lc[pos - 2] : 0;
            auto cutBefore = [&] {
                store(left(lc, pos - 1));
                s.LineCopy = trimSpaces(from(lc, pos));
                ++s.SegmentIndex;
                acted = true;
            };
            auto cutAfter = [&] {
                store(left(lc, pos));
                s.LineCopy = trimSpaces(from(lc, pos + 1));
                ++s.SegmentIndex;
                acted = true;
            };
            if (in(kHeadingUnitSet, c) && s.ScanPos < 7 && s.OrdinalPrefix == 1 && s.InParenthesis == 0) {
                store(Text());
                ++s.SegmentIndex;
                store(Text());
                ++s.SegmentIndex;
                store(left(lc, pos));
                s.LineCopy = trimSpaces(from(lc, pos + 1));
                ++s.SegmentIndex;
                store(Text());
                ++s.SegmentIndex;
                break;
            }
            if (c == u'[' || c == u'\uFF3B') {
                s.InSquareBracket = 1;
                if (allowed && in(kOpeningGuardSet, prev)) cutBefore();
            } else if (c == u']' || c == u'\uFF3D') {
                s.InSquareBracket = 0;
                if (allowed && in(kClosingGuardSet, prev)) cutAfter();
            } else if (c == u'\u300C' || c == u'\u300E') {
                s.InCornerBracket = 1;
                if (allowed && in(kOpeningGuardSet, prev)) cutBefore();
            } else if (c == u'\u300D' || c == u'\u300F') {
                s.InCornerBracket = 0;
                if (allowed && in(kClosingGuardSet, prev)) cutAfter();
            } else if (c == u'\u201C') {
                s.InDoubleQuote = 1;
                if (allowed && in(kOpeningGuardSet, prev)) cutBefore();
            } else if (c == u'\u201D') {
                s.InDoubleQuote = 0;
                if (allowed && in(kClosingGuardSet, prev)) cutAfter();
            } else if (c == u'\u2018') {
                s.InSingleQuote = 1;
                if (allowed && prev == u'\u2019') cutBefore();
            } else if (c == u'\u2019') {
                s.InSingleQuote = 0;
                if (!s.InDoubleQuote && !s.InSquareBracket && !s.InCornerBracket && allowed &&
                    in(kClosingGuardSet, prev))
                    cutAfter();
            } else if (c == u'"') {
                if (s.InAsciiDoubleQuote == 0) {
                    s.InAsciiDoubleQuote = 1;
                    if (allowed && (prev == u'"' || in(kClosingGuardSet, prev))) cutBefore();
                } else {
                    s.InAsciiDoubleQuote = 0;
                    if (allowed && in(kClosingGuardSet, prev)) cutAfter();
                }
            } else if (c == u'\'') {
                if (s.InAsciiSingleQuote == 0) {
                    s.InAsciiSingleQuote = 1;
                } else {
                    s.InAsciiSingleQuote = 0;
                    if (!s.InAsciiDoubleQuote && allowed && (prev == u'\'' || in(kClosingGuardSet, prev))) cutAfter();
                }
            }
            if (acted) break;
            if (in(kSentenceEndMarks, c) && !s.InCornerBracket && !s.InDoubleQuote && !s.InSingleQuote &&
                !s.InAsciiDoubleQuote && !s.InSquareBracket && !s.InParenthesis) {
                const char16_t next = lc[pos];
                if (!in(kFollowingCloserSet, next)) {
                    cutAfter();
                    if (s.SegmentIndex > 1000) {
                        store(s.LineCopy);
                        s.Line.clear();
                        return;
                    }
                } else {
                    s.LineCopy = trimSpaces(left(lc, pos) + from(lc, pos + 2));
                }
                break;
            }
        }
    }
}

}  // namespace quenlet::reference
