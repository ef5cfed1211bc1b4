// Where a book's title and author come from when the user gives neither: the
// file name, then the first lines -- and what must give nothing, since a
// wrong title on a library's tile is worse than the file name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/book_title.h"
#include "text/utf8.h"

namespace quenlet::formats {
namespace {

Text text(const std::string& utf8) {
    Text out;
    fromUtf8Strict(utf8, out);
    return out;
}

struct Found {
    std::string title, author;
};

Found found(const TitleAndAuthor& got) { return {toUtf8(got.title), toUtf8(got.author)}; }

TEST(BookTitle, FromTheFileName) {
    struct Row {
        const char* name;
        Found expected;
    } rows[] = {
        {"《希灵帝国》作者：远瞳", {"希灵帝国", "远瞳"}},
        {"书名 作者：某甲", {"书名", "某甲"}},
        {"水浒传_施耐庵", {"水浒传", "施耐庵"}},
        {"儒林外史（清）吴敬梓", {"儒林外史", "吴敬梓"}},
        // Nothing with the form of a title and an author: the writer falls back on the name.
        {"laocan-gbk", {"", ""}},
        {"三国演义", {"", ""}},
        {"第一章 开端", {"", ""}},
        {"【免费下载】www.txt.com", {"", ""}},
    };
    for (const Row& row : rows) {
        const Found got = found(titleFromFileName(text(row.name)));
        EXPECT_EQ(got.title, row.expected.title) << row.name;
        EXPECT_EQ(got.author, row.expected.author) << row.name;
    }
}

TEST(BookTitle, FromTheFirstLines) {
    struct Row {
        std::vector<const char*> lines;
        Found expected;
    } rows[] = {
        {{"书名：雨夜", "作者：无名氏", "正文"}, {"雨夜", "无名氏"}},
        {{"《水浒传》施耐庵", "第一回"}, {"水浒传", "施耐庵"}},
        {{"老残游记", "[清]刘鹗"}, {"老残游记", "刘鹗"}},
        // A heading, a sentence or a site's advertisement is no title.
        {{"第一章 开端", "他走进房间，看见桌上放着一封信。"}, {"", ""}},
        {{"本书由www.txt.com整理，更多小说请访问", "第一章"}, {"", ""}},
    };
    for (const Row& row : rows) {
        std::vector<Text> lines;
        for (const char* line : row.lines) lines.push_back(text(line));
        const Found got = found(titleFromOpening(lines));
        EXPECT_EQ(got.title, row.expected.title) << row.lines.front();
        EXPECT_EQ(got.author, row.expected.author) << row.lines.front();
    }
}

}  // namespace
}  // namespace quenlet::formats
