// quenlet-cli: parses the command line, runs the engine, reports results.
#pragma once

#include <ostream>

namespace quenlet::cli {

// Where the command line tool talks to. Tests swap these for buffers and files.
struct Streams {
    std::ostream& out;
    std::ostream& err;
    int inputFd = 0;   // read for the FILE "-"
    int outputFd = 1;  // written for the FILE "-"
    bool errIsTerminal = false;  // progress redraws one line in place on a terminal
};

// Runs the tool; returns the exit status: 0 when every file was typeset, 1
// when any failed, 2 for a usage error.
int run(int argc, const char* const* argv, Streams streams);

}  // namespace quenlet::cli
