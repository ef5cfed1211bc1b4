// What scripts and packagers read from quenlet-cli: the JSON, which --quiet
// never silences; a batch's JSON Lines, one object per file as it is done and
// the totals last; the version; and the manual page, whose options must be
// those of the help.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/manual_page.h"
#include "cli_runner.h"
#include "temp_dir.h"
#include "text/encoding.h"

namespace quenlet::test {
namespace {

using nlohmann::json;

const std::string kSample = "第一章　开端\r\n他走进房间，看见桌上\r\n放着一封信。\r\n";

// The sample in GB18030 with one byte no encoding here can read: a note on
// the guess, and a warning.
std::string guessedWithABadByte() {
    std::string head, tail;
    encodeText(Encoding::Gb18030, u"第一章　开端\r\n他走进房间", head);
    encodeText(Encoding::Gb18030, u"，看见桌上\r\n放着一封信。\r\n", tail);
    return head + "\xFF" + tail;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

struct QuietRow {
    const char* name;
    std::vector<std::string> args;  // "DIR" stands for the scratch folder, "FILE" for its file
};

class QuietRows : public testing::TestWithParam<QuietRow> {};

TEST_P(QuietRows, QuietSilencesTheNotesButNeverTheJson) {
    TempDir dir;
    const std::string file = dir.write("a.txt", guessedWithABadByte());
    std::vector<std::string> args;
    for (const std::string& arg : GetParam().args) args.push_back(arg == "DIR" ? dir.path() : arg == "FILE" ? file : arg);
    const CliResult loud = runCli(args);
    args.push_back("-q");
    const CliResult quiet = runCli(args);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_FALSE(quiet.out.empty());
    EXPECT_EQ(quiet.out, loud.out);
    for (const std::string& line : lines(quiet.out)) EXPECT_TRUE(json::parse(line).is_object()) << line;
    EXPECT_NE(loud.err.find("note: "), std::string::npos) << loud.err;
    EXPECT_EQ(quiet.err.find("note: "), std::string::npos) << quiet.err;
    EXPECT_NE(quiet.err.find("warning: "), std::string::npos) << "warnings are no notes";
}

INSTANTIATE_TEST_SUITE_P(Cli, QuietRows,
                         testing::Values(QuietRow{"file", {"--json", "FILE"}},
                                         QuietRow{"batch", {"--json", "--batch", "DIR", "--jobs", "1"}},
                                         QuietRow{"parallel_batch", {"--json", "--batch", "DIR", "--jobs", "2"}}),
                         [](const auto& info) { return std::string(info.param.name); });

class BatchLines : public testing::TestWithParam<const char*> {};

// A line per file in the batch's order, failures included, each with its own
// statistics (which add up to the totals), then the totals as they always were.
TEST_P(BatchLines, OneObjectPerFileAsItIsDoneThenTheTotals) {
    TempDir dir;
    dir.write("a.txt", guessedWithABadByte());
    dir.write("b.txt", kSample);
    std::filesystem::create_directory(dir.path("kovra-b.txt"));
    dir.write("sub/c.txt", kSample);
    const CliResult r = runCli({"--batch", dir.path(), "--json", "--tidy", "--list-headings", "--jobs", GetParam()});
    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> got = lines(r.out);
    ASSERT_EQ(got.size(), 4U) << r.out;
    std::vector<json> objects;
    for (const std::string& line : got) objects.push_back(json::parse(line));

    EXPECT_EQ(objects[0]["path"], dir.path("a.txt"));
    EXPECT_EQ(objects[0]["encoding"], "gb18030");
    EXPECT_EQ(objects[0]["detected_by"], "too short to tell");
    EXPECT_EQ(objects[0]["output"], dir.path("kovra-a.txt"));
    EXPECT_EQ(objects[0]["warnings"], json::array({"1 byte is not valid gb18030; it was copied unchanged"}));
    EXPECT_EQ(objects[0]["heading_list"], json::parse(R"([{"title": "第一章　开端", "rank": "chapter"}])"));

    EXPECT_EQ(objects[1], json::parse(R"({"path": ")" + dir.path("b.txt") +
                                      R"(", "failure": {"kind": "cannot-replace-output", "error": ")" +
                                      dir.path("kovra-b.txt") + R"(: cannot replace output: Is a directory"}})"));

    EXPECT_EQ(objects[2]["path"], dir.path("sub/c.txt"));
    EXPECT_EQ(objects[2]["warnings"], json::array());
    const json totals = objects[3];
    EXPECT_FALSE(totals.contains("path"));
    EXPECT_EQ(totals["files"], 2);
    for (const char* count : {"source_paragraphs", "merged", "split", "final_paragraphs", "headings"})
        EXPECT_EQ(objects[0][count].get<int>() + objects[2][count].get<int>(), totals[count].get<int>()) << count;
    EXPECT_EQ(totals["failed"].size(), 1U);
    EXPECT_EQ(got[3].substr(0, 64), R"({"files": 2, "source_paragraphs": 6, "merged": 2, "split": 0, "f)");
    EXPECT_EQ(r.err.find("heading"), std::string::npos) << "the headings are in the lines, not beside them";
}

INSTANTIATE_TEST_SUITE_P(Cli, BatchLines, testing::Values("1", "2"),
                         [](const auto& info) { return std::string("jobs_") + info.param; });

TEST(Cli, VersionIsTheProjectsAndExitsWithZero) {
    const CliResult r = runCli({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("quenlet-cli ") + QUENLET_VERSION + "\n");
    EXPECT_EQ(r.err, "");

    std::ofstream full("/dev/full");
    std::ostringstream err;
    const char* argv[] = {"quenlet-cli", "--version"};
    EXPECT_EQ(cli::run(2, argv, {full, err}), 1) << "a version that was not written";
    EXPECT_EQ(err.str(), "quenlet-cli: standard output: cannot write: No space left on device\n");
}

// --- The manual page ---

// An option as an entry names it: its flags ("-j,--jobs") and value name.
using OptionList = std::map<std::string, std::string>;

// "  -j,--jobs UINT:UINT in [1 - 1024] Needs: --batch    With --batch: ..."
OptionList helpOptions(const std::string& help) {
    OptionList out;
    for (const std::string& line : lines(help)) {
        if (!line.starts_with("  ") || line.starts_with("   ")) continue;
        std::istringstream words(line.substr(2, line.find("  ", 2) - 2));
        std::string flags, value;
        words >> flags >> value;
        if (value == "Excludes:" || value == "Needs:") value.clear();
        out[flags] = value.substr(0, value.find(':'));
    }
    return out;
}

// ".TP" then "\fB\-j\fR, \fB\-\-jobs\fR \fIUINT\fR" (the FILEs: "\fIFILE\fR ...").
OptionList manualOptions(const std::string& page) {
    OptionList out;
    const std::vector<std::string> all = lines(page);
    bool inOptions = false;
    for (std::size_t i = 0; i + 1 < all.size(); ++i) {
        if (all[i].starts_with(".SH")) inOptions = all[i] == ".SH OPTIONS";
        if (!inOptions || all[i] != ".TP") continue;
        std::string entry;
        for (std::size_t at = 0; at < all[i + 1].size(); ++at) {
            if (all[i + 1].compare(at, 2, "\\f") == 0) ++at, ++at;
            else if (all[i + 1].compare(at, 2, "\\-") == 0) entry += '-', ++at;
            else if (all[i + 1].compare(at, 2, ", ") == 0) entry += ',', ++at;
            else entry += all[i + 1][at];
        }
        std::istringstream words(entry);
        std::string flags, value;
        words >> flags >> value;
        out[flags] = value == "..." ? "TEXT" : value;  // the help shows the FILEs' type
    }
    return out;
}

TEST(ManualPage, ListsTheOptionsOfTheHelp) {
    std::ifstream in(QUENLET_MANUAL_FOLDER "/quenlet-cli.1");
    ASSERT_TRUE(in) << "the build makes the page";
    const std::string page{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const OptionList help = helpOptions(runCli({"--help"}).out);
    EXPECT_GT(help.size(), 30U);
    EXPECT_TRUE(help.contains("--version") && help.contains("-h,--help") && help.contains("FILE"));
    EXPECT_EQ(manualOptions(page), help);
    EXPECT_NE(page.find(".TH QUENLET-CLI 1 \"\" \"Quenlet " QUENLET_VERSION "\""), std::string::npos);
    for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "FILES", "EXAMPLES",
                                "SEE ALSO"})
        EXPECT_NE(page.find(std::string("\n.SH ") + section + "\n"), std::string::npos) << section;
}

struct RoffRow {
    const char* name;
    std::string text;
    std::string roff;
};

class RoffRows : public testing::TestWithParam<RoffRow> {};

TEST_P(RoffRows, TextIsNeverReadAsARequestOrAnEscape) {
    EXPECT_EQ(cli::roffText(GetParam().text), GetParam().roff);
}

INSTANTIATE_TEST_SUITE_P(
    ManualPage, RoffRows,
    testing::Values(RoffRow{"hyphens_stay_minus_signs", "--tidy kovra-a", "\\-\\-tidy kovra\\-a"},
                    RoffRow{"backslash", "a\\fB", "a\\efB"},
                    RoffRow{"leading_dot_and_quote", ".txt", "\\&.txt"}, RoffRow{"quote", "'a", "\\&'a"},
                    RoffRow{"line_breaks_join", "a\n.b", "a .b"},
                    RoffRow{"beyond_ascii", "《𠀀》", "\\[u300A]\\[u20000]\\[u300B]"},
                    RoffRow{"not_utf8", "a\xFF", "a\\[uFFFD]"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quenlet::test
