#include "cli/run_setup.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <tuple>

#include "cli/json_text.h"
#include "formats/epub_writer.h"
#include "text/chinese_conversion.h"
#include "cli/reporter.h"
#include "tidy/tidy_mode.h"

namespace quenlet::cli {
namespace {

constexpr int kUsage = 2;
constexpr int kFailed = 1;

// Pieces of `text` between commas (or hyphens), each checked.
template <typename Check>
bool allPieces(std::string_view text, char separator, Check check) {
    for (std::size_t start = 0, index = 0;; ++index) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (!check(text.substr(start, end - start), index)) return false;
        if (end == text.size()) return true;
        start = end + 1;
    }
}

// A language tag: a language of two or three letters, then subtags such as a
// script or a region (zh, zh-TW, zh-Hant-TW).
bool isLanguageTag(std::string_view tag) {
    return allPieces(tag, '-', [](std::string_view subtag, std::size_t index) {
        auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
        auto digit = [](char c) { return c >= '0' && c <= '9'; };
        if (index == 0)
            return subtag.size() >= 2 && subtag.size() <= 3 && std::all_of(subtag.begin(), subtag.end(), letter);
        return !subtag.empty() && subtag.size() <= 8 &&
               std::all_of(subtag.begin(), subtag.end(), [&](char c) { return letter(c) || digit(c); });
    });
}

// The encodings, the line ends and the conversion; the reason when the
// conversion cannot be loaded.
std::optional<std::string> takeTextSettings(const RunRequest& request, FileRunSettings& settings) {
    if (request.encoding != RunRequest{}.encoding) settings.forcedEncoding = encodingFromName(request.encoding);
    if (request.outputEncoding != RunRequest{}.outputEncoding)
        settings.outputFormat = outputFormatFromName(request.outputEncoding);
    settings.lineEnd = request.lineEnds == "lf" ? LineEnd::Lf : LineEnd::CrLf;
    settings.replaceUnencodable = request.replaceUnencodable;
    settings.conversion = request.conversion;
    if (settings.conversion.empty()) return std::nullopt;
    try {
        ChineseConverter::load(settings.conversion);  // once, before any file
    } catch (const std::exception& e) {
        return e.what();
    }
    return std::nullopt;
}

// The tidy mode, with the user's rules files; the reason when one is bad.
std::optional<std::string> takeTidyMode(const RunRequest& request, FileRunSettings& settings) {
    if (!request.tidied()) return std::nullopt;
    try {
        tidy::TidyRules rules = tidy::TidyRules::builtIn();
        for (const std::string& file : request.rulesFiles) rules.addFile(file);
        settings.hooks = std::make_shared<tidy::TidyMode>(std::move(rules));
    } catch (const tidy::RulesError& e) {
        return Reporter::shown(e.what());  // (it may quote the file's own bytes)
    }
    return std::nullopt;
}

// The outputs and the book's details; the reason when they are not usable.
std::optional<std::string> takeBookOptions(const RunRequest& request, FileRunSettings& settings) {
    bool text = !request.epub;
    bool epub = request.epub;
    if (!request.formats.empty()) {
        const std::string list = "," + request.formats + ",";
        text = list.find(",txt,") != std::string::npos;
        epub = list.find(",epub,") != std::string::npos;
    }
    settings.writeText = text;
    if (epub) settings.book = formats::epubFormat();
    BookDetails& details = settings.bookDetails;
    const std::tuple<const char*, const std::string*, Text*> texts[] = {{"--title", &request.title, &details.title},
                                                                         {"--author", &request.author, &details.author}};
    for (const auto& [flag, from, to] : texts)
        if (!fromUtf8Strict(*from, *to)) return std::string(flag) + ": the text is not valid UTF-8";
    if (!request.language.empty() && !isLanguageTag(request.language))
        return "--language: not a language tag such as zh-CN or zh-TW: " + jsonString(request.language);
    details.language = request.language;
    details.vertical = request.vertical;
    return std::nullopt;
}

// What only makes sense with a book, or with one book; the reason when the request asks otherwise.
std::optional<std::string> checkBookRequest(const RunRequest& request, const FileRunSettings& settings) {
    auto given = [&request](std::string_view flag) { return request.given.contains(flag); };
    const bool bookOptionGiven = given("--title") || given("--author") || given("--language") || given("--vertical");
    if (bookOptionGiven && !settings.book)
        return "--title, --author, --language and --vertical describe an EPUB: add --epub or --format txt,epub";
    if (settings.book && std::find(request.files.begin(), request.files.end(), "-") != request.files.end())
        return "an EPUB is written beside its source file; standard input (-) gives text only";
    if (given("--title") && (request.files.size() > 1 || given("--batch")))
        return "--title names one book; for several files each takes its file name";
    return std::nullopt;
}

}  // namespace

bool isFormatList(std::string_view list) {
    return allPieces(list, ',',
                     [](std::string_view format, std::size_t) { return format == "txt" || format == "epub"; });
}

std::variant<RunSetup, SetupError> setupOf(const RunRequest& request) {
    RunSetup setup;
    const auto options = typesetOptionsOf(request);
    if (const auto* bad = std::get_if<std::string_view>(&options))
        return SetupError{std::string(*bad) + ": the text is not valid UTF-8", kUsage};
    setup.options = std::get<TypesetOptions>(options);
    FileRunSettings& settings = setup.settings;
    if (auto failed = takeTextSettings(request, settings)) return SetupError{std::move(*failed), kFailed};
    settings.listHeadings = request.listHeadings;
    if (auto bad = takeTidyMode(request, settings)) return SetupError{std::move(*bad), kUsage};
    if (auto bad = takeBookOptions(request, settings)) return SetupError{std::move(*bad), kUsage};
    if (auto bad = checkBookRequest(request, settings)) return SetupError{std::move(*bad), kUsage};
    return setup;
}

}  // namespace quenlet::cli
