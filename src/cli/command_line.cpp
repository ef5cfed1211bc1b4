#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <map>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "base/version.h"
#include "cli/run_setup.h"
#include "text/chinese_conversion.h"
#include "text/encoding.h"

namespace quenlet::cli {
namespace {

constexpr const char* kDescription =
    "Quenlet re-flows plain-text Chinese novels: it joins paragraphs broken into short lines, removes padding\n"
    "spaces and runs of question marks, normalises quotes and ellipses, sets chapter headings apart and\n"
    "indents every paragraph. Each FILE is typeset into a copy named kovra-FILE beside it; the file itself\n"
    "is never changed. The statistics of each file are printed when it is done.";

constexpr ParserFlag kParserFlags[] = {
    {"-h,--help", "Print this help message and exit"},
    {"--version", "Print the version and exit"},
};

// The names from `first` on, separated by commas.
std::string joined(const std::vector<std::string>& names, const char* separator) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) out += (i > 0 ? separator : "") + names[i];
    return out;
}

// One entry of the option table as the parser's option, bound to its field of the request.
CLI::Option* addOption(CLI::App& app, const OptionSpec& option, RunRequest& request) {
    const std::string flags(option.flags);
    const std::string help = helpText(option);
    return std::visit(
        [&](auto field) -> CLI::Option* {
            if constexpr (std::is_same_v<decltype(field), bool RunRequest::*>)
                return app.add_flag(flags, request.*field, help);
            else
                return app.add_option(flags, request.*field, help)->type_name(std::string(option.valueName));
        },
        option.request);
}

// What the parser checks besides the values' types: the names it accepts,
// and which options go together.
void addChecks(const std::map<std::string_view, CLI::Option*>& options) {
    CLI::Option* files = options.at("FILE");
    CLI::Option* batch = options.at("--batch");
    files->excludes(batch);
    batch->excludes(files);
    options.at("--jobs")->check(CLI::Range(1U, 1024U))->needs(batch);

    std::vector<std::string> inputNames = {RunRequest{}.encoding};
    for (const EncodingInfo& info : encodings()) inputNames.emplace_back(info.name);
    options.at("--encoding")->check(CLI::IsMember(inputNames));
    std::vector<std::string> outputNames = {RunRequest{}.outputEncoding};
    for (const NamedFormat& named : outputFormats()) outputNames.emplace_back(named.name);
    options.at("--output-encoding")->check(CLI::IsMember(outputNames));
    options.at("--line-ends")->check(CLI::IsMember({"crlf", "lf"}));

    std::vector<std::string> conversions(conversionNames().begin(), conversionNames().end());
    options.at("--convert")->check(CLI::Validator(
        [conversions](std::string& name) -> std::string {
            if (isConversionName(name)) return {};
            return "unknown conversion \"" + name + "\"; the conversions are " + joined(conversions, ", ");
        },
        "{" + joined(conversions, ",") + "}"));
    // One file each time, so that the FILEs after it stay FILEs.
    options.at("--rules")->allow_extra_args(false);
    options.at("--format")
        ->check([](const std::string& list) { return isFormatList(list) ? std::string() : "not a list of txt and epub: " + list; },
                "txt,epub")
        ->excludes(options.at("--epub"));
}

}  // namespace

Parsed parseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{kDescription, "quenlet-cli"};
    app.get_formatter()->column_width(30);
    app.set_help_flag(std::string(kParserFlags[0].flags), std::string(kParserFlags[0].help));
    app.set_version_flag(std::string(kParserFlags[1].flags), "quenlet-cli " + std::string(kVersion),
                         std::string(kParserFlags[1].help));
    RunRequest request;
    std::map<std::string_view, CLI::Option*> options;
    for (const OptionSpec& option : optionTable()) options[longFlagOf(option)] = addOption(app, option, request);
    addChecks(options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {  // --help, --version
        // Written without the parser's flush, so that the caller's flush
        // meets a write error itself and can name it.
        std::ostringstream text;
        const int status = app.exit(e, text, err);
        out << text.str();
        return {std::nullopt, status};
    } catch (const CLI::ParseError& e) {
        app.exit(e, out, err);
        return {std::nullopt, 2};
    }
    for (const auto& [flag, option] : options)
        if (option->count() > 0) request.given.emplace(flag);
    return {std::move(request), 0};
}

std::string_view programDescription() { return kDescription; }

std::span<const ParserFlag> parserFlags() { return kParserFlags; }

}  // namespace quenlet::cli
