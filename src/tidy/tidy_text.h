// Character classes and small text operations of the tidy mode: every kind of
// space, the punctuation that tells a sentence from a title, and runs of
// question marks.
#pragma once

#include "text/text.h"

namespace quenlet::tidy {

// Tab, no-break space, the ideographic space, the typographic spaces
// U+2000-U+200B, U+202F, U+205F, the byte order mark and their kin: a line of
// nothing else is an empty line, and they go wherever spaces go.
inline bool isAnySpace(char16_t c) {
    if (c > u'\u3000') return c == u'\uFEFF';  // Chinese text and its punctuation, quickly
    if (c == u'\u3000' || c == u' ') return true;
    if (c < u' ') return c >= u'\t' && c <= u'\r';
    if (c < u'\u0085') return false;
    return c == u'\u0085' || c == u'\u00A0' || c == u'\u1680' || (c >= u'\u2000' && c <= u'\u200D') ||
           c == u'\u2028' || c == u'\u2029' || c == u'\u202F' || c == u'\u205F' || c == u'\u2060';
}

// The line with every kind of space turned into one ASCII space, runs of them
// into a single one, and none at either end: what the rules' patterns see.
void spacedLine(TextView line, Text& spaced);
// The spaced line without its spaces: what the engine gets.
Text withoutSpaces(TextView spaced);
void withoutSpaces(TextView spaced, Text& out);

inline bool isQuestionMark(char16_t c) { return c == u'?' || c == u'\uFF1F'; }

// Removes every run of two or more question marks (? and ？, in any mix;
// spaces between them do not break a run), keeping the rest of the line.
// Returns whether anything was removed.
bool removeQuestionMarkRuns(Text& spaced);

// Marks that end a sentence or join its clauses (。；：): a title holds none.
bool isSentenceMark(char16_t c);
// Marks within a sentence (，、—): a title may hold them, but not end with one.
bool isDividingMark(char16_t c);
// Any prose punctuation, quotes and brackets included.
bool isProseMark(char16_t c);
bool hasProseMark(TextView text);
// What may stand between a heading's number and its title: 第一章：开端.
bool isTitleSeparator(char16_t c);
// A heading as the tidy mode writes it: its number without spaces, one
// ideographic space, then its title, whatever spaces the source used. What
// else the source put between number and title (：, ·) stays instead of the
// space. In the title, parts of two characters or more (a couplet's two
// halves) stand one ideographic space apart; other spaces go (刺 客).
Text headingText(TextView number, TextView between, TextView title);
Text gappedTitle(TextView title);

// Whether the customary opening words of a chapter's first sentence (话说,
// 却说, 且说, 上回 ...) stand in the text at `at`.
bool isOpeningAt(TextView text, std::size_t at);
// Where a two-part title (a couplet: two halves, `space` between) ends when
// text runs on after it; 0 when it is no couplet run into text.
std::size_t coupletEnd(TextView title, char16_t space);

// Whether a line ends a sentence: on 。！？… (or their ASCII forms), perhaps
// followed by closing quotes or brackets.
bool endsSentence(TextView text);

}  // namespace quenlet::tidy
