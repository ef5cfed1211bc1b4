// The command line's reports: the JSON a file gets, key by key in the order
// the README promises, and the bytes of names that are not UTF-8 kept.
#include "cli/reporter.h"

#include <gtest/gtest.h>

#include <sstream>

namespace quenlet::test {
namespace {

using cli::Json;
using cli::Reporter;

std::string written(const Json& value) {
    std::ostringstream out;
    cli::writeJson(out, value);
    return out.str();
}

TEST(Reporter, JsonOnOneLineWithTheBytesOfNamesKept) {
    const Json value = {{"b", 1}, {"a", Json::array({true, nullptr, -2})}, {"name", "a\n\"说\xFF"}};
    EXPECT_EQ(written(value), R"({"b": 1, "a": [true, null, -2], "name": "a\u000a\"说\udcff"})");
}

TEST(Reporter, OneFilesObjectInThePromisedOrder) {
    FileRunResult result;
    result.ok = true;
    result.outputPath = "kovra-a.txt";
    result.bookPath = "kovra-a.epub";
    result.format = {Encoding::Gb18030, false};
    result.detectedBy = DetectedBy::Gb18030Score;
    result.outputFormat = {Encoding::Utf8, true};
    result.findings.headings = 3;
    result.findings.linesDropped = 1;
    result.findings.charactersDropped = 4;
    const Statistics statistics{5, 1, 2, 4};
    std::ostringstream out, err;
    EXPECT_EQ(written(Reporter(out, err, false, false).fileJson(statistics, result)),
              R"({"files": 1, "source_paragraphs": 5, "merged": 2, "split": 1, "final_paragraphs": 4, )"
              R"("output": "kovra-a.txt", "epub": "kovra-a.epub", "encoding": "gb18030", "input_encoding": "gb18030", )"
              R"("bom": false, "detected_by": "gb18030 score", "output_encoding": "utf-8", "output_bom": true, )"
              R"("lines_dropped": 1, "characters_dropped": 4})");
    const Json tidied = Reporter(out, err, false, true).fileJson(statistics, result);
    EXPECT_EQ(written(tidied).substr(written(tidied).find("\"output_bom\"")),
              R"("output_bom": true, "headings": 3, "empty_headings": 0, "junk_removed": 0, "sequence_gaps": [], )"
              R"("sequence_repeats": [], "sequence_backwards": [], "lines_dropped": 1, "characters_dropped": 4})");
}

TEST(Reporter, RunFindingsSumTheirCountsNotTheirHeadings) {
    RunFindings total;
    total.headingList.push_back({u"第一章", HeadingRank::Chapter});
    RunFindings more;
    more.headings = 2;
    more.junkRemoved = 3;
    more.headingList.push_back({u"第二章", HeadingRank::Chapter});
    total += more;
    total += more;
    EXPECT_EQ(total.headings, 4);
    EXPECT_EQ(total.junkRemoved, 6);
    EXPECT_EQ(total.headingList.size(), 1U);
}

}  // namespace
}  // namespace quenlet::test
