// The command line read into a request (options/option_table.h), with the
// parser and the help built from the option table.
#pragma once

#include <optional>
#include <ostream>

#include "options/option_table.h"

namespace quenlet::cli {

struct Parsed {
    std::optional<RunRequest> request;  // none when the run ends here
    int status = 0;                     // then: 0 after --help, 2 for a usage error
};

Parsed parseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace quenlet::cli
