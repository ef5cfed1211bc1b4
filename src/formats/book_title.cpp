#include "formats/book_title.h"

#include <algorithm>
#include <initializer_list>
#include <optional>

namespace quenlet::formats {
namespace {

constexpr std::size_t kLongestTitle = 40;
constexpr std::size_t kLongestAuthor = 12;
constexpr std::size_t kLongestBareTitle = 20;  // a title line without 《》 or a field name

bool isBlankUnit(char16_t c) {
    return c == kSpace || c == kIdeographicSpace || c == u'\t' || c == u'\u00A0' || c == u'\uFEFF';
}

bool isHan(char16_t c) { return (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xD800 && c <= 0xDFFF); }

bool oneOf(char16_t c, TextView set) { return set.find(c) != TextView::npos; }

TextView trimmed(TextView text, TextView extra = {}) {
    auto drop = [&](char16_t c) { return isBlankUnit(c) || oneOf(c, extra); };
    while (!text.empty() && drop(text.front())) text.remove_prefix(1);
    while (!text.empty() && drop(text.back())) text.remove_suffix(1);
    return text;
}

// What stands between a title and its author.
constexpr TextView kSeparators = u"_-—－:：·•・/／、|｜";
constexpr TextView kOpeningBrackets = u"(（[【〔〖<〈";
constexpr TextView kClosingBrackets = u")）]】〕〗>〉";

bool containsAny(TextView text, std::initializer_list<TextView> words) {
    return std::any_of(words.begin(), words.end(), [&](TextView w) { return text.find(w) != TextView::npos; });
}

bool startsWithAny(TextView text, std::initializer_list<TextView> words) {
    return std::any_of(words.begin(), words.end(), [&](TextView w) { return text.starts_with(w); });
}

// Sites and their offers, in titles and author fields of downloads.
bool isSiteJunk(TextView text) {
    Text lower(text);
    for (char16_t& c : lower)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return containsAny(lower, {u"http", u"www", u".com", u".net", u".org", u".cn", u"txt", u"下载", u"下載", u"书评",
                               u"書評", u"最新章节", u"最新章節", u"阅读", u"閱讀", u"小说网", u"小說網", u"电子书",
                               u"電子書"});
}

// Notes on an edition (全本, 精校版 ...), never an author.
bool isEditionNote(TextView text) {
    return containsAny(text, {u"全本", u"全集", u"完本", u"完结", u"完結", u"精校", u"校对", u"校對", u"修订", u"修訂",
                              u"删节", u"刪節", u"合集", u"番外", u"连载", u"連載", u"出版", u"文字版", u"实体", u"實體",
                              u"版"});
}

// A chapter, a volume or a part of the front matter: a book's opening, not its title.
bool isChapterLike(TextView text) {
    text = trimmed(text);
    if (startsWithAny(text, {u"楔子", u"序章", u"序言", u"序幕", u"前言", u"引子", u"正文", u"目录", u"目錄", u"内容简介",
                             u"內容簡介", u"简介", u"簡介", u"书籍介绍", u"書籍介紹"}))
        return true;
    if (!text.empty() && (text[0] == u'第' || text[0] == u'卷')) {
        constexpr TextView kUnits = u"回章卷节節集部篇折幕";
        const std::size_t look = std::min<std::size_t>(text.size(), 10);
        for (std::size_t i = 1; i < look; ++i)
            if (oneOf(text[i], kUnits)) return true;
        if (text[0] == u'卷' && text.size() > 1 && oneOf(text[1], u"一二三四五六七八九十上中下0123456789")) return true;
    }
    // 一、… and 1. …: numbered parts.
    if (text.size() > 1 && oneOf(text[0], u"一二三四五六七八九十0123456789") && oneOf(text[1], u"、.．"))
        return true;
    return false;
}

bool plausibleTitle(TextView title, std::size_t longest = kLongestTitle) {
    if (title.empty() || title.size() > longest) return false;
    if (!std::any_of(title.begin(), title.end(), isHan)) return false;
    if (std::any_of(title.begin(), title.end(), [](char16_t c) { return oneOf(c, u"，。！？；,!?;…：:\"“”「」"); }))
        return false;
    return !isSiteJunk(title) && !isChapterLike(title);
}

bool plausibleAuthor(TextView author) {
    if (author.empty() || author.size() > kLongestAuthor) return false;
    const bool nameCharacters = std::all_of(author.begin(), author.end(), [](char16_t c) {
        return isHan(c) || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == kSpace || c == u'.' ||
               oneOf(c, u"·•・");
    });
    return nameCharacters && author[0] != u'第' && !isSiteJunk(author) && !isEditionNote(author);
}

// The dynasty or country of an author, as 老残游记 [清]刘鹗 or 連城璧（清）李漁 put it.
bool isDynasty(TextView word) {
    for (TextView d : {u"清", u"明", u"宋", u"元", u"唐", u"汉", u"漢", u"晋", u"晉", u"隋", u"魏", u"梁", u"周", u"秦",
                       u"南宋", u"北宋", u"东汉", u"東漢", u"西汉", u"西漢", u"东晋", u"東晉", u"西晋", u"西晉", u"五代",
                       u"南朝", u"北朝", u"民国", u"民國", u"近代", u"现代", u"現代", u"当代", u"當代", u"美", u"英",
                       u"法", u"俄", u"日", u"德"})
        if (word == d) return true;
    return false;
}

// The text after a dynasty marker at its start ([清], （清）, 清·, 清?), or none.
std::optional<TextView> afterDynasty(TextView text) {
    text = trimmed(text);
    if (!text.empty() && oneOf(text[0], kOpeningBrackets)) {
        const std::size_t close = text.find_first_of(kClosingBrackets);
        if (close != TextView::npos && isDynasty(trimmed(text.substr(1, close - 1)))) return text.substr(close + 1);
        return std::nullopt;
    }
    for (std::size_t length : {2, 1})
        if (text.size() > length + 1 && isDynasty(text.substr(0, length)) && oneOf(text[length], u"·•・?？ 　"))
            return text.substr(length + 1);
    return std::nullopt;
}

// An author's name from what follows a title or a field name, or none:
// 作者：, a dynasty, 著 and the like taken off.
Text authorOf(TextView rest) {
    rest = trimmed(rest, kSeparators);
    if (const std::size_t field = rest.find(u"作者"); field != TextView::npos) rest = rest.substr(field + 2);
    else if (rest.starts_with(u"著者")) rest = rest.substr(2);
    rest = trimmed(rest, kSeparators);
    if (const auto after = afterDynasty(rest)) rest = *after;
    rest = trimmed(rest, kClosingBrackets);
    for (TextView suffix : {u"编著", u"編著", u"著作", u"作品", u"著", u"撰", u"编", u"編"})
        if (rest.size() > suffix.size() && rest.ends_with(suffix)) {
            rest.remove_suffix(suffix.size());
            break;
        }
    rest = trimmed(rest, kClosingBrackets);
    return plausibleAuthor(rest) ? Text(rest) : Text();
}

// A title as found: without the 《》 around it and the notes on the edition after it.
Text cleanTitle(TextView title) {
    title = trimmed(title, kSeparators);
    if (title.size() > 2 && title.front() == u'《' && title.back() == u'》') title = title.substr(1, title.size() - 2);
    while (!title.empty() && oneOf(title.back(), kClosingBrackets)) {
        const std::size_t open = title.find_last_of(kOpeningBrackets);
        if (open == TextView::npos || open == 0 || !isEditionNote(title.substr(open))) break;
        title = trimmed(title.substr(0, open));
    }
    return Text(trimmed(title));
}

// The forms of one line; the file name's own (书名_某) when `fileName`.
TitleAndAuthor fromLine(TextView line, bool fileName) {
    const TextView text = trimmed(line);
    if (text.empty() || isChapterLike(text)) return {};
    // [书名 / 某 著 ]
    if (oneOf(text.front(), u"[【〔") && oneOf(text.back(), u"]】〕")) {
        const TextView inside = text.substr(1, text.size() - 2);
        const std::size_t slash = inside.find_first_of(u"/／");
        if (slash != TextView::npos) {
            const Text title = cleanTitle(inside.substr(0, slash));
            const Text author = authorOf(inside.substr(slash + 1));
            if (plausibleTitle(title) && !author.empty()) return {title, author};
        }
        return {};
    }
    // 《书名》, 《书名》某, 《书名》作者：某
    if (text.front() == u'《') {
        const std::size_t close = text.find(u'》');
        if (close == TextView::npos || close < 2) return {};
        const Text title = cleanTitle(text.substr(1, close - 1));
        if (!plausibleTitle(title)) return {};
        return {title, authorOf(text.substr(close + 1))};
    }
    // 书名 作者：某, 书名（作者：某）
    if (const std::size_t field = text.find(u"作者"); field != TextView::npos && field > 0) {
        const Text title = cleanTitle(trimmed(text.substr(0, field), kOpeningBrackets));
        const Text author = authorOf(text.substr(field));
        if (plausibleTitle(title) && !author.empty()) return {title, author};
        return {};
    }
    // 书名（清）某, 书名 [清]某
    for (std::size_t open = text.find_first_of(kOpeningBrackets); open != TextView::npos && open > 0;
         open = text.find_first_of(kOpeningBrackets, open + 1)) {
        if (!afterDynasty(text.substr(open))) continue;
        const Text title = cleanTitle(text.substr(0, open));
        const Text author = authorOf(text.substr(open));
        if (plausibleTitle(title) && !author.empty()) return {title, author};
        return {};
    }
    // 书名_某: only in file names, and only a name in Han characters after it.
    if (fileName) {
        const std::size_t underscore = text.rfind(u'_');
        if (underscore != TextView::npos && underscore > 0) {
            const TextView name = trimmed(text.substr(underscore + 1));
            const Text title = cleanTitle(text.substr(0, underscore));
            if (name.size() >= 2 && std::all_of(name.begin(), name.end(), isHan) && plausibleTitle(title) &&
                plausibleAuthor(name))
                return {title, Text(name)};
        }
    }
    return {};
}

// The value of a field such as 书名：… or 作者：…, or none.
std::optional<TextView> fieldValue(TextView line, std::initializer_list<TextView> names) {
    line = trimmed(line);
    for (TextView name : names) {
        if (!line.starts_with(name)) continue;
        TextView value = line.substr(name.size());
        if (value.empty() || !oneOf(value.front(), u":：")) continue;
        value = trimmed(value.substr(1));
        // Fields side by side (作者：某　类别：武侠): the first only.
        const std::size_t gap = value.find_first_of(u" 　\t");
        return trimmed(value.substr(0, gap));
    }
    return std::nullopt;
}

// A line that names only the author: [清]某, 清·某, 某 著, 作者：某.
Text authorLine(TextView line) {
    const TextView text = trimmed(line);
    if (text.starts_with(u"作者") || text.starts_with(u"著者")) return authorOf(text);
    if (afterDynasty(text)) return authorOf(text);
    for (TextView suffix : {u"著", u"撰", u"编著", u"編著"})
        if (text.size() > suffix.size() && text.ends_with(suffix)) return authorOf(text);
    return {};
}

}  // namespace

TitleAndAuthor titleFromFileName(TextView name) { return fromLine(name, true); }

TitleAndAuthor titleFromOpening(const std::vector<Text>& lines) {
    std::vector<TextView> opening;
    for (const Text& line : lines) {
        const TextView text = trimmed(line);
        if (text.empty()) continue;
        if (isChapterLike(text)) break;  // the text has begun
        opening.push_back(text);
    }
    TitleAndAuthor fields;
    for (TextView line : opening) {
        if (const auto title = fieldValue(line, {u"书名", u"書名", u"书 名", u"書 名", u"标题", u"標題"});
            title && fields.title.empty()) {
            const Text clean = cleanTitle(*title);
            if (plausibleTitle(clean)) fields.title = clean;
        }
        if (const auto author = fieldValue(line, {u"作者", u"作 者", u"著者"}); author && fields.author.empty())
            fields.author = authorOf(*author);
    }
    if (!fields.title.empty() || opening.empty()) return fields;
    TitleAndAuthor first = fromLine(opening[0], false);
    if (first.title.empty() && opening.size() > 1 && plausibleTitle(opening[0], kLongestBareTitle)) {
        // 老残游记, then [清]刘鹗: a bare title is one only with its author after it.
        const Text author = authorLine(opening[1]);
        if (!author.empty()) first = {Text(opening[0]), author};
    }
    if (first.author.empty()) first.author = fields.author;
    return first;
}

}  // namespace quenlet::formats
