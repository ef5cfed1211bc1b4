// Decoding and encoding: detection, the escapes that keep undecodable bytes,
// sequences cut by block boundaries, and GB18030 round trips.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "text/encoding.h"
#include "engine_harness.h"
#include "temp_dir.h"
#include "files/text_file.h"

namespace quenlet::test {
namespace {

Text decodeWhole(Encoding encoding, const std::string& bytes, std::uint64_t* undecodable = nullptr) {
    auto decoder = makeDecoder(encoding);
    Text out;
    decoder->decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), true, out);
    if (undecodable) *undecodable = decoder->undecodableBytes();
    return out;
}

// Decodes in two blocks cut at `split`, carrying what the first leaves over.
Text decodeSplit(Encoding encoding, const std::string& bytes, std::size_t split) {
    auto decoder = makeDecoder(encoding);
    Text out;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t used = decoder->decode(data, split, false, out);
    std::string rest = bytes.substr(used);
    decoder->decode(reinterpret_cast<const unsigned char*>(rest.data()), rest.size(), true, out);
    return out;
}

std::string encode(Encoding encoding, TextView text) {
    std::string out;
    encodeText(encoding, text, out);
    return out;
}

TEST(Encoding, UndecodableBytesBecomeEscapesAndSurviveTheRoundTrip) {
    struct Case {
        Encoding encoding;
        std::string bytes;
        Text decoded;
    };
    const Case cases[] = {
        {Encoding::Utf8, "a\xFF\xE4\xB8", u"a\xDCFF\xDCE4\xDCB8"},
        {Encoding::Utf8, "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},  // an encoded surrogate is not UTF-8
        {Encoding::Utf8, "\xC0\xAF", u"\xDCC0\xDCAF"},              // nor is an overlong form
        {Encoding::Gb18030, "\x81\x30\x81\xBA", u"\xDC81" u"0\u4F1C"},
        {Encoding::Gb18030, "\x80\xFF\x81\r\n", u"\xDC80\xDCFF\xDC81\r\n"},
        {Encoding::Gb18030, "\x81\x30", u"\xDC81" u"0"},
        {Encoding::Utf16LE, std::string("\x00\xD8" "A\x00", 4), u"\xDC00\xDCD8" u"A"},
        {Encoding::Utf16BE, std::string("\xDC\x01\x00" "A\x07", 5), u"\xDCDC\xDC01" u"A\xDC07"},
        // An unassigned code, a lead before a trail out of range, a lone lead at the end.
        {Encoding::Big5, "\x81\x40\xA4\x7F\xA4", u"\xDC81@\xDCA4\x7F\xDCA4"},
        {Encoding::Big5, "\x80\xFF\xA4\x40", u"\xDC80\xDCFF\u4E00"},
        // The second code of a character that has two stays undecodable.
        {Encoding::Big5, "\xF9\xF9", u"\xDCF9\xDCF9"},
    };
    for (const Case& c : cases) {
        std::uint64_t undecodable = 0;
        const Text decoded = decodeWhole(c.encoding, c.bytes, &undecodable);
        EXPECT_EQ(decoded, c.decoded) << encodingName(c.encoding);
        EXPECT_GT(undecodable, 0U);
        EXPECT_EQ(encode(c.encoding, decoded), c.bytes) << encodingName(c.encoding);
    }
}

TEST(Encoding, SequencesCutAtEveryBlockBoundaryDecodeAsWhole) {
    const Text sample = u"a好\u00E9𝄞\u3000“。”\r\n\xE816";
    for (Encoding e : {Encoding::Utf8, Encoding::Utf16LE, Encoding::Utf16BE, Encoding::Gb18030}) {
        const std::string bytes = encode(e, sample) + "\x81\x30";  // ends with a cut code
        const Text whole = decodeWhole(e, bytes);
        for (std::size_t split = 0; split <= bytes.size(); ++split)
            ASSERT_EQ(decodeSplit(e, bytes, split), whole) << encodingName(e) << " split at " << split;
    }
}

TEST(Encoding, Big5SequencesCutAtEveryBlockBoundaryDecodeAsWhole) {
    const Text sample = u"a說\u3000「。」\r\n\U0002010C€①";
    const std::string bytes = encode(Encoding::Big5, sample) + "\xA4";  // ends with a cut code
    const Text whole = decodeWhole(Encoding::Big5, bytes);
    EXPECT_EQ(whole, sample + u"\xDCA4");
    for (std::size_t split = 0; split <= bytes.size(); ++split)
        ASSERT_EQ(decodeSplit(Encoding::Big5, bytes, split), whole) << "split at " << split;
}

// Every two-byte sequence, code or not, comes back as the same bytes; every
// code decodes to one character whose code it is.
TEST(Encoding, EveryBig5CodeSurvivesARoundTrip) {
    std::string all;
    std::size_t codes = 0;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x30; trail <= 0xFF; ++trail) {
            const std::string code = {static_cast<char>(lead), static_cast<char>(trail)};
            all += code;
            std::uint64_t undecodable = 0;
            const Text decoded = decodeWhole(Encoding::Big5, code, &undecodable);
            ASSERT_EQ(encode(Encoding::Big5, decoded), code) << std::hex << lead << ' ' << trail;
            if (undecodable > 0) continue;
            ++codes;
            ASSERT_EQ(decoded.size(), characterAt(decoded, 0).units) << std::hex << lead << ' ' << trail;
            ASSERT_GE(decoded[0], 0x80) << std::hex << lead << ' ' << trail;
        }
    }
    EXPECT_EQ(encode(Encoding::Big5, decodeWhole(Encoding::Big5, all)), all);
    EXPECT_GT(codes, 18000U);  // code page 950 and the Hong Kong characters
}

