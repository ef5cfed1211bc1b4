#include "tidy/numbering.h"

#include <bitset>

#include "tidy/tidy_text.h"

namespace quenlet::tidy {
namespace {

// What one numeral character stands for.
struct Numeral {
    enum Kind : std::uint8_t { None, Digit, Unit, Tens } kind = None;
    std::int64_t value = 0;
};

Numeral numeralOf(char16_t c) {
    if (c >= u'0' && c <= u'9') return {Numeral::Digit, c - u'0'};
    if (c >= u'\uFF10' && c <= u'\uFF19') return {Numeral::Digit, c - u'\uFF10'};
    switch (c) {
        case u'〇': case u'○': case u'零': return {Numeral::Digit, 0};
        case u'一': case u'壹': return {Numeral::Digit, 1};
        case u'二': case u'贰': case u'貳': case u'两': case u'兩': return {Numeral::Digit, 2};
        case u'三': case u'叁': case u'參': return {Numeral::Digit, 3};
        case u'四': case u'肆': return {Numeral::Digit, 4};
        case u'五': case u'伍': return {Numeral::Digit, 5};
        case u'六': case u'陆': case u'陸': return {Numeral::Digit, 6};
        case u'七': case u'柒': return {Numeral::Digit, 7};
        case u'八': case u'捌': return {Numeral::Digit, 8};
        case u'九': case u'玖': return {Numeral::Digit, 9};
        case u'十': case u'拾': return {Numeral::Unit, 10};
        case u'百': case u'佰': return {Numeral::Unit, 100};
        case u'千': case u'仟': return {Numeral::Unit, 1000};
        case u'万': case u'萬': return {Numeral::Unit, 10000};
        case u'廿': return {Numeral::Tens, 20};
        case u'卅': return {Numeral::Tens, 30};
        case u'卌': return {Numeral::Tens, 40};
        default: return {};
    }
}

bool isAsciiOrWideDigit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'\uFF10' && c <= u'\uFF19'); }

// Dashes a conversion leaves where 一 stood.
bool isDashLikeOne(char16_t c) { return c == u'—' || c == u'－' || c == u'-' || c == u'ー' || c == u'―'; }

constexpr std::size_t kMaxNumeralChars = 10;

// The value of Chinese numerals: positional (一百二十三, 百二十 = 120, 十五 = 15,
// 廿三 = 23) when they hold a unit, digit by digit (一二〇 = 120) when not.
std::int64_t valueOfNumerals(const Numeral* numerals, std::size_t count) {
    bool units = false;
    for (std::size_t i = 0; i < count; ++i) units |= numerals[i].kind != Numeral::Digit;
    std::int64_t value = 0;
    if (!units) {
        for (std::size_t i = 0; i < count; ++i) value = value * 10 + numerals[i].value;
        return value;
    }
    std::int64_t section = 0;
    std::int64_t digit = -1;  // none yet
    for (std::size_t i = 0; i < count; ++i) {
        const Numeral& n = numerals[i];
        if (n.kind == Numeral::Digit) {
            digit = n.value;
        } else if (n.kind == Numeral::Tens) {
            section += n.value;
            digit = -1;
        } else if (n.value == 10000) {
            value += (section + (digit > 0 ? digit : 0)) * 10000;
            if (section == 0 && digit <= 0) value += 10000;
            section = 0;
            digit = -1;
        } else {
            section += (digit < 0 ? 1 : digit) * n.value;
            digit = -1;
        }
    }
    return value + section + (digit > 0 ? digit : 0);
}

std::size_t skipSpace(TextView text, std::size_t at) { return at < text.size() && text[at] == u' ' ? at + 1 : at; }

// Units after 第 N, with the words that begin with them and are no heading
// (第一回合, 第一节课, 第一部分人, 第一集团).
bool ordinalUnit(TextView text, std::size_t at, FormLevel& level) {
    if (at >= text.size()) return false;
    const char16_t unit = text[at];
    const char16_t next = at + 1 < text.size() ? text[at + 1] : u'\0';
    switch (unit) {
        case u'回': case u'囘': level = FormLevel::Chapter; return next != u'合';
        case u'章': case u'话': case u'話': case u'幕': level = FormLevel::Chapter; return true;
        case u'节': case u'節': level = FormLevel::Section; return next != u'课' && next != u'課';
        case u'卷': case u'篇': level = FormLevel::Volume; return true;
        case u'部':
            level = FormLevel::Volume;
            return next != u'分' && next != u'队' && next != u'隊' && next != u'门' && next != u'門' &&
                   next != u'下' && next != u'长' && next != u'長';
        case u'集':
            level = FormLevel::Volume;
            return next != u'团' && next != u'團' && next != u'中' && next != u'合' && next != u'体' && next != u'體';
        default: return false;
    }
}

