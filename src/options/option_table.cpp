#include "options/option_table.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "text/utf8.h"

namespace quenlet {
namespace {

using R = RunRequest;
using T = TypesetOptions;

const OptionSpec kOptions[] = {
    {"FILE", "TEXT",
     "Text files to typeset, one after the other. \"-\" reads standard input and writes the result\n"
     "to standard output (the statistics then go to standard error).",
     &R::files},
    {"--batch", "DIR",
     "Typeset every .txt file (any letter case) in DIR and in all folders below it, each into a\n"
     "kovra- copy beside it; files already named kovra-... are skipped. Prints the number of files\n"
     "and the totals.",
     &R::batchFolder},
    {"-j,--jobs", "UINT",
     "With --batch: how many files to typeset at the same time (default: the number of processor\n"
     "cores). The results are the same for any number.",
     &R::jobs},
    {"--no-merge", "", "Do not join broken lines: every line is cleaned and written as it is, nothing else is done.",
     &R::noMerge, &T::MergeLines, "Check3"},
    {"--no-split", "", "Do not cut run-together paragraphs at sentence ends, quotations and chapter headings.",
     &R::noSplit, &T::SplitParagraphs, "Check1"},
    {"--heading-open", "TEXT", "Text written before each heading (default {default}).", &R::headingOpen,
     &T::HeadingOpen, "Text2"},
    {"--heading-close", "TEXT", "Text written after each heading (default {default}).", &R::headingClose,
     &T::HeadingClose, "Text3"},
    {"--indent", "TEXT", "Text written before each paragraph (default {default}).", &R::indent, &T::Indent, "Text4"},
    {"--paragraph-end", "TEXT", "Text written after each paragraph (default {default}).", &R::paragraphEnd,
     &T::ParagraphEnd, "Text5"},
    {"--find", "TEXT",
     "Your own rule: replace this text in every paragraph with the --replace text (default {default}:\n"
     "no replacing).",
     &R::find, &T::FindText, "Text6"},
    {"--replace", "TEXT", "The text that --find is replaced with (default {default}).", &R::replace, &T::ReplaceText,
     "Text7"},
    {"--strip-prefix", "TEXT",
     "Remove this text from the start of each line and each cut-off paragraph (default {default},\n"
     "which never matches because spaces are removed anyway).",
     &R::stripPrefix, &T::StripPrefix, "Text8"},
    {"--keep-asterisks", "", "Keep full-width asterisks ＊ (deleted by default).", &R::keepAsterisks,
     &T::DeleteAsterisks, "Check2(1)"},
    {"--keep-dashes", "", "Keep hyphens - (deleted by default).", &R::keepDashes, &T::DeleteDoubleDashes,
     "Check2(2)"},
    {"--keep-dots", "", "Keep runs of 。.,、 (by default they become ……).", &R::keepDots, &T::DotsToEllipsis,
     "Check2(3)"},
    {"--keep-tildes", "", "Keep ～ (by default each becomes …).", &R::keepTildes, &T::TildeToEllipsis, "Check2(4)"},
    {"--keep-quotes", "", "Keep straight double quotes \" (by default they become “ ”).", &R::keepQuotes,
     &T::ConvertQuotes, "Check2(5)"},
    {"--encoding", "TEXT",
     "Encoding of the input: {default} (default: a byte order mark; else UTF-8 when the whole file is\n"
     "valid UTF-8; else UTF-16 without a mark when its zero bytes show it; else Big5 or GB18030,\n"
     "whichever reads as Chinese, GB18030 when the text is too short to tell), or the one named.",
     &R::encoding},
    {"--output-encoding", "TEXT",
     "Encoding of the result: {default} (default: the input's, with its byte order mark) or the one\n"
     "named; utf-16le and utf-16be are written with a byte order mark.",
     &R::outputEncoding, {}, "Combo1"},
    {"--line-ends", "TEXT", "Line ends of the result: {default} (default) or lf.", &R::lineEnds},
    {"--replace-unencodable", "",
     "Write ? for a character the output encoding cannot hold, and count them; without this such a\n"
     "character fails the file (naming the line and the character) and nothing is written.",
     &R::replaceUnencodable},
    {"--convert", "NAME",
     "Convert the typeset text, headings and markers included, between simplified and traditional\n"
     "characters with OpenCC (s = simplified, t = traditional, tw = Taiwan, twp = Taiwan with its\n"
     "phrases, hk = Hong Kong).",
     &R::conversion, {}, "Combo2"},
    {"--tidy", "",
     "Tidy novels as they are downloaded: lines of any kind of space count as empty, site junk\n"
     "(update stamps, word counts, addresses, credits, disclaimers) is removed, every chapter\n"
     "heading gets a line of its own, tables of contents stay lists, and no text is dropped.\n"
     "An EPUB turns it on.",
     &R::tidy, {}, "Check4"},
    {"--no-tidy", "", "With an EPUB: leave the tidy mode off, so that every heading starts a chapter.", &R::noTidy},
    {"--rules", "FILE",
     "With --tidy (which it turns on): your own rules, read after the built-in ones; may be given\n"
     "more than once. --print-rules shows the format.",
     &R::rulesFiles},
    {"--print-rules", "", "Print the built-in tidy rules file and exit.", &R::printRules},
    {"--list-headings", "", "Print each file's headings in order.", &R::listHeadings},
    {"--list-junk", "",
     "With --tidy (which it turns on): print each distinct piece of site junk removed, once, with how\n"
     "often it went.",
     &R::listJunk},
    {"--epub", "",
     "Write an EPUB e-book, kovra-NAME.epub (NAME without .txt), instead of the text\n"
     "copy: each chapter and volume heading starts a chapter and is listed in its table of\n"
     "contents. Turns on --tidy (--no-tidy leaves it off).",
     &R::epub},
    {"--format", "LIST", "What to write, as a list: txt (the default), epub, or txt,epub for both from one run.",
     &R::formats, {}, "Check5"},
    {"--title", "TEXT",
     "The EPUB's title (default: as the file name or the first lines give it, such as\n"
     "《书名》作者：某.txt or 书名：...; else the file name without .txt).",
     &R::title},
    {"--author", "TEXT", "The EPUB's author (default: as the file name or the first lines give it; else none).",
     &R::author},
    {"--cover", "FILE", "The EPUB's cover image, a JPEG or PNG file (default: a cover drawn with the title and author).",
     &R::cover},
    {"--css", "FILE",
     "A style sheet of your own (UTF-8 CSS), added to the EPUB after its own: line height, paragraph\n"
     "spacing, indent, fonts.",
     &R::css},
    {"--language", "TEXT",
     "The EPUB's language tag, such as zh-CN or zh-TW (default: the language\n"
     "--convert converts to; else zh-Hant when the text is in traditional\n"
     "characters, else zh-Hans).",
     &R::language},
    {"--vertical", "", "Set the EPUB in vertical lines read from right to left.", &R::vertical},
    {"--json", "",
     "Print the statistics of each file as one JSON object. With --batch: a line for each file as it\n"
     "is done (its path, encoding, statistics, findings and warnings, or its failure), then the totals.",
     &R::json},
    {"-q,--quiet", "", "Print no statistics (--json still prints its objects), and no note on an encoding that was\nguessed.",
     &R::quiet},
};

constexpr std::string_view kNumberWords[] = {"no", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine"};

// "one space", "two full-width spaces": a text of one kind of space, counted.
std::string spacesInWords(std::size_t count, std::string_view kind) {
    const std::string number = count < std::size(kNumberWords) ? std::string(kNumberWords[count]) : std::to_string(count);
    return number + " " + std::string(kind) + (count == 1 ? "space" : "spaces");
}

std::string describeText(TextView text) {
    if (text.empty()) return "none";
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c == kSpace; }))
        return spacesInWords(text.size(), "");
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c == kIdeographicSpace; }))
        return spacesInWords(text.size(), "full-width ");
    return toUtf8(text);
}

}  // namespace