TEST(Encoding, Big5AsWindowsWritesIt) {
    struct Row {
        std::string bytes;
        Text text;
    };
    const Row rows[] = {
        {"\xA1\x40\xA1\x6D\xA1\x6E", u"\u3000《》"},  // the indent and the heading markers
        {"\xBB\xA1\xAC\xF5\xBC\xD3\xB9\xDA", u"說紅樓夢"},
        {"\xA1\xE3\xA1\x45\xA3\xE1\xF9\xFE", u"～‧€▓"},  // where code page 950 differs from the Hong Kong set
        {"\xA2\xCC\xA4\x51\xA2\xCE\xA4\xCA", u"〸十〺卅"},  // one code each for characters drawn alike
        {"\xC6\xA1\xC8\xA4\x88\x45\xFA\x40", u"①\U00027607\U0002010C\U00020547"},  // Hong Kong characters
    };
    for (const Row& row : rows) {
        EXPECT_EQ(decodeWhole(Encoding::Big5, row.bytes), row.text) << toUtf8(row.text);
        EXPECT_EQ(encode(Encoding::Big5, row.text), row.bytes) << toUtf8(row.text);
    }
}

struct PolicyCase {
    const char* name;
    Encoding encoding;
    Text text;
    EncodePolicy policy;
    std::string bytes;        // what is written (up to the stop)
    std::size_t stoppedAt;    // text.size() when it was all written
    EncodeCounts counts;
};

class EncodePolicies : public testing::TestWithParam<PolicyCase> {};

TEST_P(EncodePolicies, DecideWhatBecomesOfEscapesAndUnencodableCharacters) {
    const PolicyCase& c = GetParam();
    std::string out = "x";
    EncodeCounts counts;
    EXPECT_EQ(encodeText(c.encoding, c.text, out, c.policy, counts), c.stoppedAt);
    EXPECT_EQ(out, "x" + c.bytes);
    EXPECT_EQ(counts.escapesReplaced, c.counts.escapesReplaced);
    EXPECT_EQ(counts.unencodableReplaced, c.counts.unencodableReplaced);
}

constexpr EncodePolicy kSameEncoding{true, false};
constexpr EncodePolicy kOtherEncoding{false, false};
constexpr EncodePolicy kOtherReplacing{false, true};

