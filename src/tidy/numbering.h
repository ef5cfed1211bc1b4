// Chapter numbers as downloaded books write them, and the forms that frame
// them at the start of a line: 第十二回, 卷三, 12、, （十二）, a number alone.
// A form is what a book's headings share; the number is what runs 1, 2, 3
// through the book. Reading them is all this does: which lines are headings
// is decided from the whole book (book_look.h).
#pragma once

#include <cstdint>
#include <optional>

#include "text/text.h"

namespace quenlet::tidy {

// A number at the start of a text: digits (half- or full-width), Chinese
// numerals (一百二十三, 一二〇, 百二十, 廿三, 两), or capital numerals (壹佰贰拾).
// A dash standing for 一 between numerals is read as 一 (第—百回): a typo
// that conversions make. Spaces between the characters are allowed.
struct ReadNumber {
    std::int64_t value = 0;
    std::size_t length = 0;  // code units taken, spaces included
    bool digits = false;     // written in digits rather than numerals
};
std::optional<ReadNumber> readNumber(TextView text);

// How the number is framed: 第 N unit, 卷 N, N followed by a separator,
// a number in brackets, a number alone on its line, 之 N.
enum class Frame : std::uint8_t { Ordinal, VolumeWord, Separator, Bracket, Alone, Part };

// What the frame says of the heading's rank: a volume (卷, 部) stands above
// chapters, a section (节) below them.
enum class FormLevel : std::uint8_t { Volume = 0, Chapter = 1, Section = 2 };

struct HeadingForm {
    Frame frame = Frame::Ordinal;
    char16_t mark = 0;  // the unit after 第 N (回, 章, ...), the separator or the opening bracket
    bool operator==(const HeadingForm&) const = default;
    // A small number for tables of forms.
    std::uint32_t key() const { return static_cast<std::uint32_t>(frame) << 16 | mark; }
};

struct NumberedLine {
    HeadingForm form;
    FormLevel level = FormLevel::Chapter;
    std::int64_t number = 0;
    std::size_t start = 0;       // where the form begins in the line (after a volume before a chapter)
    std::size_t formEnd = 0;     // just after the form (第十二回, 12、)
    std::size_t titleStart = 0;  // after the spaces and separators that follow it
};

// The form at the start of a spaced line (tidy_text.h), if it has one. A
// volume word before a chapter (上卷 第二回, 第一卷 第三章) is read past: the
// chapter is the line's form.
std::optional<NumberedLine> readNumberedLine(TextView spaced);

// Whether a spaced line is a volume heading without a number, where a
// book's chapter numbers may start again: 上卷, 下部 风雨, 卷下.
bool isVolumeWordLine(TextView spaced);

// Whether a character can begin a numbered line: most lines are ruled out by
// their first character alone.
bool mayBeginNumberedLine(char16_t c);

}  // namespace quenlet::tidy
