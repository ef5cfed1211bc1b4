// Telling encodings apart: generated novels of many seeds in every encoding,
// GB18030 text of every length never taken for Big5, short and odd files,
// files read as the line reader reads them (blocks spread over the whole
// file), and files in no supported encoding. (Labelled files of many kinds
// are in data/detect, one test each.)
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <random>

#include "files/text_file.h"
#include "text/encoding.h"
#include "text/encoding_detector.h"
#include "novel_generator.h"
#include "temp_dir.h"

namespace quenlet {

// Readable failures.
void PrintTo(const Detection& d, std::ostream* os) {
    *os << encodingName(d.format.encoding) << (d.format.hasBom ? " with mark" : "") << " (" << detectedByName(d.by) << ")";
    if (d.by == DetectedBy::Unsupported) *os << ": " << likelyEncodingName(d.likely) << (d.byteOrderMark ? " with mark" : "");
}

namespace test {
namespace {

using bench::Script;

Detection detect(std::string_view bytes) {
    Utf8Counter counter;
    counter.feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    const std::string_view sample = bytes.substr(0, kSampleBytes);
    return detectEncoding(Sample(sample, counter.finish(), sample.size() == bytes.size()));
}

// Detection as a source gets it: from a file, through the line reader.
// Unsupported (with what it most likely is) when the reader refuses the file.
Detection detectFile(const std::string& bytes) {
    TempDir dir;
    const std::string path = dir.write("a.txt", bytes);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    Detection found;
    try {
        found = LineReader(fd, path, std::nullopt).detection();
    } catch (const FileError& e) {
        EXPECT_EQ(e.cause().kind, FailureKind::UnsupportedEncoding) << e.what();
        found = {{Encoding::Gb18030, false}, DetectedBy::Unsupported, e.cause().likely};
    }
    ::close(fd);
    return found;
}

Detection refused(LikelyEncoding likely, bool mark = false) {
    return {{Encoding::Gb18030, false}, DetectedBy::Unsupported, likely, mark};
}

std::string encode(Encoding encoding, TextView text) {
    std::string out;
    encodeText(encoding, text, out);
    return out;
}

bool isAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The first lines of a text, CR LF kept.
std::vector<std::string> linesOf(const std::string& bytes, std::size_t most) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size() && lines.size() < most;) {
        std::size_t end = bytes.find('\n', at);
        end = end == std::string::npos ? bytes.size() : end + 1;
        lines.push_back(bytes.substr(at, end - at));
        at = end;
    }
    return lines;
}

struct NovelCase {
    const char* name;
    Encoding encoding;
    Script script;
    DetectedBy by;
};

class GeneratedNovels : public testing::TestWithParam<NovelCase> {};

TEST_P(GeneratedNovels, AreDetectedRightForManySeeds) {
    const NovelCase& c = GetParam();
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        const std::string novel = bench::generateNovel(16 * 1024, c.encoding, seed, c.script);
        const Detection found = detect(novel);
        ASSERT_EQ(found.format, (TextFormat{c.encoding, false})) << "seed " << seed << ": " << encodingName(found.format.encoding);
        EXPECT_EQ(found.by, c.by) << "seed " << seed;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, GeneratedNovels,
    testing::Values(NovelCase{"Big5", Encoding::Big5, Script::Traditional, DetectedBy::Big5Score},
                    NovelCase{"Gb18030", Encoding::Gb18030, Script::Simplified, DetectedBy::Gb18030Score},
                    NovelCase{"Gb18030Traditional", Encoding::Gb18030, Script::Traditional, DetectedBy::Gb18030Score},
                    NovelCase{"Utf16LE", Encoding::Utf16LE, Script::Simplified, DetectedBy::Utf16Pattern},
                    NovelCase{"Utf16BE", Encoding::Utf16BE, Script::Traditional, DetectedBy::Utf16Pattern},
                    NovelCase{"Utf8", Encoding::Utf8, Script::Traditional, DetectedBy::Utf8}),
    [](const testing::TestParamInfo<NovelCase>& info) { return std::string(info.param.name); });

// However short, GB18030 text is never Big5: every single line and every
// run of the first lines, in both scripts.
TEST(Detection, Gb18030TextOfEveryLengthIsNeverBig5) {
    for (Script script : {Script::Simplified, Script::Traditional}) {
        for (std::uint64_t seed = 1; seed <= 12; ++seed) {
            const std::string novel = bench::generateNovel(8 * 1024, Encoding::Gb18030, seed, script);
            std::string prefix;
            for (const std::string& line : linesOf(novel, 80)) {
                prefix += line;
                // A line of ASCII alone is UTF-8; any other is GB18030.
                const Encoding expected = isAscii(line) ? Encoding::Utf8 : Encoding::Gb18030;
                ASSERT_EQ(detect(line).format.encoding, expected) << "seed " << seed << " line " << line;
                ASSERT_EQ(detect(prefix).format.encoding, Encoding::Gb18030) << "seed " << seed << " prefix " << prefix;
            }
        }
    }
}

struct ShortCase {
    const char* name;
    std::string bytes;
    Detection expected;
};

class ShortFiles : public testing::TestWithParam<ShortCase> {};

TEST_P(ShortFiles, AreDetectedAsExpected) {
    EXPECT_EQ(detect(GetParam().bytes), GetParam().expected);
}

const Detection kTooShort{{Encoding::Gb18030, false}, DetectedBy::TooShort};

INSTANTIATE_TEST_SUITE_P(
    Detection, ShortFiles,
    testing::Values(
        ShortCase{"Empty", "", {{Encoding::Utf8, false}, DetectedBy::Utf8}},
        ShortCase{"Utf8Mark", "\xEF\xBB\xBF", {{Encoding::Utf8, true}, DetectedBy::Mark}},
        ShortCase{"Utf16LEMarkBeforeAZero", std::string("\xFF\xFE\x00\x00" "a\x00", 6), {{Encoding::Utf16LE, true}, DetectedBy::Mark}},
        // UTF-32's marks: the little-endian one starts like UTF-16's.
        ShortCase{"Utf32LEMark", std::string("\xFF\xFE\x00\x00" "a\x00\x00\x00", 8), refused(LikelyEncoding::Utf32LE, true)},
        ShortCase{"Utf32BEMark", std::string("\x00\x00\xFE\xFF\x00\x00\x00" "a", 8), refused(LikelyEncoding::Utf32BE, true)},
        ShortCase{"Utf32LEAscii", std::string("a\x00\x00\x00\r\x00\x00\x00\n\x00\x00\x00", 12), refused(LikelyEncoding::Utf32LE)},
        // UTF-8 but for a character cut off at the very end, or a stray byte.
        ShortCase{"Utf8CutOffAtTheEnd", "他走进房间，看见桌上\xE6\x94", {{Encoding::Utf8, false}, DetectedBy::MostlyUtf8}},
        ShortCase{"Utf8WithAStrayByte", std::string(120, 'a') + "\xFF" + [] {
                      std::string text;
                      for (int i = 0; i < 12; ++i) text += "他走进房间，看见桌上放着一封信。";
                      return text;
                  }(), {{Encoding::Utf8, false}, DetectedBy::MostlyUtf8}},
        // 好 and a line end, without a mark.
        ShortCase{"Utf16LEOneCharacter", std::string("\x7D\x59\r\x00\n\x00", 6), {{Encoding::Utf16LE, false}, DetectedBy::Utf16Pattern}},
        ShortCase{"Utf16BEOneCharacter", std::string("\x59\x7D\x00\r\x00\n", 6), {{Encoding::Utf16BE, false}, DetectedBy::Utf16Pattern}},
        // ASCII in UTF-16 is valid UTF-8 too, but for its zero bytes.
        ShortCase{"Utf16LEAscii", std::string("a\x00\r\x00\n\x00", 6), {{Encoding::Utf16LE, false}, DetectedBy::Utf16Pattern}},
        ShortCase{"Utf16BEAscii", std::string("\x00" "a\x00\r\x00\n", 6), {{Encoding::Utf16BE, false}, DetectedBy::Utf16Pattern}},
        // 他说，我们走吧。 -- no ASCII, so no zero bytes: told by decoding.
        ShortCase{"Utf16LEWithoutZeros", encode(Encoding::Utf16LE, u"他说，我们走吧。"), {{Encoding::Utf16LE, false}, DetectedBy::Utf16Score}},
        ShortCase{"Utf16BEWithoutZeros", encode(Encoding::Utf16BE, u"他说，我们走吧。"), {{Encoding::Utf16BE, false}, DetectedBy::Utf16Score}},
        // A stray zero byte in GB18030 text does not make it UTF-16.
        ShortCase{"Gb18030WithAZeroByte", encode(Encoding::Gb18030, u"他走进房间，看见桌上放着一封信。信上写着几行小字，他看了很久。") + std::string(1, '\0'),
                  {{Encoding::Gb18030, false}, DetectedBy::Gb18030Score}},
        ShortCase{"Gb18030OneCharacter", encode(Encoding::Gb18030, u"好"), kTooShort},
        ShortCase{"Big5TwoCharacters", encode(Encoding::Big5, u"連城"), kTooShort},
        ShortCase{"Gb18030Heading", encode(Encoding::Gb18030, u"第一章　开端\r\n"), kTooShort},
        ShortCase{"Big5Sentence", encode(Encoding::Big5, u"他走進房間，看見桌上放著一封信，信上寫著幾行小字。\r\n"),
                  {{Encoding::Big5, false}, DetectedBy::Big5Score}},
        ShortCase{"Gb18030Sentence", encode(Encoding::Gb18030, u"他走进房间，看见桌上放着一封信，信上写着几行小字。\r\n"),
                  {{Encoding::Gb18030, false}, DetectedBy::Gb18030Score}},
        // Traditional characters stored in GBK, as some downloads have them.
        ShortCase{"TraditionalInGbk", encode(Encoding::Gb18030, u"他走進房間，看見桌上放著一封信，信上寫著幾行小字。\r\n"),
                  {{Encoding::Gb18030, false}, DetectedBy::Gb18030Score}},
        // Bytes no encoding makes sense of stay GB18030, which keeps them.
        ShortCase{"Noise", std::string("\x80\xFF\x81\x30\xFE", 5), kTooShort}),
    [](const testing::TestParamInfo<ShortCase>& info) { return std::string(info.param.name); });

std::string repeated(const std::string& piece, std::size_t bytes) {
    std::string text;
    while (text.size() < bytes) text += piece;
    return text;
}

// Long files, read through the line reader.
struct FileCase {
    const char* name;
    std::function<std::string()> bytes;
    Detection expected;
};

class LongFiles : public testing::TestWithParam<FileCase> {};

TEST_P(LongFiles, AreDetectedAsExpected) { EXPECT_EQ(detectFile(GetParam().bytes()), GetParam().expected); }

std::string big5Text() {
    return encode(Encoding::Big5, u"他走進房間，看見桌上放著一封信，信上寫著幾行小字。他看了很久，才把信收好。\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Detection, LongFiles,
    testing::Values(
        // Big5 after a head of English: the decision is made on blocks spread over the file.
        FileCase{"Big5AfterLongAsciiHead",
                 [] { return repeated("It was a long way to the village.\r\n", 100 * 1024) + repeated(big5Text(), 8 * 1024); },
                 {{Encoding::Big5, false}, DetectedBy::Big5Score}},
        // And after a head of UTF-8, which read as GB18030 makes valid pairs.
        FileCase{"Big5AfterLongUtf8Head",
                 [] { return repeated("他走进房间，看见桌上放着一封信。\r\n", 100 * 1024) + repeated(big5Text(), 100 * 1024); },
                 {{Encoding::Big5, false}, DetectedBy::Big5Score}},
        FileCase{"Big5NovelWithAnAsciiPreface",
                 [] { return repeated("Preface. ", 70 * 1024) + "\r\n" + bench::generateNovel(400 * 1024, Encoding::Big5, 3, Script::Traditional); },
                 {{Encoding::Big5, false}, DetectedBy::Big5Score}},
        // A large UTF-8 novel with one stray byte in its middle, and one that ends in a cut character.
        FileCase{"Utf8NovelWithAStrayByte",
                 [] {
                     std::string novel = bench::generateNovel(2 * 1024 * 1024, Encoding::Utf8, 5);
                     novel.insert(novel.size() / 2, "\x80");
                     return novel;
                 },
                 {{Encoding::Utf8, false}, DetectedBy::MostlyUtf8}},
        FileCase{"Utf8NovelWithAPastedGbkWord",
                 [] {
                     std::string novel = bench::generateNovel(300 * 1024, Encoding::Utf8, 6);
                     return novel.insert(200 * 1024 + 1, encode(Encoding::Gb18030, u"\r\n书名号\r\n"));
                 },
                 {{Encoding::Utf8, false}, DetectedBy::MostlyUtf8}},
        // GBK prose with ASCII punctuation, and English with a few GBK words, stay GB18030.
        FileCase{"Gb18030WithAsciiPunctuation",
                 [] {
                     return encode(Encoding::Gb18030,
                                   fromUtf8(repeated("他走进房间,看见桌上放着一封信.信上写着几行小字,他看了很久.\r\n", 64 * 1024)));
                 },
                 {{Encoding::Gb18030, false}, DetectedBy::Gb18030Score}},
        FileCase{"EnglishWithGbkWords",
                 [] { return repeated("The village of " + encode(Encoding::Gb18030, u"桃花村") + " lies by the river.\r\n", 80 * 1024); },
                 {{Encoding::Gb18030, false}, DetectedBy::Gb18030Score}},
        // Noise.
        FileCase{"RandomBytes",
                 [] {
                     std::mt19937 random(7);
                     std::string bytes(1024 * 1024, '\0');
                     for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
                     return bytes;
                 },
                 refused(LikelyEncoding::Binary)}),
    [](const testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

// A stream counted in blocks of any size, a sequence cut at every place,
// counts as it does whole.
TEST(Utf8Counter, CountsTheSameWhateverTheBlocks) {
    const std::string text = "a\xE4\xBD\xA0\xF0\x9F\x98\x80\xFF" "b\xE6\x96\xC2\xA9\xE4\xBD";
    Utf8Counter whole;
    whole.feed(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    const Utf8Counts expected = whole.finish();
    EXPECT_EQ(expected.sequences, 3U);
    EXPECT_EQ(expected.invalidBytes, 5U);  // FF, the cut E6 96, and the cut E4 BD at the end
    EXPECT_EQ(expected.firstInvalid, 8U);
    for (std::size_t block = 1; block < text.size(); ++block) {
        Utf8Counter counter;
        for (std::size_t at = 0; at < text.size(); at += block)
            counter.feed(reinterpret_cast<const unsigned char*>(text.data()) + at, std::min(block, text.size() - at));
        const Utf8Counts counts = counter.finish();
        EXPECT_EQ(counts.sequences, expected.sequences) << "blocks of " << block;
        EXPECT_EQ(counts.invalidBytes, expected.invalidBytes) << "blocks of " << block;
        EXPECT_EQ(counts.firstInvalid, expected.firstInvalid) << "blocks of " << block;
    }
}

}  // namespace
}  // namespace test
}  // namespace quenlet
