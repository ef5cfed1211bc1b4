// Fuzz target: arbitrary bytes typeset in memory through the same reading,
// typesetting and writing code as files.
//
// The first five bytes choose the options (every flag, short texts the stages
// react to, a forced or detected encoding, the output's encoding and line
// ends, inline or pipelined reading and writing, the tidy mode, a
// simplified/traditional conversion); the rest is the file. Beyond
// "no crash, no sanitizer report" it checks properties that hold however busy
// the machine is (how the time grows with the size is checked by the
// linear-time test and the stage benchmark, where CPU time can be measured
// reliably):
//   - the same input gives the same bytes twice;
//   - the output survives a round trip through its own encoding;
//   - the undecodable bytes of the input come out unchanged and in order,
//     never invented;
//   - the bytes written are the lines the engine hands on, encoded;
//   - with line merging off (and no tidying or conversion), each kept line is
//     exactly the cleaned source line;
//   - the single-pass stages agree with the literal rules on every source line.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "run/converting_sink.h"
#include "text/chinese_conversion.h"
#include "text/encoding.h"
#include "text/encoding_detector.h"
#include "run/file_run.h"
#include "support/reference_stages.h"
#include "files/text_file.h"
#include "tidy/tidy_mode.h"
#include "engine/typeset_engine.h"

using namespace quenlet;

