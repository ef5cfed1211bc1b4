// The command line read into a request (options/option_table.h), with the
// parser and the help built from the option table.
#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string_view>

#include "options/option_table.h"

namespace quenlet::cli {

struct Parsed {
    std::optional<RunRequest> request;  // none when the run ends here
    int status = 0;                     // then: 0 after --help or --version, 2 for a usage error
};

Parsed parseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// What the tool does, in a paragraph: the head of its help and of its manual page.
std::string_view programDescription();

// The flags the parser answers itself, before anything is typeset (--help,
// --version): with the option table, the whole list of options.
struct ParserFlag {
    std::string_view flags;
    std::string_view help;
};
std::span<const ParserFlag> parserFlags();

}  // namespace quenlet::cli