INSTANTIATE_TEST_SUITE_P(
    Encoding, EncodePolicies,
    testing::Values(
        PolicyCase{"EscapesBackAsBytes", Encoding::Gb18030, u"a\xDC80" u"b", kSameEncoding, "a\x80" "b", 3, {}},
        PolicyCase{"EscapesAsReplacementInUtf8", Encoding::Utf8, u"a\xDC80\xDCFF" u"b", kOtherEncoding,
                   "a\xEF\xBF\xBD\xEF\xBF\xBD" "b", 4, {2, 0}},
        PolicyCase{"EscapesAsReplacementInGb18030", Encoding::Gb18030, u"\xDC81", kOtherEncoding, "\x84\x31\xA4\x37", 1, {1, 0}},
        PolicyCase{"EscapesAsQuestionMarkInBig5", Encoding::Big5, u"\xDC81好", kOtherEncoding, "?\xA6\x6E", 2, {1, 0}},
        PolicyCase{"StopsBeforeUnencodable", Encoding::Big5, u"好说", kSameEncoding, "\xA6\x6E", 1, {}},
        PolicyCase{"StopsBeforeUnencodablePair", Encoding::Big5, u"好\U0001F600", kSameEncoding, "\xA6\x6E", 1, {}},
        PolicyCase{"ReplacesUnencodable", Encoding::Big5, u"说\U0001F600好", kOtherReplacing, "??\xA6\x6E", 4, {0, 2}},
        PolicyCase{"Utf16HoldsEverything", Encoding::Utf16LE, u"说\U0001F600", kOtherEncoding,
                   std::string("\xF4\x8B\x3D\xD8\x00\xDE", 6), 3, {}}),
    [](const testing::TestParamInfo<PolicyCase>& info) { return std::string(info.param.name); });

TEST(Encoding, EveryGb18030CodeSurvivesARoundTrip) {
    std::string bytes;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail)
            if (trail != 0x7F) bytes += {static_cast<char>(lead), static_cast<char>(trail)};
    for (unsigned b1 = 0x81; b1 <= 0x84; ++b1)
        for (unsigned b2 = 0x30; b2 <= 0x39; ++b2)
            for (unsigned b3 = 0x81; b3 <= 0xFE; ++b3)
                for (unsigned b4 = 0x30; b4 <= 0x39; ++b4)
                    bytes += {static_cast<char>(b1), static_cast<char>(b2), static_cast<char>(b3), static_cast<char>(b4)};
    bytes += "\x90\x30\x81\x30\xE3\x32\x9A\x35\x95\x32\x90\x31";  // U+10000, U+10FFFF, U+20087
    EXPECT_EQ(encode(Encoding::Gb18030, decodeWhole(Encoding::Gb18030, bytes)), bytes);
    // Codes whose assignment differs between revisions keep a one-to-one mapping.
    EXPECT_EQ(decodeWhole(Encoding::Gb18030, "\xFE\x51\xA6\xD9\xA8\xBC"), u"\xE816\xE78D\xE7C7");
    EXPECT_EQ(decodeWhole(Encoding::Gb18030, "\x95\x32\x90\x31"), u"\U00020087");
}

TEST(Encoding, EveryCharacterHasAGb18030Code) {
    for (char32_t c = 0x80; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const Text one(1, static_cast<char16_t>(c));
        ASSERT_EQ(decodeWhole(Encoding::Gb18030, encode(Encoding::Gb18030, one)), one) << std::hex << static_cast<unsigned>(c);
    }
}

// Reads every line of `bytes` with tiny blocks so that terminators and
// sequences fall on block boundaries.
struct ReadBack {
    TextFormat format;
    std::vector<Text> lines;
};
ReadBack readLines(const std::string& bytes, std::optional<Encoding> forced = std::nullopt, std::size_t block = 3,
                   Threading threading = Threading::Inline) {
    TempDir dir;
    const std::string path = dir.write("in.txt", bytes);
    const int fd = ::open(path.c_str(), O_RDONLY);
    ReadBack result;
    {
        LineReader reader(fd, path, forced, block, threading);
        result.format = reader.format();
        Text line;
        while (reader.readLine(line)) result.lines.push_back(line);
    }
    ::close(fd);
    return result;
}

