// Decoding and encoding: detection, the escapes that keep undecodable bytes,
// sequences cut by block boundaries, and GB18030 round trips.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "encoding.h"
#include "engine_harness.h"
#include "temp_dir.h"
#include "text_file.h"

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
}

}  // namespace
}  // namespace quenlet::test