namespace {

const Text kMarkers[] = {u"《", u"", u" ", u"》》"};
const Text kFinds[] = {u"", u"哈哈", u"。", u"”", u"a", u"第", u"-", u"??"};
const Text kReplacements[] = {u" ", u"", u"哈", u"。。", u"ba", u"第一章", u"\u3000", u"”"};
const Text kPrefixes[] = {u" ", u"", u"第", u"“"};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

struct Choice {
    TypesetOptions options;
    FileRunSettings settings;
    Text carriedCurrentChar;
};

// Built once: the tidy mode's compiled rules and the conversions' dictionaries.
std::shared_ptr<const tidy::TidyMode> tidyMode;
const char* const kConversions[] = {"", "s2t", "t2s", "s2hk"};

Choice choose(const std::uint8_t* data) {
    Choice c;
    const std::uint8_t flags = data[0];
    c.options.MergeLines = flags & 1;
    c.options.SplitParagraphs = flags & 2;
    c.options.DeleteAsterisks = flags & 4;
    c.options.DeleteDoubleDashes = flags & 8;
    c.options.DotsToEllipsis = flags & 16;
    c.options.TildeToEllipsis = flags & 32;
    c.options.ConvertQuotes = flags & 64;
    c.carriedCurrentChar = flags & 128 ? u"。" : u"";
    // data[1]: bits 0-2 the input's encoding (forced, or detected for the
    // values past the table, with LF line ends for two of them), bits 3-5 the
    // output's (the input's own for 0 and 7), bit 6 replacing what the output
    // cannot hold, bit 7 the threading.
    const std::uint8_t encoding = data[1];
    const std::size_t input = encoding & 7;
    if (input < encodings().size()) c.settings.forcedEncoding = encodings()[input].encoding;
    c.settings.lineEnd = input >= 6 ? LineEnd::Lf : LineEnd::CrLf;
    const std::size_t output = (encoding >> 3) & 7;
    if (output >= 1 && output <= outputFormats().size()) c.settings.outputFormat = outputFormats()[output - 1].format;
    c.settings.replaceUnencodable = encoding & 0x40;
    c.settings.threading = encoding & 0x80 ? Threading::Pipelined : Threading::Inline;
    c.options.HeadingOpen = kMarkers[data[2] & 3];
    c.options.HeadingClose = kMarkers[(data[2] >> 2) & 3];
    c.options.Indent = kMarkers[(data[2] >> 4) & 3];
    c.options.ParagraphEnd = kMarkers[(data[2] >> 6) & 3];
    c.options.FindText = kFinds[data[3] & 7];
    c.options.ReplaceText = kReplacements[(data[3] >> 3) & 7];
    c.options.StripPrefix = kPrefixes[(data[3] >> 6) & 3];
    // data[4]: bit 0 the tidy mode, bits 1-2 a conversion.
    if (data[4] & 1) c.settings.hooks = tidyMode;
    c.settings.conversion = kConversions[(data[4] >> 1) & 3];
    return c;
}

int memoryFile(const std::uint8_t* data, std::size_t size) {
    const int fd = ::memfd_create("quenlet-fuzz", MFD_CLOEXEC);
    if (fd < 0) fail("memfd_create");
    for (std::size_t done = 0; done < size;) {
        const ssize_t wrote = ::write(fd, data + done, size - done);
        if (wrote <= 0) fail("write to memory file");
        done += static_cast<std::size_t>(wrote);
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string contents(int fd) {
    std::string bytes;
    ::lseek(fd, 0, SEEK_SET);
    char block[65536];
    for (ssize_t got; (got = ::read(fd, block, sizeof block)) > 0;) bytes.append(block, static_cast<std::size_t>(got));
    return bytes;
}

struct Run {
    std::string output;
    FileRunResult result;
};

Run typeset(const std::uint8_t* file, std::size_t size, const Choice& choice) {
    TypesetEngine engine;
    engine.state().CurrentChar = choice.carriedCurrentChar;
    const int in = memoryFile(file, size);
    const int out = ::memfd_create("quenlet-fuzz-out", MFD_CLOEXEC);
    Run run;
    run.result = typesetStream(engine, in, out, choice.options, choice.settings);
    run.output = contents(out);
    ::close(in);
    ::close(out);
    return run;
}

// The lines of the input as the run reads them, its format, and the bytes
// that come after the last line.
struct Source {
    TextFormat format;
    std::vector<Text> lines;
    std::string trailingBytes;
};

Source readSource(const std::uint8_t* file, std::size_t size, const Choice& choice) {
    const int fd = memoryFile(file, size);
    Source source;
    {
        LineReader reader(fd, "fuzz input", choice.settings.forcedEncoding);
        source.format = reader.format();
        Text line;
        while (reader.readLine(line)) source.lines.push_back(line);
        source.trailingBytes = reader.trailingBytes();
    }
    ::close(fd);
    return source;
}

bool isEscape(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDCFF; }

// The escape units of a text, in order (undecodable bytes).
std::u16string escapes(const std::vector<Text>& lines) {
    std::u16string found;
    for (const Text& line : lines)
        for (std::size_t i = 0; i < line.size(); ++i)
            if (isEscape(line[i]) && !(i > 0 && line[i - 1] >= 0xD800 && line[i - 1] <= 0xDBFF)) found.push_back(line[i]);
    return found;
}

bool isSubsequence(const std::u16string& part, const std::u16string& whole) {
    std::size_t at = 0;
    for (char16_t c : whole)
        if (at < part.size() && part[at] == c) ++at;
    return at == part.size();
}

// A source line as the run cleans it when nothing else is done with it.
bool cleanLine(const Text& raw, const Text& prefix, Text& cleaned) {
    cleaned.clear();
    for (char16_t c : raw)
        if (c != u' ' && c != u'\u3000') cleaned.push_back(c);
    auto question = [](char16_t c) { return c == u'?' || c == u'\uFF1F'; };
    const std::size_t n = cleaned.size();
    if (n >= 2 && question(cleaned[n - 1]) && question(cleaned[n - 2])) return false;
    Text kept;
    for (std::size_t i = 0; i < n;) {
        std::size_t j = i;
        while (j < n && question(cleaned[j])) ++j;
        if (j - i >= 2) i = j;
        else kept.push_back(cleaned[i++]);
    }
    cleaned = kept;
    if (!prefix.empty() && cleaned.compare(0, prefix.size(), prefix) == 0) cleaned.erase(0, prefix.size());
    return true;
}

// Every source line, taken as a paragraph, through each single-pass stage and
// its literal rule.
void compareStages(const std::vector<Text>& lines, const TypesetOptions& options) {
    for (const Text& line : lines) {
        if (line.size() > 3000) continue;  // the literal rules are quadratic
        TypesetEngine engine;
        engine.setOptions(options);
        TypesetOptions dotsOnly = options;
        dotsOnly.ConvertQuotes = false;
        dotsOnly.DotsToEllipsis = true;
        for (int stage = 0; stage < 3; ++stage) {
            engine.state().Line = line;
            engine.state().DotRun = static_cast<Count>(line.size() % 3);
            DocumentState expected = engine.state();
            if (stage == 0) {
                engine.DJ();
                reference::DJ(expected);
            } else if (stage == 1) {
                engine.setOptions(dotsOnly);
                engine.ZZZ1();
                reference::dotRuns(expected);
                engine.setOptions(options);
            } else {
                if (options.FindText.empty()) continue;
                engine.TH();
                reference::TH(expected, options);
            }
            const DocumentState& got = engine.state();
            if (got.Line != expected.Line || got.DotRun != expected.DotRun) fail("stage differs from its rule");
            if (stage == 0) {
                if (got.SegmentIndex != expected.SegmentIndex) fail("segmentation differs from its rule");
                for (Count i = 0; i <= got.SegmentIndex; ++i)
                    if (got.Segments[i] != expected.Segments[i]) fail("segment differs from its rule");
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string warmUp;
    for (const EncodingInfo& info : encodings()) encodeText(info.encoding, u"好", warmUp);  // build the code tables before the first input
    Sample(warmUp, false, true).score(Encoding::Big5);
    tidyMode = std::make_shared<tidy::TidyMode>(tidy::TidyRules::builtIn());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kChoiceBytes = 5;
    if (size < kChoiceBytes) return 0;
    const Choice choice = choose(data);
    const std::uint8_t* file = data + kChoiceBytes;
    const std::size_t fileSize = size - kChoiceBytes;

    const Run run = typeset(file, fileSize, choice);
    if (!run.result.ok) {
        // Only a character the chosen output encoding cannot hold may fail a
        // run, or a source that reads as Chinese in no encoding when none is forced.
        const bool mayFail = !choice.settings.replaceUnencodable && choice.settings.outputFormat &&
                             !encodingInfo(choice.settings.outputFormat->encoding).holdsEveryCharacter;
        const bool refused =
            !choice.settings.forcedEncoding && run.result.failure.kind == FailureKind::UnsupportedEncoding;
        if (!refused && !mayFail && run.result.error.find("cannot be written in") == std::string::npos)
            fail(("a run from memory to memory failed: " + run.result.error).c_str());
        if (!run.output.empty()) fail("a failed run wrote something");
        return 0;
    }
    if (typeset(file, fileSize, choice).output != run.output) fail("not deterministic");

    const Encoding encoding = run.result.outputFormat.encoding;
    auto decoder = makeDecoder(encoding);
    Text decoded;
    const auto* bytes = reinterpret_cast<const unsigned char*>(run.output.data());
    decoder->decode(bytes, run.output.size(), true, decoded);
    std::string again;
    encodeText(encoding, decoded, again);
    if (again != run.output) fail("output does not survive a round trip through its encoding");

    const Source source = readSource(file, fileSize, choice);
    if (source.format != run.result.format) fail("format detected twice differently");

    // Typeset again into collected lines, to see the text before it is encoded.
    class Collector : public LineSink {
    public:
        void writeLine(TextView line) override { lines.emplace_back(line); }
        std::vector<Text> lines;
    } collected;
    TypesetEngine engine;
    engine.state().CurrentChar = choice.carriedCurrentChar;
    const auto hooks = choice.settings.hooks ? choice.settings.hooks->hooksForFile() : nullptr;
    if (SourceLook* look = hooks ? hooks->firstLook() : nullptr) {  // as a file's run looks first
        for (const Text& line : source.lines) look->line(line);
        look->ended();
    }
    std::optional<ConvertingSink> converting;
    if (!choice.settings.conversion.empty())
        converting.emplace(collected, *ChineseConverter::load(choice.settings.conversion));
    engine.beginFile(choice.options, converting ? static_cast<OutputSink&>(*converting) : collected, nullptr,
                     hooks.get());
    for (const Text& line : source.lines) engine.processLine(line);
    engine.endFile();
    if (converting) converting->finish();
    std::string expected(run.result.outputFormat.hasBom ? byteOrderMark(encoding) : std::string_view());
    const EncodePolicy policy{encoding == run.result.format.encoding, choice.settings.replaceUnencodable};
    const Text lineEnd = choice.settings.lineEnd == LineEnd::Lf ? u"\n" : u"\r\n";
    EncodeCounts counts;
    for (const Text& line : collected.lines)
        if (encodeText(encoding, line + lineEnd, expected, policy, counts) != line.size() + lineEnd.size())
            fail("a line the output encoding cannot hold was written");
    // The odd last byte of a UTF-16 source goes last, as itself into its own
    // encoding, as the replacement character into another.
    if (policy.escapesAsBytes) expected += source.trailingBytes;
    else if (!source.trailingBytes.empty()) encodeText(encoding, Text(1, encodingInfo(encoding).replacement), expected);
    if (expected != run.output) fail("written bytes differ from the lines typeset");
    const std::size_t escapesWritten =
        policy.escapesAsBytes ? escapes(collected.lines).size() + source.trailingBytes.size() : 0;
    if (run.result.undecodableBytesWritten != escapesWritten) fail("undecodable bytes written miscounted");
    if (!isSubsequence(escapes(collected.lines), escapes(source.lines))) fail("undecodable bytes changed or invented");

    if (!choice.options.MergeLines && !choice.settings.hooks && choice.settings.conversion.empty()) {
        std::vector<Text> cleanedLines;
        Text cleaned;
        for (const Text& raw : source.lines)
            if (!raw.empty() && cleanLine(raw, choice.options.StripPrefix, cleaned)) cleanedLines.push_back(cleaned);
        if (cleanedLines != collected.lines) fail("a line without merging is not the cleaned source line");
    }
    compareStages(source.lines, choice.options);
    return 0;
}