TEST(LineReading, DecodingAheadReadsTheSameLines) {
    const std::string text = "第一行\r\n\xFF二\r三\n" + std::string(5000, 'x') + "\r\n\r\n末";
    for (std::size_t block : {1U, 7U, 4096U})
        EXPECT_EQ(readLines(text, std::nullopt, block, Threading::Pipelined).lines, readLines(text, std::nullopt, block).lines);
}

// Parts of a source read on their own threads: split at every line start
// the reader finds, the parts' lines are the whole's -- a byte order mark,
// CR LF, a lone CR, and a lead byte cut off by a line feed included.
TEST(LineReading, PartsSplitAtALineStartReadTheWholesLines) {
    const std::string utf8 = "\xEF\xBB\xBF第一行\r\n\xE4\xB8\n二\r三\r\n\r\n\n末";
    const std::string gb = "\xB5\xDA\xD2\xBB\r\n\x81\n\x81\x30\n\xB6\xFE\r\n\n\xC8\xFD";
    for (const auto& [bytes, encoding] : {std::pair{utf8, Encoding::Utf8}, std::pair{gb, Encoding::Gb18030}}) {
        TempDir dir;
        const std::string path = dir.write("in.txt", bytes);
        const int fd = ::open(path.c_str(), O_RDONLY);
        LineReader whole(fd, path, encoding, 3);
        std::vector<Text> lines;
        for (Text line; whole.readLine(line);) lines.push_back(line);
        std::size_t splits = 0;
        for (std::uint64_t from = 0; from < bytes.size(); ++from) {
            const std::optional<std::uint64_t> split = whole.lineStartFrom(from, bytes.size());
            if (!split) continue;
            ++splits;
            std::vector<Text> parted;
            for (const ByteRange part : {ByteRange{whole.textStart(), *split}, ByteRange{*split, bytes.size()}}) {
                const std::unique_ptr<LineReader> reader = whole.partReader(part);
                for (Text line; reader->readLine(line);) parted.push_back(line);
            }
            EXPECT_EQ(parted, lines) << "split at byte " << *split;
        }
        EXPECT_GE(splits, 4U);
        ::close(fd);
    }
}

TEST(LineReading, TerminatorsAndTheLastLine) {
    for (std::size_t block : {1U, 2U, 3U, 5U, 4096U}) {
        EXPECT_EQ(readLines("a\r\nb\rc\nd", std::nullopt, block).lines, (std::vector<Text>{u"a", u"b", u"c", u"d"}));
        EXPECT_EQ(readLines("a\r\n", std::nullopt, block).lines, std::vector<Text>{u"a"});
        EXPECT_EQ(readLines("a\r", std::nullopt, block).lines, std::vector<Text>{u"a"});
        EXPECT_EQ(readLines("\r\n\r\n\n", std::nullopt, block).lines, (std::vector<Text>{u"", u"", u""}));
        EXPECT_EQ(readLines("\r\r", std::nullopt, block).lines, (std::vector<Text>{u"", u""}));
        EXPECT_TRUE(readLines("", std::nullopt, block).lines.empty());
    }
}

