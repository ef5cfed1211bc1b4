// A book's title and author as its source names them: in the file name
// (《书名》作者：某.txt, 书名 作者：某.txt, 书名_某.txt, 书名（清）某.txt) or in
// its first lines (书名：… and 作者：…, 《书名》某, [书名 / 某 著], 书名（清）某,
// or a title line followed by an author line such as [清]某). Only what has
// the form of one counts: a sentence, a chapter heading, a site's
// advertisement or a file name such as laocan-gbk gives nothing.
#pragma once

#include <vector>

#include "text/text.h"

namespace quenlet::formats {

struct TitleAndAuthor {
    Text title;   // empty when none was found
    Text author;  // the same
    bool operator==(const TitleAndAuthor&) const = default;
};

// From a file name without its .txt.
TitleAndAuthor titleFromFileName(TextView name);
// From the first non-empty lines of a source, as read.
TitleAndAuthor titleFromOpening(const std::vector<Text>& lines);

}  // namespace quenlet::formats