RunRequest::RunRequest() : jobs(std::max(1U, std::thread::hardware_concurrency())) {
    const TypesetOptions defaults;
    for (const OptionSpec& option : kOptions)
        if (const auto* text = std::get_if<Text TypesetOptions::*>(&option.sets))
            this->*std::get<std::string RunRequest::*>(option.request) = toUtf8(defaults.**text);
}

std::span<const OptionSpec> optionTable() { return kOptions; }

std::string_view longFlagOf(const OptionSpec& option) {
    const std::size_t comma = option.flags.rfind(',');
    return comma == std::string_view::npos ? option.flags : option.flags.substr(comma + 1);
}

const OptionSpec& optionOf(std::string_view longFlag) {
    for (const OptionSpec& option : kOptions)
        if (longFlagOf(option) == longFlag) return option;
    throw std::logic_error("no option " + std::string(longFlag));
}

std::string describeDefault(const OptionSpec& option) {
    if (const auto* text = std::get_if<Text TypesetOptions::*>(&option.sets)) return describeText(TypesetOptions{}.**text);
    if (const auto* name = std::get_if<std::string RunRequest::*>(&option.request)) return RunRequest{}.**name;
    return {};
}

std::string helpText(const OptionSpec& option) {
    std::string help(option.help);
    constexpr std::string_view placeholder = "{default}";
    if (const std::size_t at = help.find(placeholder); at != std::string::npos)
        help.replace(at, placeholder.size(), describeDefault(option));
    return help;
}

std::variant<TypesetOptions, std::string_view> typesetOptionsOf(const RunRequest& request) {
    TypesetOptions options;
    for (const OptionSpec& option : kOptions) {
        if (const auto* text = std::get_if<Text TypesetOptions::*>(&option.sets)) {
            if (!fromUtf8Strict(request.*std::get<std::string RunRequest::*>(option.request), options.**text))
                return longFlagOf(option);
        } else if (const auto* on = std::get_if<bool TypesetOptions::*>(&option.sets)) {
            options.**on = !(request.*std::get<bool RunRequest::*>(option.request));
        }
    }
    return options;
}

}  // namespace quenlet