TEST(LineReading, FormatDetection) {
    EXPECT_EQ(readLines("\xEF\xBB\xBF好\n").format, (TextFormat{Encoding::Utf8, true}));
    EXPECT_EQ(readLines("\xEF\xBB\xBF好\n").lines, std::vector<Text>{u"好"});
    EXPECT_EQ(readLines("\xFF\xFE\x7D\x59").lines, std::vector<Text>{u"好"});
    EXPECT_EQ(readLines("\xFE\xFF\x59\x7D").format, (TextFormat{Encoding::Utf16BE, true}));
    EXPECT_EQ(readLines("plain ascii\n").format, (TextFormat{Encoding::Utf8, false}));
    const std::string gbk = "\xBA\xC3\xB5\xC4\r\n";  // 好的 in GBK
    EXPECT_EQ(readLines(gbk).format, (TextFormat{Encoding::Gb18030, false}));
    EXPECT_EQ(readLines(gbk).lines, std::vector<Text>{u"好的"});
    // A file valid as UTF-8 except for its last byte is GB18030.
    EXPECT_EQ(readLines(std::string(5000, 'a') + "好\xE5").format.encoding, Encoding::Gb18030);
    EXPECT_EQ(readLines("\xEF\xBB\xBF").lines, std::vector<Text>{});
    // A forced encoding removes only its own byte order mark.
    EXPECT_EQ(readLines("\xEF\xBB\xBF" "a", Encoding::Utf8).lines, std::vector<Text>{u"a"});
    EXPECT_EQ(readLines("\xFF\xFE" "a\x00", Encoding::Utf16LE).format, (TextFormat{Encoding::Utf16LE, true}));
    EXPECT_EQ(readLines("\xEF\xBB\xBF", Encoding::Gb18030).format, (TextFormat{Encoding::Gb18030, false}));
    // Big5, told from GB18030 by what its text reads like, and forced.
    const std::string big5 = encode(Encoding::Big5, u"他走進房間，看見桌上放著一封信，信上寫著幾行小字。\r\n第二行");
    EXPECT_EQ(readLines(big5).format, (TextFormat{Encoding::Big5, false}));
    EXPECT_EQ(readLines(big5).lines, (std::vector<Text>{u"他走進房間，看見桌上放著一封信，信上寫著幾行小字。", u"第二行"}));
    EXPECT_EQ(readLines("\xA4\x40", Encoding::Big5).lines, std::vector<Text>{u"一"});
    // UTF-16 without a mark, beyond the first block.
    const std::string utf16 = encode(Encoding::Utf16BE, u"第一章\r\n" + Text(3000, u'好'));
    EXPECT_EQ(readLines(utf16).format, (TextFormat{Encoding::Utf16BE, false}));
    EXPECT_EQ(readLines(utf16).lines, (std::vector<Text>{u"第一章", Text(3000, u'好')}));
}

// Writes lines through a LineWriter and returns the file's bytes.
std::string writeLines(const std::vector<Text>& lines, const OutputFormat& format, Threading threading,
                       EncodeCounts* counts = nullptr) {
    TempDir dir;
    const std::string path = dir.path("out.txt");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    LineWriter writer(fd, "out.txt", format, threading);
    for (const Text& line : lines) writer.writeLine(line);
    writer.flush();
    if (counts) *counts = writer.counts();
    return readFile(path);
}

class LineWriting : public testing::TestWithParam<Threading> {};

TEST_P(LineWriting, OutputFormatLineEndsAndReplacements) {
    EncodeCounts counts;
    const OutputFormat utf8{{Encoding::Utf8, true}, LineEnd::Lf, {false, false}};
    EXPECT_EQ(writeLines({u"a", u"", u"说\xDC80"}, utf8, GetParam(), &counts), "\xEF\xBB\xBF" "a\n\n说\xEF\xBF\xBD\n");
    EXPECT_EQ(counts.escapesReplaced, 1U);
    const OutputFormat big5{{Encoding::Big5, false}, LineEnd::CrLf, {true, true}};
    EXPECT_EQ(writeLines({u"\u3000\u3000說", u"《说》"}, big5, GetParam(), &counts), "\xA1\x40\xA1\x40\xBB\xA1\r\n\xA1\x6D?\xA1\x6E\r\n");
    EXPECT_EQ(counts.unencodableReplaced, 1U);
    EXPECT_EQ(writeLines({}, OutputFormat{{Encoding::Utf16LE, true}, LineEnd::CrLf, {}}, GetParam()), "\xFF\xFE");
}

// The failure names the output line, counted over every block written before.
TEST_P(LineWriting, AnUnencodableCharacterFailsWithItsLine) {
    std::vector<Text> lines(100000, u"好");
    lines.push_back(u"好说");
    const OutputFormat big5{{Encoding::Big5, false}, LineEnd::Lf, {true, false}};
    try {
        writeLines(lines, big5, GetParam());
        FAIL() << "no failure";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "out.txt: line 100001: 说 (U+8BF4) cannot be written in big5; nothing was written");
    }
}

INSTANTIATE_TEST_SUITE_P(Threading, LineWriting, testing::Values(Threading::Inline, Threading::Pipelined),
                         [](const testing::TestParamInfo<Threading>& info) {
                             return info.param == Threading::Inline ? "Inline" : "Pipelined";
                         });

}  // namespace
}  // namespace quenlet::test
