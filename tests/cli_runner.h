// Runs quenlet-cli in this process with its output captured.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

namespace quenlet::test {

struct CliResult {
    int status;
    std::string out;
    std::string err;
};

inline CliResult runCli(std::vector<std::string> args, int inputFd = 0, int outputFd = 1) {
    args.insert(args.begin(), "quenlet-cli");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int status = cli::run(static_cast<int>(argv.size()), argv.data(), {out, err, inputFd, outputFd});
    return {status, out.str(), err.str()};
}

}  // namespace quenlet::test
