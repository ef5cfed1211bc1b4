// EPUBs made by quenlet-cli, read back and compared with the text output of
// the same run: the table of contents lists exactly its chapter headings,
// the chapters hold exactly its text, its paragraphs joined as the source
// had them. Also the names, the batch, the reproducible bytes, the options
// of a book, the failures, and epubcheck's verdict.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "child_process.h"
#include "cli_runner.h"
#include "text/encoding.h"
#include "epub_reader.h"
#include "formats/epub_writer.h"
#include "run/file_run.h"
#include "temp_dir.h"

namespace quenlet::test {
namespace {

// A small novel as it is downloaded: front matter, chapter titles, lines
// broken inside paragraphs, run-together sentences, odd marks.
std::string novel(int chapters = 6) {
    std::string text = "书名：雨夜\r\n作者：无名氏\r\n\r\n嗯\r\n";
    for (int i = 1; i <= chapters; ++i) {
        text += "第" + std::to_string(i) + "章　来客 & <门>\r\n";
        text += "    夜里下起了雨，街上的灯一盏接一盏地\r\n灭了。老陈关好店门，坐在柜台后面。\r\n";
        text += "    他说：\"谁呀？\"门外的人说：“我是过路的。”然后走了。。\r\n";
        text += "??????\r\n    老陈犹豫了一下～还是开了门。\r\n";
    }
    return text;
}

// A picture of one pixel, as a PNG file holds it.
const std::string kPng(
    "\x89\x50\x4E\x47\x0D\x0A\x1A\x0A\x00\x00\x00\x0D\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08\x06"
    "\x00\x00\x00\x1F\x15\xC4\x89\x00\x00\x00\x0A\x49\x44\x41\x54\x78\x9C\x63\x00\x01\x00\x00\x05\x00\x01"
    "\x0D\x0A\x2D\xB4\x00\x00\x00\x00\x49\x45\x4E\x44\xAE\x42\x60\x82",
    67);

std::vector<std::string> titles(const std::vector<TocItem>& items) {
    std::vector<std::string> out;
    for (const TocItem& item : items) out.push_back(item.title);
    return out;
}

struct TextLayout {
    std::string open = "《", close = "》", indent = "\u3000\u3000", end;
};

// The text output's headings, each with all the text after it up to the
// next: what the same stretch of an EPUB of the same run must hold, markers
// and indents removed and the paragraphs joined (the book joins the pieces
// the text copy cuts a source paragraph into). The count of paragraphs too.
struct Section {
    std::string heading;
    std::string text;
    bool operator==(const Section&) const = default;
};
void PrintTo(const Section& s, std::ostream* os) { *os << "[" << s.heading << "] " << s.text; }

std::vector<Section> textSections(const std::string& output, const TextLayout& layout, std::size_t* paragraphs = nullptr) {
    std::vector<Section> sections(1);
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find("\r\n", start);
        const std::string line = output.substr(start, end - start);
        start = end + 2;
        auto strip = [&](const std::string& before, const std::string& after) {
            EXPECT_TRUE(line.starts_with(before) && line.ends_with(after)) << line;
            return line.substr(before.size(), line.size() - before.size() - after.size());
        };
        if (line.empty()) continue;
        if (!layout.open.empty() && line.starts_with(layout.open)) {
            sections.push_back({strip(layout.open, layout.close), {}});
        } else {
            sections.back().text += strip(layout.indent, layout.end);
            if (paragraphs) ++*paragraphs;
        }
    }
    return sections;
}

std::vector<Section> bookSections(const EpubBook& book, std::size_t* paragraphs = nullptr) {
    std::vector<Section> sections(1);
    for (const Block& b : book.blocks) {
        if (b.tag == "h1" || b.tag == "h2" || b.tag == "h3") {
            sections.push_back({b.text, {}});
        } else {
            sections.back().text += b.text;
            if (paragraphs) ++*paragraphs;
        }
    }
    return sections;
}

struct LayoutRow {
    const char* name;
    std::vector<std::string> options;
    TextLayout layout;
    std::vector<std::string> chapters;  // as the book's contents list them
    std::size_t paragraphs;             // the book's
};

void PrintTo(const LayoutRow& row, std::ostream* os) { *os << row.name; }

class TextAndBook : public ::testing::TestWithParam<LayoutRow> {};

TEST_P(TextAndBook, HoldTheSameHeadingsAndText) {
    TempDir dir;
    const std::string source = dir.write("a.txt", novel(3));
    std::vector<std::string> args = GetParam().options;
    args.insert(args.end(), {"-q", "--format", "txt,epub", source});
    const CliResult r = runCli(args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::size_t textParagraphs = 0, bookParagraphs = 0;
    const auto expected = textSections(readFile(dir.path("kovra-a.txt")), GetParam().layout, &textParagraphs);
    const EpubBook book = readEpub(readFile(dir.path("kovra-a.epub")));
    EXPECT_EQ(bookSections(book, &bookParagraphs), expected);
    EXPECT_EQ(bookParagraphs, GetParam().paragraphs) << "the text copy has " << textParagraphs;
    std::vector<std::string> contents;
    for (const TocItem& item : book.nav) contents.push_back(item.title);
    EXPECT_EQ(contents, GetParam().chapters);
    EXPECT_EQ(book.ncx, book.nav);
    EXPECT_EQ(book.title, "雨夜") << "from the first lines";
    EXPECT_EQ(book.author, "无名氏");
}

const std::vector<std::string> kChapters = {"第1章　来客&<门>", "第2章　来客&<门>", "第3章　来客&<门>"};

// Each chapter's three source paragraphs stay three (the text copy cuts
// them into six); the short lines before the first chapter make one. The
// tidy mode sets a heading's number and title apart with one gap and takes
// out the other spaces; without it the headings are the rules' own.
INSTANTIATE_TEST_SUITE_P(
    Epub, TextAndBook,
    ::testing::Values(LayoutRow{"default", {}, {}, kChapters, 1 + 3 * 3},
                      LayoutRow{"own_markers_indent_and_ending",
                                {"--heading-open", "[", "--heading-close", "]", "--indent", "> ", "--paragraph-end", "|"},
                                {"[", "]", "> ", "|"},
                                kChapters,
                                1 + 3 * 3},
                      LayoutRow{"no_split", {"--no-split"}, {}, kChapters, 1 + 3 * 3},
                      LayoutRow{"no_tidy",
                                {"--no-tidy"},
                                {},
                                // (the default rules join the first heading to the short lines before it)
                                {"第2章来客&<门>", "第3章来客&<门>"},
                                3 * 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EpubOutput, NamesAndWhatIsWritten) {
    struct Row {
        const char* source;
        const char* book;
    };
    for (const Row& r : {Row{"/a/b.txt", "/a/kovra-b.epub"}, Row{"b.TXT", "kovra-b.epub"},
                         Row{"/a/c.text", "/a/kovra-c.text.epub"}, Row{"/a/d", "/a/kovra-d.epub"},
                         Row{"/a/kovra-e.Txt", "/a/kovra-kovra-e.epub"}})
        EXPECT_EQ(bookPathFor(r.source, ".epub"), r.book) << r.source;

    TempDir dir;
    const std::string source = dir.write("a.txt", novel(1));
    ASSERT_EQ(runCli({"-q", "--epub", source}).status, 0);
    EXPECT_TRUE(exists(dir.path("kovra-a.epub")));
    EXPECT_FALSE(exists(dir.path("kovra-a.txt"))) << "--epub writes the book instead of the text";
    ASSERT_EQ(runCli({"-q", "--format", "txt", source}).status, 0);
    EXPECT_TRUE(exists(dir.path("kovra-a.txt")));
    const CliResult json = runCli({"--json", "--format", "epub,txt", source});
    EXPECT_NE(json.out.find("\"output\": \"" + dir.path("kovra-a.txt") + "\", \"epub\": \"" + dir.path("kovra-a.epub")),
              std::string::npos)
        << json.out;
    EXPECT_EQ(readFile(source), novel(1));
}

TEST(EpubOutput, SameInputSameBytesWithTheSourcesTime) {
    TempDir dir;
    const std::string source = dir.write("a.txt", novel());
    const timeval times[2] = {{981173106, 0}, {981173106, 0}};  // 2001-02-03T04:05:06Z
    ASSERT_EQ(::utimes(source.c_str(), times), 0);
    ASSERT_EQ(runCli({"-q", "--epub", source}).status, 0);
    const std::string first = readFile(dir.path("kovra-a.epub"));
    ::usleep(1100 * 1000);  // a second later: nothing may depend on the clock
    ASSERT_EQ(runCli({"-q", "--epub", source}).status, 0);
    EXPECT_EQ(readFile(dir.path("kovra-a.epub")), first);
    const EpubBook book = readEpub(first);
    EXPECT_EQ(book.modified, "2001-02-03T04:05:06Z");
    const formats::DosTime dos = formats::dosTimeOf(981173106);
    EXPECT_EQ(static_cast<unsigned char>(first[12]) | static_cast<unsigned char>(first[13]) << 8, dos.date);
}

TEST(EpubOutput, BatchesGiveTheSameBooksWithAnyNumberOfJobs) {
    TempDir one, three;
    for (const TempDir* dir : {&one, &three}) {
        dir->write("a.txt", novel(2));
        dir->write("sub/b.TXT", "他說：「這個時候，我們還沒有見過。」\r\n第一回\r\n正文。\r\n");
        dir->write("sub/c.txt", novel(3));
    }
    ASSERT_EQ(runCli({"-q", "--format", "txt,epub", "--batch", one.path(), "--jobs", "1"}).status, 0);
    ASSERT_EQ(runCli({"-q", "--format", "txt,epub", "--batch", three.path(), "--jobs", "3"}).status, 0);
    for (const char* name : {"kovra-a.epub", "sub/kovra-b.epub", "sub/kovra-c.epub", "kovra-a.txt", "sub/kovra-b.TXT"})
        EXPECT_EQ(readFile(one.path(name)), readFile(three.path(name))) << name;
    EXPECT_EQ(readEpub(readFile(one.path("sub/kovra-b.epub"))).language, "zh-Hant");
    EXPECT_EQ(readEpub(readFile(one.path("kovra-a.epub"))).language, "zh-Hans");
}

// Two sources whose books have one name (a.txt and a.TXT, or a.txt and a):
// the book is the first's in the run's order, the second is a failure naming
// both, for single files and for a batch on any number of jobs alike.
TEST(EpubOutput, TwoSourcesWithOneBookNameFailTheSecond) {
    struct Row {
        const char* name;
        std::vector<std::string> sources;  // none for a batch
        const char* jobs;                  // of the batch
        const char* first;
        const char* second;
    };
    const Row rows[] = {
        {"letter case", {"a.txt", "a.TXT", "b.txt"}, "", "a.txt", "a.TXT"},
        {"no extension", {"a", "a.txt"}, "", "a", "a.txt"},
        {"batch of one job", {}, "1", "a.TXT", "a.txt"},
        {"batch of three jobs", {}, "3", "a.TXT", "a.txt"},
    };
    for (const Row& row : rows) {
        TempDir dir;
        dir.write("a.txt", "第一章甲\r\n他来了。\r\n");
        dir.write("a.TXT", "第一章乙\r\n她来了。\r\n");
        dir.write("a", "第一章丙\r\n它来了。\r\n");
        dir.write("b.txt", novel(1));
        dir.write("sub/a.txt", novel(1));  // another folder: no clash
        std::vector<std::string> args = {"--json", "--format", "txt,epub"};
        for (const std::string& source : row.sources) args.push_back(dir.path(source));
        if (row.sources.empty()) args.insert(args.end(), {"--batch", dir.path(), "--jobs", row.jobs});
        const CliResult r = runCli(args);
        EXPECT_EQ(r.status, 1) << row.name;
        const std::string first = dir.path(row.first), second = dir.path(row.second);
        EXPECT_NE(r.err.find("quenlet-cli: " + second + ": its book " + dir.path("kovra-a.epub") +
                             " would replace the book of " + first + ", earlier in this run; rename one of the two\n"),
                  std::string::npos)
            << row.name << ": " << r.err;
        const std::string title = std::string(row.first) == "a" ? "丙" : std::string(row.first) == "a.txt" ? "甲" : "乙";
        EXPECT_EQ(readEpub(readFile(dir.path("kovra-a.epub"))).texts("h2"), std::vector<std::string>{"第一章\u3000" + title})
            << row.name;
        EXPECT_FALSE(exists(dir.path("kovra-" + std::string(row.second)))) << row.name << ": the text copy neither";
        if (row.sources.empty()) {
            // (a line per file, then the batch's totals)
            EXPECT_NE(r.out.find("\n{\"files\": 3,"), std::string::npos) << row.name << ": " << r.out;
            EXPECT_NE(r.out.find("{\"path\": \"" + second + "\", \"failure\": {\"kind\": \"output-name-taken\""),
                      std::string::npos)
                << row.name << ": a script tells the clash by its kind: " << r.out;
        }
    }
}

// The tidy mode (which a book turns on) ranks volumes above chapters and
// keeps a table of contents as a list: the book's contents get two levels,
// the source's own contents stay a list in the front matter, and the book
// still holds exactly the headings and text of the text copy.
TEST(EpubOutput, TidyVolumesGiveContentsOfTwoLevels) {
    TempDir dir;
    const std::string source = dir.write(
        "卷.txt",
        "目录\r\n第一章 来客\r\n第二章 归去\r\n\r\n第一卷 风起\r\n第一章 来客\r\n"
        "    夜里下起了雨，街上的灯一盏接一盏地灭了。\r\n更新时间:2007-1-16 7:55:51 本章字数:5791\r\n"
        "第二章 归去\r\n    他说：“我走了。\r\n第二卷 云散\r\n第三章 又来\r\n    天亮了。\r\n");
    ASSERT_EQ(runCli({"-q", "--format", "txt,epub", source}).status, 0);
    const std::string text = readFile(dir.path("kovra-卷.txt"));
    EXPECT_EQ(text.find("更新时间"), std::string::npos);
    const EpubBook book = readEpub(readFile(dir.path("kovra-卷.epub")));
    EXPECT_EQ(bookSections(book), textSections(text, {}));
    EXPECT_EQ(book.texts("li"), (std::vector<std::string>{"第一章　来客", "第二章　归去"}));
    EXPECT_EQ(book.texts("h3"), std::vector<std::string>{"目录"});
    ASSERT_EQ(book.nav.size(), 2U);
    EXPECT_EQ(book.nav[0].title, "第一卷　风起");
    EXPECT_EQ(book.nav[1].title, "第二卷　云散");
    std::vector<std::string> chapters;
    for (const TocItem& volume : book.nav)
        for (const TocItem& chapter : volume.children) chapters.push_back(chapter.title);
    EXPECT_EQ(chapters, (std::vector<std::string>{"第一章　来客", "第二章　归去", "第三章　又来"}));
    EXPECT_EQ(book.ncx, book.nav);
}

// A conversion reaches the book as it reaches the text copy, and sets its language.
TEST(EpubOutput, ConversionsReachTheBookAndItsLanguage) {
    TempDir dir;
    const std::string source = dir.write("a.txt", "第一章 来客\r\n他说：“这个时候，我们还没有见过。”\r\n");
    struct Row {
        const char* conversion;
        const char* language;
        const char* heading;
    };
    for (const Row& row : {Row{"s2tw", "zh-TW", "第一章　來客"}, Row{"s2hk", "zh-HK", "第一章　來客"},
                           Row{"s2t", "zh-Hant", "第一章　來客"}, Row{"t2s", "zh-Hans", "第一章　来客"}}) {
        ASSERT_EQ(runCli({"-q", "--convert", row.conversion, "--format", "txt,epub", source}).status, 0);
        const EpubBook book = readEpub(readFile(dir.path("kovra-a.epub")));
        EXPECT_EQ(book.language, row.language) << row.conversion;
        EXPECT_EQ(bookSections(book), textSections(readFile(dir.path("kovra-a.txt")), {})) << row.conversion;
        EXPECT_EQ(book.texts("h2"), std::vector<std::string>{row.heading}) << row.conversion;
    }
}

TEST(EpubOutput, BookOptions) {
    TempDir dir;
    const std::string source = dir.write("a.txt", novel(1));
    CliResult r = runCli({"-q", "--epub", "--title", "雨夜 <上>", "--author", "无名氏", "--language", "zh-Hant-TW",
                          "--vertical", source});
    ASSERT_EQ(r.status, 0) << r.err;
    const EpubBook book = readEpub(readFile(dir.path("kovra-a.epub")));
    EXPECT_EQ(book.title, "雨夜 <上>");
    EXPECT_EQ(book.author, "无名氏");
    EXPECT_EQ(book.language, "zh-Hant-TW");
    EXPECT_EQ(book.progression, "rtl");

    struct Usage {
        std::vector<std::string> args;
        std::string error;
    };
    const Usage usages[] = {
        {{"--title", "x", source}, "--title, --author, --language, --vertical, --cover, --css and --no-tidy describe"},
        {{"--css", "x.css", source}, "describe an EPUB"},
        {{"--epub", "--no-tidy", "--tidy", source}, "--no-tidy leaves the tidy mode off"},
        {{"--epub", "--cover", dir.path("none.png"), source}, "--cover: " + dir.path("none.png") + ": cannot read: No such file"},
        {{"--epub", "--cover", source, source}, "--cover: " + source + ": not a JPEG or PNG image"},
        {{"--epub", "--cover", dir.write("c.png", kPng), "--batch", dir.path()}, "--cover is one book's cover"},
        {{"--epub", "--css", dir.path(), source}, "--css: " + dir.path() + ": not a file"},
        {{"--epub", "--css", dir.write("a.css", "p { x: 1 }\n</style><script>"), source}, "holds markup"},
        {{"--epub", "--css", dir.write("b.css", "@import url(x.css);"), source}, "refers to other files"},
        {{"--epub", "--css", dir.write("c.css", "p {\x01}"), source}, "holds control characters"},
        {{"--epub", "--css", dir.write("d.css", "p { font-family: \"\xff\" }"), source}, "not UTF-8 text"},
        {{"--epub", "--language", "中文", source}, "--language: not a language tag"},
        {{"--epub", "--language", "zh-", source}, "--language: not a language tag"},
        {{"--epub", "--language", "z-TW", source}, "--language: not a language tag"},
        {{"--format", "txt,,epub", source}, "--format"},
        {{"--epub", "--title", "x", source, source}, "--title names one book"},
        {{"--epub", "--title", "x", "--batch", dir.path()}, "--title names one book"},
        {{"--epub", "-"}, "standard input (-) gives text only"},
        {{"--format", "pdf", source}, "--format"},
        {{"--epub", "--format", "epub", source}, "--format"},
        {{"--epub", "--author", "\xff", source}, "not valid UTF-8"},
    };
    for (const Usage& u : usages) {
        r = runCli(u.args);
        EXPECT_EQ(r.status, 2) << u.error;
        EXPECT_NE(r.err.find(u.error), std::string::npos) << r.err;
    }
}

// A book's chapters are what the tidy mode finds, so a book turns it on
// (site junk goes), unless --no-tidy; a long text with hardly any chapters
// is pointed out.
TEST(EpubOutput, ABookTurnsOnTheTidyModeAndSaysWhenChaptersAreFew) {
    TempDir dir;
    std::string text = "第一章 开端\r\n更新时间:2007-1-16 7:55:51 本章字数:5791\r\n";
    for (int i = 0; i < 1200; ++i) text += "    他走进房间，看见桌上放着一封信，信上写着几行字，他看了很久。\r\n";
    const std::string source = dir.write("a.txt", text);
    CliResult r = runCli({"-q", "--epub", source});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenlet-cli: note: " + dir.path("kovra-a.epub") + ": 1 chapter in " +
                         std::to_string(text.size() / 1024) + " KB of text; its contents list little\n");
    EpubBook book = readEpub(readFile(dir.path("kovra-a.epub")));
    EXPECT_EQ(titles(book.nav), std::vector<std::string>{"第一章　开端"});
    for (const Block& b : book.blocks) EXPECT_EQ(b.text.find("更新时间"), std::string::npos) << b.text;
    r = runCli({"-q", "--epub", "--no-tidy", source});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("(--no-tidy: every heading starts one)"), std::string::npos) << r.err;
    book = readEpub(readFile(dir.path("kovra-a.epub")));
    EXPECT_EQ(book.texts("h2"), std::vector<std::string>{"第一章开端"});
    EXPECT_NE(book.files.at(book.documents.back()).find("更新时间"), std::string::npos) << "the junk stays";
}

// The cover: drawn with the title and author as the book is set, or the
// user's own image, listed as the cover either way.
TEST(EpubOutput, CoversDrawnOrGiven) {
    TempDir dir;
    const std::string source = dir.write("《雨夜》作者：无名氏.txt", novel(1));
    ASSERT_EQ(runCli({"-q", "--epub", "--vertical", source}).status, 0);
    EpubBook book = readEpub(readFile(dir.path("kovra-《雨夜》作者：无名氏.epub")));
    EXPECT_EQ(book.title, "雨夜") << "from the file name";
    EXPECT_EQ(book.author, "无名氏");
    ASSERT_EQ(book.coverImage, "OEBPS/cover.svg");
    const std::string& svg = book.files.at(book.coverImage);
    EXPECT_NE(svg.find(">雨</text>"), std::string::npos) << "one character under the other: " << svg;
    EXPECT_NE(svg.find(">无</text>"), std::string::npos);
    EXPECT_EQ(book.spine.front(), "OEBPS/cover.xhtml");
    EXPECT_NE(book.files.at("OEBPS/content.opf").find("<meta name=\"cover\" content=\"cover-image\"/>"),
              std::string::npos);

    const std::string picture = dir.write("封面.png", kPng);
    const std::string css = dir.write("my.css", "p { line-height: 2.2; text-indent: 3em; }");
    ASSERT_EQ(runCli({"-q", "--epub", "--cover", picture, "--css", css, source}).status, 0);
    book = readEpub(readFile(dir.path("kovra-《雨夜》作者：无名氏.epub")));
    ASSERT_EQ(book.coverImage, "OEBPS/cover.png");
    EXPECT_EQ(book.files.at(book.coverImage), kPng);
    EXPECT_NE(book.files.at("OEBPS/cover.xhtml").find("viewBox=\"0 0 1 1\""), std::string::npos);
    EXPECT_TRUE(book.css.ends_with("p { line-height: 2.2; text-indent: 3em; }\n")) << book.css;
}

TEST(EpubOutput, UndecodableBytesBecomeReplacementCharactersWithAWarning) {
    TempDir dir;
    const std::string source = dir.write("a.txt", "他说，好\x80\x80的。\r\n");
    const CliResult r = runCli({"-q", "--format", "txt,epub", "--encoding", "utf-8", source});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quenlet-cli: warning: " + source + ": 2 bytes are not valid utf-8; they were copied unchanged\n"
                     "quenlet-cli: warning: " + dir.path("kovra-a.epub") + ": 2 characters cannot go into an EPUB "
                     "(undecodable bytes, control characters); they are shown as U+FFFD\n");
    EXPECT_EQ(readEpub(readFile(dir.path("kovra-a.epub"))).texts("p"),
              std::vector<std::string>{"他说，好\uFFFD\uFFFD的。"});
    EXPECT_NE(readFile(dir.path("kovra-a.txt")).find("\x80\x80"), std::string::npos) << "the text keeps the bytes";
}

std::size_t entries(const std::string& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(EpubFaults, FullDiskLeavesNoPartialBookAndTheEarlierOne) {
    for (const char* jobs : {"", "1", "2"}) {
        TempDir dir;
        const std::string source = dir.write("a.txt", novel(400));
        dir.write("kovra-a.epub", "earlier book");
        std::vector<std::string> args = {"-q", "--epub", source};
        if (*jobs) args = {"-q", "--epub", "--batch", dir.path(), "--jobs", jobs};
        const ChildResult child = runInChild(
            [&args](std::string& report) {
                const CliResult r = runCli(args);
                report = r.err;
                return r.status;
            },
            {.maxFileBytes = 16 * 1024});
        EXPECT_EQ(child.status, 1) << jobs;
        EXPECT_EQ(child.report, "quenlet-cli: " + dir.path("kovra-a.epub") + ": cannot write: File too large\n");
        EXPECT_EQ(readFile(dir.path("kovra-a.epub")), "earlier book");
        EXPECT_EQ(entries(dir.path()), 2U) << "no temporary file left";
    }
}

TEST(EpubFaults, UnwritableFolderIsReportedWithTheBooksName) {
    TempDir dir;
    const std::string source = dir.write("a.txt", novel(1));
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    const ChildResult child = runUnprivileged([&source](std::string& report) {
        const CliResult r = runCli({"-q", "--epub", source});
        report = r.err;
        return r.status;
    });
    ::chmod(dir.path().c_str(), 0777);
    EXPECT_EQ(child.status, 1);
    EXPECT_EQ(child.report, "quenlet-cli: " + dir.path("kovra-a.epub") + ": cannot create output: Permission denied\n");
    EXPECT_EQ(entries(dir.path()), 1U);
}

// Text and book are put in place together: a book whose name is taken by a
// folder fails the file before its text copy replaces the earlier one.
TEST(EpubFaults, ABookThatCannotBePutInPlaceLeavesTheTextCopyAsItWas) {
    TempDir dir;
    const std::string source = dir.write("a.txt", novel(1));
    dir.write("kovra-a.txt", "earlier copy");
    std::filesystem::create_directory(dir.path("kovra-a.epub"));
    const CliResult r = runCli({"-q", "--format", "txt,epub", source});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quenlet-cli: " + dir.path("kovra-a.epub") + ": cannot replace output: Is a directory\n");
    EXPECT_EQ(readFile(dir.path("kovra-a.txt")), "earlier copy");
    EXPECT_EQ(entries(dir.path()), 3U) << "no temporary file left";
}

// ---- epubcheck ----

constexpr const char* kEpubcheck = "/usr/share/java/epubcheck.jar";

// epubcheck's report on a book; empty with a reason when it cannot run here.
std::string epubcheck(const std::string& book, std::string& skipped) {
    if (::access(kEpubcheck, R_OK) != 0 || std::system("java -version >/dev/null 2>&1") != 0) {
        skipped = "epubcheck (Debian packages epubcheck and default-jre-headless) is not installed";
        return {};
    }
    const std::string command = "java -jar " + std::string(kEpubcheck) + " '" + book + "' 2>&1";
    std::string report;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) report.append(buffer, n);
    if (pipe) ::pclose(pipe);
    return report;
}

#define EXPECT_EPUBCHECK_ACCEPTS(book)                                                               \
    do {                                                                                             \
        std::string skipped;                                                                         \
        const std::string report = epubcheck(book, skipped);                                         \
        if (!skipped.empty()) GTEST_SKIP() << skipped;                                               \
        EXPECT_NE(report.find("\nNo errors or warnings detected."), std::string::npos) << report;    \
    } while (false)

TEST(Epubcheck, AcceptsABookWithVolumesLongChaptersStylesAndOddText) {
    TempDir dir;
    BookDetails details;
    details.title = u"书 <一> & \x01";
    details.author = u"某 & 某";
    formats::EpubWriter writer(details, 2);
    writer.paragraph(u"> ", u"前言 <b>&amp;</b>，坏字\xDC80。", u"|");
    writer.heading(u"《", u"上卷", u"》", HeadingRank::Volume);
    writer.listEntry(u"　", u"第一回", u"");
    writer.heading(u"《", u"第一回 \"引子\"", u"》", HeadingRank::Chapter);
    for (int i = 0; i < 200; ++i) writer.paragraph(u"> ", Text(1000, u'长') + u"。", u"|");
    writer.heading(u"《", u"", u"》", HeadingRank::Chapter);
    writer.heading(u"《", u"下卷", u"》", HeadingRank::Volume);
    writer.heading(u"《", u"第二回", u"》", HeadingRank::Chapter);
    writer.plainLine(u"\tA line\x0B as it stood");
    const std::string path = dir.path("book.epub");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    writer.finish(fd, path);
    ::close(fd);
    // The front matter, 上卷 with its list, 第一回 in two halves, 下卷 with 第二回 (no page of a title alone).
    ASSERT_EQ(readEpub(readFile(path)).documents.size(), 5U);
    EXPECT_EPUBCHECK_ACCEPTS(path);
}

TEST(Epubcheck, AcceptsAVerticalTraditionalBookWithoutHeadings) {
    TempDir dir;
    const std::string source = dir.write("紅樓夢.txt", "他說：「這個時候，我們還沒有見過12回。」\r\n");
    ASSERT_EQ(runCli({"-q", "--epub", "--vertical", "--author", "曹雪芹", source}).status, 0);
    const std::string book = dir.path("kovra-紅樓夢.epub");
    EXPECT_EQ(readEpub(readFile(book)).language, "zh-Hant");
    EXPECT_EPUBCHECK_ACCEPTS(book);
}

TEST(Epubcheck, AcceptsABookWithItsOwnCoverAndStyleSheet) {
    TempDir dir;
    const std::string source = dir.write("a.txt", novel(2));
    const std::string picture = dir.write("c.png", kPng);
    const std::string css = dir.write("my.css", "body { line-height: 2; }\np { margin-block-end: 0.3em; }\n");
    ASSERT_EQ(runCli({"-q", "--epub", "--cover", picture, "--css", css, source}).status, 0);
    EXPECT_EPUBCHECK_ACCEPTS(dir.path("kovra-a.epub"));
}

}  // namespace
}  // namespace quenlet::test