char16_t closingOf(char16_t open) {
    switch (open) {
        case u'（': return u'）';
        case u'(': return u')';
        case u'【': return u'】';
        case u'[': return u']';
        case u'〔': return u'〕';
        case u'［': return u'］';
        default: return 0;
    }
}

bool isNumberSeparator(char16_t c) {
    return c == u'、' || c == u'.' || c == u'．' || c == u':' || c == u'：' || c == u'，' || c == u',';
}

// The separator's kind: 、 / . / : / a space, whichever way it is written.
char16_t separatorMark(char16_t c) {
    if (c == u'．') return u'.';
    if (c == u'：') return u':';
    if (c == u'，') return u',';
    return c;
}

// After the form: the spaces and separators before the title.
std::size_t titleStartAfter(TextView text, std::size_t at) {
    while (at < text.size() && (text[at] == u' ' || isTitleSeparator(text[at]))) ++at;
    return at;
}

std::optional<NumberedLine> readFormAt(TextView text, std::size_t start) {
    if (start >= text.size()) return std::nullopt;
    NumberedLine line;
    line.start = start;
    std::size_t at = start;
    char16_t first = text[at];
    // 【第一章】 or [第一章]: a bracket around the whole form.
    char16_t bracketClose = 0;
    if (closingOf(first) != 0 && at + 1 < text.size() && text[at + 1] == u'第') {
        bracketClose = closingOf(first);
        first = text[++at];
    }
    if (first == u'第') {
        at = skipSpace(text, at + 1);
        const auto number = readNumber(text.substr(at));
        if (!number) return std::nullopt;
        at = skipSpace(text, at + number->length);
        if (!ordinalUnit(text, at, line.level)) return std::nullopt;
        line.form = {Frame::Ordinal, text[at] == u'囘' ? u'回' : text[at] == u'節' ? u'节' : text[at] == u'話' ? u'话' : text[at]};
        line.number = number->value;
        line.formEnd = at + 1;
        if (bracketClose != 0) {
            const std::size_t close = skipSpace(text, line.formEnd);
            if (close >= text.size() || text[close] != bracketClose) return std::nullopt;
            line.formEnd = close + 1;
        }
    } else if (first == u'卷' || first == u'之') {
        at = skipSpace(text, at + 1);
        if (first == u'卷' && at < text.size() && (text[at] == u'之' || text[at] == u'第')) at = skipSpace(text, at + 1);
        const auto number = readNumber(text.substr(at));
        if (!number) return std::nullopt;
        line.form = {first == u'卷' ? Frame::VolumeWord : Frame::Part, first};
        line.level = first == u'卷' ? FormLevel::Volume : FormLevel::Chapter;
        line.number = number->value;
        line.formEnd = at + number->length;
        // 卷 followed by more numerals or a unit is a word (卷十二章 is no form of ours).
        if (line.formEnd < text.size() && text[line.formEnd] != u' ' && !isTitleSeparator(text[line.formEnd]))
            return std::nullopt;
    } else if (const char16_t close = closingOf(first)) {
        at = skipSpace(text, at + 1);
        const auto number = readNumber(text.substr(at));
        if (!number) return std::nullopt;
        at = skipSpace(text, at + number->length);
        if (at >= text.size() || text[at] != close) return std::nullopt;
        line.form = {Frame::Bracket, first == u'(' ? u'（' : first == u'[' || first == u'［' ? u'【' : first};
        line.number = number->value;
        line.formEnd = at + 1;
    } else {
        const auto number = readNumber(text.substr(at));
        if (!number) return std::nullopt;
        line.number = number->value;
        at += number->length;
        if (at == text.size()) {
            line.form = {Frame::Alone, u'#'};
            line.formEnd = at;
        } else if (isNumberSeparator(text[at])) {
            // 1.5 or 3,000 is a number, not a heading's.
            if (at + 1 < text.size() && isAsciiOrWideDigit(text[at + 1])) return std::nullopt;
            line.form = {Frame::Separator, separatorMark(text[at])};
            line.formEnd = at + 1;
        } else if (text[at] == u' ' && number->length > 0) {
            line.form = {Frame::Separator, u' '};
            line.formEnd = at;
        } else {
            return std::nullopt;
        }
    }
    line.titleStart = titleStartAfter(text, line.formEnd);
    return line;
}

