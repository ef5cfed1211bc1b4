// The EPUB writer fed with events directly: markup escaping and replacement,
// the CSS of indents and endings, the script of a text, the documents and
// the table of contents, the zip layout and reproducible bytes.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "text/encoding.h"
#include "child_process.h"
#include "epub_reader.h"
#include "files/text_file.h"
#include "formats/epub_writer.h"
#include "temp_dir.h"

namespace quenlet::test {
namespace {

using formats::EpubWriter;
using formats::MarkupText;

// ---- markup text ----

struct MarkupRow {
    const char* name;
    Text text;
    std::string xml;
    std::uint64_t replaced;
};

void PrintTo(const MarkupRow& row, std::ostream* os) { *os << row.name; }

class MarkupRows : public ::testing::TestWithParam<MarkupRow> {};

TEST_P(MarkupRows, XmlContent) {
    MarkupText markup;
    std::string out;
    markup.appendXml(out, GetParam().text);
    EXPECT_EQ(out, GetParam().xml);
    EXPECT_EQ(markup.replaced(), GetParam().replaced);
}

INSTANTIATE_TEST_SUITE_P(
    Epub, MarkupRows,
    ::testing::Values(
        MarkupRow{"markup_characters", u"a&b<c>d\"e'", "a&amp;b&lt;c&gt;d\"e'", 0},
        MarkupRow{"han_and_ideographic_space", u"　　你好。", "\u3000\u3000你好。", 0},
        MarkupRow{"surrogate_pair", u"\xD840\xDC00", "\xF0\xA0\x80\x80", 0},
        MarkupRow{"private_use_character_kept", u"玉在\uE7BB中", "玉在\uE7BB中", 0},
        MarkupRow{"escape_unit_of_an_undecodable_byte", u"a\xDCBA" "b", "a\uFFFDb", 1},
        MarkupRow{"lone_surrogates", u"\xD840" "a\xDC00", "\uFFFDa\uFFFD", 2},
        MarkupRow{"forbidden_controls", Text(u"\x01\x0B\x1F\0", 4), "\uFFFD\uFFFD\uFFFD\uFFFD", 4},
        MarkupRow{"noncharacters_fffe_ffff", u"\xFFFE\xFFFF", "\uFFFD\uFFFD", 2},
        MarkupRow{"tab_and_line_feed_kept_carriage_return_referenced", u"a\tb\nc\rd", "a\tb\nc&#13;d", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Epub, CssStringsAndCleanedTitles) {
    MarkupText markup;
    std::string css;
    markup.appendCssString(css, u"“>\\\"a\xDC80");
    EXPECT_EQ(css, "\"\\201C >\\5C \\22 a\\FFFD \"");
    EXPECT_EQ(markup.replaced(), 1U);
    EXPECT_EQ(markup.cleaned(u"题\x01目"), u"题\uFFFD目");
    EXPECT_EQ(markup.replaced(), 2U);
}

// ---- indents and endings as CSS ----

struct IndentRow {
    const char* name;
    Text indent;
    unsigned halfEms;
    Text before;
    std::string rule;  // expected in the style sheet
};

void PrintTo(const IndentRow& row, std::ostream* os) { *os << row.name; }

class IndentRows : public ::testing::TestWithParam<IndentRow> {};

TEST_P(IndentRows, BecomeTextIndentAndGeneratedContent) {
    const formats::IndentCss css = formats::indentCss(GetParam().indent);
    EXPECT_EQ(css.halfEms, GetParam().halfEms);
    EXPECT_EQ(css.before, GetParam().before);
    formats::BookPlan plan;
    plan.styles = {{GetParam().indent, {}}};
    MarkupText markup;
    EXPECT_NE(formats::styleSheet(plan, markup).find(GetParam().rule), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Epub, IndentRows,
    ::testing::Values(IndentRow{"two_ideographic_spaces", u"　　", 4, u"", "p { text-indent: 2em; }"},
                      IndentRow{"four_ascii_spaces", u"    ", 4, u"", "p { text-indent: 2em; }"},
                      IndentRow{"mixed_spaces", u"　 ", 3, u"", "p { text-indent: 1.5em; }"},
                      IndentRow{"none", u"", 0, u"", "p { text-indent: 0; }"},
                      IndentRow{"a_mark", u">", 0, u">", "p::before { content: \">\"; }"},
                      IndentRow{"spaces_then_a_mark", u"　　※ ", 4, u"※ ", "p::before { content: \"\\203B  \"; }"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- script ----

struct ScriptRow {
    const char* name;
    Text text;
    bool traditional;
};

void PrintTo(const ScriptRow& row, std::ostream* os) { *os << row.name; }

class ScriptRows : public ::testing::TestWithParam<ScriptRow> {};

TEST_P(ScriptRows, TellTraditionalFromSimplified) {
    formats::ScriptTally tally;
    tally.add(GetParam().text);
    EXPECT_EQ(tally.traditional(), GetParam().traditional);
}

INSTANTIATE_TEST_SUITE_P(
    Epub, ScriptRows,
    ::testing::Values(ScriptRow{"simplified", u"他说：“这个时候，我们还没有见过。”", false},
                      ScriptRow{"traditional", u"他說：「這個時候，我們還沒有見過。」", true},
                      ScriptRow{"shared_characters_only", u"天地玄黄，宇宙洪荒。", false},
                      ScriptRow{"no_han_at_all", u"Chapter one.", false},
                      ScriptRow{"simplified_with_a_stray_traditional_one", u"这个时候我们還没有见过", false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the book ----

BookDetails details(const Text& title = u"书") {
    BookDetails d;
    d.title = title;
    d.modified = 981173106;  // 2001-02-03T04:05:06Z
    return d;
}

std::string bytesOf(EpubWriter& writer) {
    TempDir dir;
    const std::string path = dir.path("book.epub");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    writer.finish(fd, path);
    ::close(fd);
    return readFile(path);
}

std::vector<std::string> titles(const std::vector<TocItem>& items) {
    std::vector<std::string> out;
    for (const TocItem& item : items) out.push_back(item.title);
    return out;
}

TEST(Epub, HeadingsStartChaptersAndTextBeforeThemIsFrontMatter) {
    EpubWriter writer(details(), 0);
    writer.paragraph(u"　　", u"序言，开头。", u"");
    writer.heading(u"《", u"第一章 起", u"》", HeadingRank::Chapter);
    writer.blankLine();
    writer.paragraph(u"　　", u"甲&乙<丙>。", u"");
    writer.heading(u"《", u"第二章", u"》", HeadingRank::Chapter);
    writer.paragraph(u"　　", u"丁。", u"");
    const EpubBook book = readEpub(bytesOf(writer));
    const auto& d = book.documents;
    ASSERT_EQ(d.size(), 3U);
    EXPECT_EQ(book.spine, (std::vector<std::string>{"OEBPS/cover.xhtml", d[0], "OEBPS/nav.xhtml", d[1], d[2]}))
        << "the cover, the front matter, the contents, the chapters";
    EXPECT_EQ(book.nav, (std::vector<TocItem>{{"第一章 起", d[1], {}}, {"第二章", d[2], {}}}));
    EXPECT_EQ(book.ncx, book.nav);
    EXPECT_EQ(book.texts("h2"), (std::vector<std::string>{"第一章 起", "第二章"}));
    EXPECT_EQ(book.texts("p"), (std::vector<std::string>{"序言，开头。", "甲&乙<丙>。", "丁。"}));
    EXPECT_EQ(book.blocks[0].document, d[0]) << "front matter has a document of its own";
    EXPECT_EQ(book.title, "书");
    EXPECT_EQ(book.language, "zh-Hans");
    EXPECT_EQ(book.modified, "2001-02-03T04:05:06Z");
    EXPECT_EQ(book.author, "");
    EXPECT_EQ(book.progression, "");
    for (const auto& [name, data] : book.files) {
        if (name.ends_with(".xhtml")) {
            EXPECT_NE(data.find(" lang=\"zh-Hans\" xml:lang=\"zh-Hans\""), std::string::npos) << name;
        }
    }
    EXPECT_NE(book.files.at(d[0]).find("<body epub:type=\"frontmatter\">"), std::string::npos);
    EXPECT_NE(book.files.at(d[1]).find("<body epub:type=\"bodymatter chapter\">"), std::string::npos);
    const std::string& nav = book.files.at("OEBPS/nav.xhtml");
    EXPECT_NE(nav.find("<h1>目录</h1>"), std::string::npos);
    EXPECT_NE(nav.find("<a epub:type=\"bodymatter\" href=\"" + d[1].substr(6) + "\">"), std::string::npos)
        << "the landmark of the text's start";
}

// A heading that follows another with nothing between them joins its page:
// no document holds only a title. The contents point at each heading.
TEST(Epub, VolumesHoldTheChaptersAfterThemAndNoPageHoldsOnlyTitles) {
    EpubWriter writer(details(), 0);
    writer.heading({}, u"楔子", {}, HeadingRank::Chapter);
    writer.heading({}, u"上卷", {}, HeadingRank::Volume);
    writer.heading({}, u"第一回", {}, HeadingRank::Chapter);
    writer.paragraph({}, u"文。", {});
    writer.heading({}, u"第二回", {}, HeadingRank::Chapter);
    writer.paragraph({}, u"又文。", {});
    writer.heading({}, u"下卷", {}, HeadingRank::Volume);
    writer.paragraph({}, u"卷首语。", {});
    writer.heading({}, u"第三回", {}, HeadingRank::Chapter);
    writer.paragraph({}, u"末。", {});
    const EpubBook book = readEpub(bytesOf(writer));
    const auto& d = book.documents;
    ASSERT_EQ(d.size(), 4U);
    const std::vector<TocItem> expected = {
        {"楔子", d[0], {}},
        {"上卷", d[0] + "#h2", {{"第一回", d[0] + "#h3", {}}, {"第二回", d[1], {}}}},
        {"下卷", d[2], {{"第三回", d[3], {}}}},
    };
    EXPECT_EQ(book.nav, expected);
    EXPECT_EQ(book.ncx, expected);
    EXPECT_EQ(writer.chapters(), 6U);
    EXPECT_NE(book.files.at("OEBPS/toc.ncx").find("dtb:depth\" content=\"2\""), std::string::npos);
    EXPECT_EQ(book.texts("h1"), (std::vector<std::string>{"上卷", "下卷"}));
    EXPECT_NE(book.files.at(d[0]).find("<h1 id=\"h2\">上卷</h1>"), std::string::npos);
    EXPECT_NE(book.files.at(d[2]).find("<body epub:type=\"bodymatter part\">"), std::string::npos);
    EXPECT_EQ(book.blocks[7].text, "卷首语。");
    EXPECT_EQ(book.blocks[7].document, d[2]);
}

// Under the tidy mode the headings a line's look alone makes (a poem's title,
// 其二) and the source's own contents start no chapter: subheadings and a
// list, in the chapter or the front matter they stand in.
TEST(Epub, SubheadingsAndTheSourcesContentsStartNoChapter) {
    EpubWriter writer(details(), 0);
    writer.heading({}, u"雨夜", {}, HeadingRank::Minor);
    writer.heading({}, u"目 录", {}, HeadingRank::Chapter);
    writer.listEntry(u"　　", u"第一章　来客", {});
    writer.listEntry(u"　　", u"第二章　归去", {});
    writer.heading({}, u"第一章　来客", {}, HeadingRank::Chapter);
    writer.paragraph({}, u"他吟道：", {});
    writer.heading({}, u"其二", {}, HeadingRank::Minor);
    writer.paragraph({}, u"月落乌啼。", {});
    writer.heading({}, u"第二章　归去", {}, HeadingRank::Chapter);
    writer.paragraph({}, u"完。", {});
    const EpubBook book = readEpub(bytesOf(writer));
    const auto& d = book.documents;
    ASSERT_EQ(d.size(), 3U);
    EXPECT_EQ(titles(book.nav), (std::vector<std::string>{"第一章　来客", "第二章　归去"}));
    EXPECT_EQ(book.nav[0].target, d[1]);
    std::vector<std::pair<std::string, std::string>> blocks;
    for (const Block& b : book.blocks) blocks.push_back({b.tag, b.text});
    EXPECT_EQ(blocks, (std::vector<std::pair<std::string, std::string>>{
                          {"h3", "雨夜"}, {"h3", "目 录"}, {"li", "第一章　来客"}, {"li", "第二章　归去"},
                          {"h2", "第一章　来客"}, {"p", "他吟道："}, {"h3", "其二"}, {"p", "月落乌啼。"},
                          {"h2", "第二章　归去"}, {"p", "完。"}}));
    EXPECT_EQ(book.blocks[3].document, d[0]);
    EXPECT_EQ(book.blocks[6].document, d[1]);
    EXPECT_EQ(writer.chapters(), 2U);
}

// The pieces the paragraph writers cut one source paragraph into are one
// paragraph again; only a long one is cut, where they cut it.
TEST(Epub, PiecesOfOneSourceParagraphAreJoined) {
    EpubWriter writer(details(), 0);
    writer.paragraph(u"　　", u"他来了。", {});
    writer.paragraph(u"　　", u"“你好。”", {});
    writer.paragraphEnds();
    writer.paragraph(u"　　", u"第二段。", {});
    writer.paragraphEnds();
    const Text sentence = Text(499, u'长') + u"。";  // 500 units
    for (int i = 0; i < 7; ++i) writer.paragraph(u"　　", sentence, {});
    writer.paragraphEnds();
    writer.paragraph(u"＞", u"另一种缩进。", {});
    writer.paragraph(u"　　", u"样式变了。", {});
    const EpubBook book = readEpub(bytesOf(writer));
    const std::string s = toUtf8(sentence);
    EXPECT_EQ(book.texts("p"), (std::vector<std::string>{"他来了。“你好。”", "第二段。", s + s + s, s + s + s, s,
                                                         "另一种缩进。", "样式变了。"}));
}

TEST(Epub, BlankHeadingsNameNoChapter) {
    EpubWriter writer(details(), 0);
    writer.heading(u"《", u"第一章", u"》", HeadingRank::Chapter);
    writer.paragraph({}, u"一。", {});
    writer.heading(u"《", u"", u"》", HeadingRank::Chapter);
    writer.heading(u"《", u"　 ", u"》", HeadingRank::Chapter);
    writer.paragraph({}, u"二。", {});
    const EpubBook book = readEpub(bytesOf(writer));
    EXPECT_EQ(book.documents.size(), 1U);
    EXPECT_EQ(titles(book.nav), std::vector<std::string>{"第一章"});
    EXPECT_EQ(book.texts("p"), (std::vector<std::string>{"一。", "二。"}));
}

TEST(Epub, BooksWithoutHeadingsOrTextStillHaveContents) {
    EpubWriter headless(details(u"无题"), 0);
    headless.plainLine(u"第一行");
    const EpubBook book = readEpub(bytesOf(headless));
    EXPECT_EQ(book.nav, (std::vector<TocItem>{{"无题", book.documents[0], {}}}));
    EXPECT_EQ(book.texts("p"), std::vector<std::string>{"第一行"});

    EpubWriter empty(details(u"空"), 0);
    const EpubBook nothing = readEpub(bytesOf(empty));
    EXPECT_EQ(nothing.documents.size(), 1U);
    EXPECT_EQ(titles(nothing.ncx), std::vector<std::string>{"空"});
    EXPECT_TRUE(nothing.blocks.empty());
}

TEST(Epub, LongChaptersAreSpreadOverDocuments) {
    EpubWriter writer(details(), 0);
    writer.heading({}, u"长章", {}, HeadingRank::Chapter);
    std::vector<std::string> paragraphs;
    for (int i = 0; i < 120; ++i) {
        const Text body = Text(3000, u'字') + fromUtf8(std::to_string(i)) + u"。";
        writer.paragraph(u"　　", body, {});
        writer.paragraphEnds();
        paragraphs.push_back(toUtf8(body));
    }
    writer.heading({}, u"短章", {}, HeadingRank::Chapter);
    writer.paragraph(u"　　", u"短。", {});
    const EpubBook book = readEpub(bytesOf(writer));
    paragraphs.push_back("短。");
    ASSERT_EQ(book.documents.size(), 5U) << "120 paragraphs of 9 KB: 4 documents of about 300 KB, then the next chapter";
    for (const std::string& path : book.documents)
        EXPECT_LT(book.files.at(path).size(), EpubWriter::kDocumentLimit + 10 * 1024) << path;
    EXPECT_EQ(book.texts("p"), paragraphs);
    EXPECT_EQ(book.texts("h2"), (std::vector<std::string>{"长章", "短章"})) << "continued documents have no heading";
    EXPECT_EQ(book.nav, (std::vector<TocItem>{{"长章", book.documents[0], {}}, {"短章", book.documents[4], {}}}));
}

TEST(Epub, IndentsAndEndingsAreStylesNotText) {
    EpubWriter writer(details(), 0);
    writer.paragraph(u"　　", u"正文。", u"");
    writer.plainLine(u"原样一行");
    writer.paragraph(u"　", u"第一章", u"…");
    writer.paragraphEnds();
    writer.paragraph(u"　　", u"又一段。", u"");
    const EpubBook book = readEpub(bytesOf(writer));
    ASSERT_EQ(book.blocks.size(), 4U);
    EXPECT_EQ(book.texts("p"), (std::vector<std::string>{"正文。", "原样一行", "第一章", "又一段。"}));
    EXPECT_EQ(book.blocks[0].styleClass, "");
    EXPECT_EQ(book.blocks[1].styleClass, "s1");
    EXPECT_EQ(book.blocks[2].styleClass, "s2");
    EXPECT_EQ(book.blocks[3].styleClass, "");
    EXPECT_NE(book.css.find("p.s2 { text-indent: 1em; }"), std::string::npos) << book.css;
    EXPECT_NE(book.css.find("p.s2::after { content: \"\\2026 \"; }"), std::string::npos) << book.css;
}

TEST(Epub, WhatMarkupCannotHoldIsReplacedAndCountedOnce) {
    EpubWriter writer(details(u"书\x01"), 0);
    writer.heading({}, u"章\x02", {}, HeadingRank::Chapter);  // written four times, counted once
    writer.paragraph({}, u"坏\xDC80\xDCFF字。", {});
    const EpubBook book = readEpub(bytesOf(writer));
    EXPECT_EQ(writer.replacedCharacters(), 4U);
    EXPECT_EQ(book.title, "书\uFFFD");
    EXPECT_EQ(titles(book.nav), std::vector<std::string>{"章\uFFFD"});
    EXPECT_EQ(book.texts("p"), std::vector<std::string>{"坏\uFFFD\uFFFD字。"});
}

TEST(Epub, MetadataAndVerticalWriting) {
    BookDetails d = details(u"紅樓夢");
    d.author = u"曹雪芹 & 高鶚";
    d.vertical = true;
    d.sourceName = u"紅樓夢.txt";
    EpubWriter writer(d, 0);
    writer.heading({}, u"第1回", {}, HeadingRank::Chapter);
    writer.paragraph({}, u"這個時候，他們還沒有來，到了12月2023年。", {});
    const EpubBook book = readEpub(bytesOf(writer));
    EXPECT_EQ(book.author, "曹雪芹 & 高鶚");
    EXPECT_EQ(book.language, "zh-Hant");
    EXPECT_EQ(book.progression, "rtl");
    const std::string& opf = book.files.at("OEBPS/content.opf");
    for (const char* meta : {"<meta name=\"primary-writing-mode\" content=\"vertical-rl\"/>",
                             "<meta refines=\"#author\" property=\"role\" scheme=\"marc:relators\">aut</meta>",
                             "<dc:source>紅樓夢.txt</dc:source>", "<dc:date>2001-02-03T04:05:06Z</dc:date>"})
        EXPECT_NE(opf.find(meta), std::string::npos) << meta;
    EXPECT_NE(book.css.find(" writing-mode: vertical-rl;"), std::string::npos);
    EXPECT_NE(book.css.find("\"Noto Serif CJK TC\""), std::string::npos);
    EXPECT_NE(book.files.at("OEBPS/nav.xhtml").find("<h1>目錄</h1>"), std::string::npos);
    // One or two digits stand upright in vertical lines; longer numbers lie as they are.
    const std::string& chapter = book.files.at(book.documents[0]);
    EXPECT_NE(chapter.find("第<span class=\"tcy\">1</span>回"), std::string::npos) << chapter;
    EXPECT_NE(chapter.find("到了<span class=\"tcy\">12</span>月2023年"), std::string::npos) << chapter;
    EXPECT_EQ(book.texts("p"), std::vector<std::string>{"這個時候，他們還沒有來，到了12月2023年。"});

    d.language = "en";
    EpubWriter given(d, 0);
    given.paragraph({}, u"這個時候。", {});
    EXPECT_EQ(readEpub(bytesOf(given)).language, "en");
}

void writeSample(EpubWriter& writer, const Text& last = u"完。") {
    writer.heading(u"《", u"第一章", u"》", HeadingRank::Chapter);
    for (int i = 0; i < 300; ++i) writer.paragraph(u"　　", u"他说：“第" + fromUtf8(std::to_string(i)) + u"句。”", {});
    writer.paragraph(u"　　", last, {});
}

TEST(Epub, ZipLayout) {
    EpubWriter writer(details(), 0);
    writeSample(writer);
    const std::string bytes = bytesOf(writer);
    // mimetype: the first local header, stored, no extra field, at a fixed place.
    EXPECT_EQ(bytes.substr(0, 4), "PK\x03\x04");
    EXPECT_EQ(bytes.substr(8, 2), std::string("\0\0", 2)) << "stored";
    const formats::DosTime time = formats::dosTimeOf(981173106);
    EXPECT_EQ(static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8, time.time);
    EXPECT_EQ(static_cast<unsigned char>(bytes[12]) | static_cast<unsigned char>(bytes[13]) << 8, time.date);
    EXPECT_EQ(bytes.substr(26, 4), std::string("\x08\0\0\0", 4)) << "name of 8 bytes, no extra field";
    EXPECT_EQ(bytes.substr(30, 28), "mimetypeapplication/epub+zip");
    const std::vector<ZipItem> items = readZip(bytes);
    ASSERT_GE(items.size(), 7U);
    EXPECT_EQ(items[1].name, "META-INF/container.xml");
    for (std::size_t i = 1; i < items.size(); ++i) EXPECT_FALSE(items[i].stored) << items[i].name;
    EXPECT_EQ(items[0].localExtraFields, 0);
}

TEST(Epub, DosTimesAreUtcAndClamped) {
    struct Row {
        std::int64_t seconds;
        unsigned year, month, day, hour, minute, second;
    };
    for (const Row& r : {Row{981173106, 2001, 2, 3, 4, 5, 6}, Row{0, 1980, 1, 1, 0, 0, 0},
                         Row{4354819199 + 86400, 2107, 12, 31, 23, 59, 58}}) {
        const formats::DosTime t = formats::dosTimeOf(r.seconds);
        EXPECT_EQ(t.date, ((r.year - 1980) << 9) | (r.month << 5) | r.day) << r.seconds;
        EXPECT_EQ(t.time, (r.hour << 11) | (r.minute << 5) | (r.second / 2)) << r.seconds;
    }
}

TEST(Epub, SameEventsGiveTheSameBytesWhateverTheThreadsAndTimeZone) {
    EpubWriter inlineWriter(details(), 0);
    writeSample(inlineWriter);
    const std::string reference = bytesOf(inlineWriter);
    EpubWriter helped(details(), 3);
    writeSample(helped);
    EXPECT_EQ(bytesOf(helped), reference);

    const char* zone = std::getenv("TZ");
    const std::string savedZone = zone ? zone : "";
    ::setenv("TZ", "Asia/Shanghai", 1);
    ::tzset();
    EpubWriter elsewhere(details(), 0);
    writeSample(elsewhere);
    const std::string there = bytesOf(elsewhere);
    if (zone) ::setenv("TZ", savedZone.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
    EXPECT_EQ(there, reference);

    // The identifier follows the title, the author and the text, and only
    // those: a book set vertically or with the reader's style sheet, or
    // typeset again later, keeps its place in a reader's library.
    const std::string id = readEpub(reference).identifier;
    EXPECT_EQ(id.substr(0, 9), "urn:uuid:");
    EXPECT_EQ(id[9 + 14], '5') << "a name-based (SHA-1) UUID";
    struct Row {
        const char* name;
        void (*change)(BookDetails&);
        Text last;
        bool same;
    };
    const Row rows[] = {
        {"other_text", [](BookDetails&) {}, u"终。", false},
        {"other_title", [](BookDetails& d) { d.title = u"别书"; }, u"完。", false},
        {"other_author", [](BookDetails& d) { d.author = u"某"; }, u"完。", false},
        {"later", [](BookDetails& d) { d.modified += 3600; }, u"完。", true},
        {"vertical", [](BookDetails& d) { d.vertical = true; }, u"完。", true},
        {"own_style_sheet", [](BookDetails& d) { d.style = "p { line-height: 2; }"; }, u"完。", true},
        {"own_cover", [](BookDetails& d) {
             d.cover = std::make_shared<const std::string>("\xFF\xD8\xFF\xE0 a cover");
             d.coverType = "image/jpeg";
         }, u"完。", true},
    };
    for (const Row& row : rows) {
        BookDetails d = details();
        row.change(d);
        EpubWriter other(d, 0);
        writeSample(other, row.last);
        EXPECT_EQ(readEpub(bytesOf(other)).identifier == id, row.same) << row.name;
    }
}

// Helpers the system will not start -- none, or fewer than asked for (the
// limit counts the child itself) -- leave their work to the others and to
// the writer's own thread: the same bytes, no abort.
TEST(Epub, HelpersThatCannotStartChangeNothing) {
    EpubWriter inlineWriter(details(), 0);
    writeSample(inlineWriter);
    const std::string reference = bytesOf(inlineWriter);
    for (long limit : {0L, 2L, 3L}) {
        const ChildResult child = runInChild(
            [&reference](std::string&) {
                EpubWriter helped(details(), 3);
                writeSample(helped);
                return bytesOf(helped) == reference ? 0 : 1;
            },
            {.unprivileged = true, .maxProcesses = limit});
        EXPECT_EQ(child.status, 0) << "under a limit of " << limit;
    }
}

TEST(Epub, WriteFailuresNameTheFileAndTheReason) {
    EpubWriter writer(details(), 0);
    writeSample(writer);
    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    try {
        writer.finish(full, "/books/kovra-a.epub");
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_STREQ(e.what(), "/books/kovra-a.epub: cannot write: No space left on device");
    }
    ::close(full);
}

}  // namespace
}  // namespace quenlet::test
