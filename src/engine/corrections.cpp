// Corrections: the fixed character corrections chosen in the window, then the
// user's own replace rule.
#include <algorithm>

#include "engine/typeset_engine.h"

namespace quenlet {

// The fixed corrections in their order, then the user's rule when it has a search text.
void TypesetEngine::Zyt() {
    DocumentState& s = s_;
    bool spaces = false;
    bool corrections = false;
    for (const char16_t c : s.Line) {
        spaces |= c == kSpace;
        corrections |= c == u'\uFF0A' || c == u'-' || c == u'\uFF5E';
    }
    if (!spaces) {
        // No spaces, so no trim between the corrections changes anything, and
        // none of them makes a character another one looks for: one pass.
        if (corrections) fixedCorrectionsInOnePass();
        else noteLastCorrection();
        if (!options_.FindText.empty()) TH();
        return;
    }
    if (options_.DeleteAsterisks) {
        s.CorrectionFind = u"\uFF0A";
        s.CorrectionReplace.clear();
        TH0();
    }
    if (options_.DeleteDoubleDashes) {
        s.CorrectionFind = u"-";
        s.CorrectionReplace.clear();
        TH0();
    }
    if (options_.TildeToEllipsis) {
        s.CorrectionFind = u"\uFF5E";
        s.CorrectionReplace = u"\u2026";
        TH0();
    }
    if (!options_.FindText.empty()) TH();
}

void TypesetEngine::fixedCorrectionsInOnePass() {
    DocumentState& s = s_;
    const bool deleteAsterisk = options_.DeleteAsterisks;
    const bool deleteHyphen = options_.DeleteDoubleDashes;
    const bool tildeToEllipsis = options_.TildeToEllipsis;
    auto corrected = [&](char16_t c) {
        return (deleteAsterisk && c == u'\uFF0A') || (deleteHyphen && c == u'-') || (tildeToEllipsis && c == u'\uFF5E');
    };
    if (std::any_of(s.Line.begin(), s.Line.end(), corrected)) {
        Text out;
        out.reserve(s.Line.size());
        for (char16_t c : s.Line) {
            if (!corrected(c)) out.push_back(c);
            else if (c == u'\uFF5E') out.push_back(u'\u2026');
        }
        s.Line = std::move(out);
    }
    noteLastCorrection();
}

// CorrectionFind and CorrectionReplace as the last of the corrections leaves them.
void TypesetEngine::noteLastCorrection() {
    DocumentState& s = s_;
    const bool deleteAsterisk = options_.DeleteAsterisks;
    const bool deleteHyphen = options_.DeleteDoubleDashes;
    const bool tildeToEllipsis = options_.TildeToEllipsis;
    if (deleteAsterisk || deleteHyphen || tildeToEllipsis) {
        s.CorrectionFind = tildeToEllipsis ? u"\uFF5E" : deleteHyphen ? u"-" : u"\uFF0A";
        s.CorrectionReplace = tildeToEllipsis ? u"\u2026" : u"";
    }
}

// Replaces every CorrectionFind in Line with CorrectionReplace, rescanning from
// the start after each change, then trims Line.
void TypesetEngine::TH0() {
    DocumentState& s = s_;
    const TextView find = s.CorrectionFind;
    const TextView replace = s.CorrectionReplace;
    if (find.size() == 1) {
        // A replacement cannot form a new occurrence of a single character it
        // does not contain, so one pass replaces them all.
        if (s.Line.find(find[0]) != Text::npos) {
            Text out;
            out.reserve(s.Line.size() + s.Line.size() * replace.size());
            for (char16_t c : s.Line) {
                if (c == find[0]) out.append(replace);
                else out.push_back(c);
            }
            s.Line = std::move(out);
        }
    } else if (!find.empty()) {
        for (std::size_t at; (at = s.Line.find(find)) != Text::npos;) s.Line.replace(at, find.size(), replace);
    }
    trimSpacesInPlace(s.Line);
}

// The user's rule. The scan position never passes the paragraph's starting
// length, and after a replacement it stays put so that the inserted text is
// examined again (哈哈→哈 turns 哈哈哈哈 into 哈) -- unless the replacement
// begins with the search text, which would otherwise match forever: then the
// scan moves past what it inserted.
//
// Line is kept as the text before the scan position (`done`) and the text from
// it on, stored reversed (`ahead`) so that a replacement is pushed onto and
// the scan consumes from the same end: no step copies the rest of the line.
void TypesetEngine::TH() {
    DocumentState& s = s_;
    const TextView find = options_.FindText;
    const TextView replace = options_.ReplaceText;
    const bool replacementRepeatsFind = startsWith(replace, find);
    const std::size_t startLength = s.Line.size();

    Text done;
    done.reserve(startLength);
    Text ahead(s.Line.rbegin(), s.Line.rend());
    auto findAhead = [&] {
        if (ahead.size() < find.size()) return false;
        for (std::size_t i = 0; i < find.size(); ++i)
            if (ahead[ahead.size() - 1 - i] != find[i]) return false;
        return true;
    };
    std::size_t k = 1;  // the scan position in done + ahead, from 1
    while (k <= startLength && !ahead.empty()) {
        if (findAhead()) {
            ahead.resize(ahead.size() - find.size());
            if (replacementRepeatsFind) {
                done.append(replace);
                k += replace.size();
            } else {
                ahead.append(replace.rbegin(), replace.rend());
            }
        } else {
            done.push_back(ahead.back());
            ahead.pop_back();
            ++k;
        }
    }
    done.append(ahead.rbegin(), ahead.rend());
    s.Line = std::move(done);
    trimSpacesInPlace(s.Line);
}

}  // namespace quenlet
