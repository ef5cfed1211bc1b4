// The options, each declared once: the command line's flags, value name and
// help text, the field it sets, and the window's control that sets the same
// field. The command line builds its parser and its help from this table,
// the window takes its controls' opening values and reads them through it,
// and the defaults are those of TypesetOptions{} and RunRequest{} alone.
#pragma once

#include <set>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/typeset_options.h"

namespace quenlet {

// What the user asked for, as given on the command line, before it is
// checked and turned into a run's options and settings.
struct RunRequest {
    RunRequest();  // the typesetting texts start as TypesetOptions{} has them

    std::vector<std::string> files;
    std::string batchFolder;
    unsigned jobs;  // by default the number of processor cores
    // The typesetting switches: each flag turns its option off.
    bool noMerge = false;
    bool noSplit = false;
    bool keepAsterisks = false;
    bool keepDashes = false;
    bool keepDots = false;
    bool keepTildes = false;
    bool keepQuotes = false;
    // The typesetting texts as typed (UTF-8, checked by typesetOptionsOf).
    std::string headingOpen;
    std::string headingClose;
    std::string indent;
    std::string paragraphEnd;
    std::string find;
    std::string replace;
    std::string stripPrefix;
    // The run's settings, by name.
    std::string encoding = "auto";
    std::string outputEncoding = "same";
    std::string lineEnds = "crlf";
    bool replaceUnencodable = false;
    std::string conversion;  // none when empty
    bool tidy = false;
    bool noTidy = false;
    std::vector<std::string> rulesFiles;
    bool printRules = false;
    bool listHeadings = false;
    bool listJunk = false;
    bool epub = false;
    std::string formats;  // a list such as "txt,epub"; empty: as --epub says
    std::string title;
    std::string author;
    std::string language;
    std::string cover;  // files, none when empty
    std::string css;
    bool vertical = false;
    bool json = false;
    bool quiet = false;
    // The long flags of the options given (an empty text given is given).
    std::set<std::string, std::less<>> given;

    // Whether a book is written: --epub, or epub in --format's list.
    bool writesBook() const {
        return formats.empty() ? epub : ("," + formats + ",").find(",epub,") != std::string::npos;
    }
    // Whether the files are typeset in the tidy mode: asked for, implied by
    // an option that only it has, or by a book, whose chapters it finds.
    bool tidied() const { return tidy || !rulesFiles.empty() || listJunk || (writesBook() && !noTidy); }
};

// Where the command line puts what it is given.
using RequestField = std::variant<bool RunRequest::*, unsigned RunRequest::*, std::string RunRequest::*,
                                  std::vector<std::string> RunRequest::*>;
// The typesetting option an entry sets, when it sets one: a switch (which a
// flag turns off and a ticked check box turns on) or a text.
using TypesetField = std::variant<std::monostate, bool TypesetOptions::*, Text TypesetOptions::*>;

struct OptionSpec {
    std::string_view flags;      // as the parser takes them: "-j,--jobs"; "FILE" for the files
    std::string_view valueName;  // "TEXT", "DIR" ...; empty for a flag
    std::string_view help;       // English; "{default}" stands for describeDefault()
    RequestField request;
    TypesetField sets = std::monostate{};
    std::string_view control = {};  // the window's control for the same field; empty when it has none
};

std::span<const OptionSpec> optionTable();
// The entry of a long flag ("--batch").
const OptionSpec& optionOf(std::string_view longFlag);
std::string_view longFlagOf(const OptionSpec& option);

// The default in words: a text as it is ("《") or described ("two
// full-width spaces", "none"), a setting's name ("auto"); empty for a flag.
std::string describeDefault(const OptionSpec& option);
// The help text with its default filled in.
std::string helpText(const OptionSpec& option);

// The typesetting options a request asks for, or the flag of the first text
// that is not valid UTF-8.
std::variant<TypesetOptions, std::string_view> typesetOptionsOf(const RunRequest& request);

}  // namespace quenlet