// A volume word before a chapter on the same line: 上卷 第二回, 第一卷 第三章, 卷二 第五回.
std::size_t afterVolumeWord(TextView text) {
    if (text.size() >= 3 && (text[0] == u'上' || text[0] == u'中' || text[0] == u'下') &&
        (text[1] == u'卷' || text[1] == u'部' || text[1] == u'篇' || text[1] == u'册' || text[1] == u'冊'))
        return skipSpace(text, 2);
    return 0;
}

}  // namespace

std::optional<ReadNumber> readNumber(TextView text) {
    ReadNumber read;
    std::size_t at = 0;
    if (at < text.size() && isAsciiOrWideDigit(text[at])) {
        while (at < text.size() && isAsciiOrWideDigit(text[at]) && at < 7) {
            read.value = read.value * 10 + numeralOf(text[at]).value;
            ++at;
        }
        if (at < text.size() && isAsciiOrWideDigit(text[at])) return std::nullopt;  // too long for a chapter number
        read.length = at;
        read.digits = true;
        return read;
    }
    Numeral numerals[kMaxNumeralChars];
    std::size_t count = 0;
    std::size_t end = 0;
    while (at < text.size() && count < kMaxNumeralChars) {
        Numeral n = numeralOf(text[at]);
        if (n.kind == Numeral::None && isDashLikeOne(text[at])) {
            // Only between numerals, or before one: 第—百回, never a dash of its own.
            const bool before = at + 1 < text.size() && numeralOf(text[at + 1]).kind != Numeral::None;
            if (!before) break;
            n = {Numeral::Digit, 1};
        }
        if (n.kind == Numeral::None || (n.kind == Numeral::Digit && isAsciiOrWideDigit(text[at]))) {
            if (text[at] == u' ' && count > 0 && at + 1 < text.size() &&
                numeralOf(text[at + 1]).kind != Numeral::None && !isAsciiOrWideDigit(text[at + 1])) {
                ++at;  // 二 十 一: spaced numerals
                continue;
            }
            break;
        }
        numerals[count++] = n;
        end = ++at;
    }
    if (count == 0) return std::nullopt;
    read.value = valueOfNumerals(numerals, count);
    read.length = end;
    return read;
}

bool isVolumeWordLine(TextView spaced) {
    constexpr std::size_t kLongest = 16;
    if (spaced.size() < 2 || spaced.size() > kLongest) return false;
    const auto isPart = [](char16_t c) { return c == u'上' || c == u'中' || c == u'下'; };
    const auto isVolume = [](char16_t c) { return c == u'卷' || c == u'部' || c == u'篇' || c == u'册' || c == u'冊'; };
    const bool word = (isPart(spaced[0]) && isVolume(spaced[1])) || (spaced[0] == u'卷' && isPart(spaced[1]));
    return word && (spaced.size() == 2 || spaced[2] == u' ');
}

bool mayBeginNumberedLine(char16_t c) {
    // (asked of every line of a book: worked out once for every character)
    static const std::bitset<0x10000> kBegins = [] {
        std::bitset<0x10000> begins;
        for (std::size_t i = 0; i < begins.size(); ++i) {
            const auto u = static_cast<char16_t>(i);
            begins[i] = u == u'第' || u == u'卷' || u == u'之' || closingOf(u) != 0 ||
                        numeralOf(u).kind != Numeral::None || u == u'上' || u == u'中' || u == u'下';
        }
        return begins;
    }();
    return kBegins[c];
}

std::optional<NumberedLine> readNumberedLine(TextView spaced) {
    if (spaced.empty() || !mayBeginNumberedLine(spaced[0])) return std::nullopt;
    if (const std::size_t after = afterVolumeWord(spaced)) {
        if (auto chapter = readFormAt(spaced, after); chapter && chapter->level != FormLevel::Volume) return chapter;
        return std::nullopt;
    }
    auto line = readFormAt(spaced, 0);
    if (line && line->level == FormLevel::Volume && line->titleStart < spaced.size()) {
        // 第一卷 第三章: the chapter is the line's form.
        if (auto chapter = readFormAt(spaced, line->titleStart); chapter && chapter->level != FormLevel::Volume)
            return chapter;
    }
    return line;
}

}  // namespace quenlet::tidy
