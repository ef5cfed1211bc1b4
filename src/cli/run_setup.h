// A request turned into what a run takes: the typesetting options and the
// settings every file is typeset with -- or the reason there is no run.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "options/option_table.h"
#include "run/file_run.h"

namespace quenlet::cli {

struct RunSetup {
    TypesetOptions options;
    FileRunSettings settings;
};

struct SetupError {
    std::string message;  // after "quenlet-cli: "
    int status;           // 2 for a usage error, 1 when the run cannot be made
};

std::variant<RunSetup, SetupError> setupOf(const RunRequest& request);

// "txt", "epub" or both, such as "txt,epub".
bool isFormatList(std::string_view list);

}  // namespace quenlet::cli
