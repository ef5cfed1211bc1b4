// The command line's two commands: the FILEs one after the other, and a
// batch over a folder. Each returns the exit status: 0 when every file was
// typeset and the report delivered, 1 otherwise.
#pragma once

#include "cli/cli_app.h"
#include "cli/reporter.h"
#include "cli/run_setup.h"

namespace quenlet::cli {

int typesetFiles(const RunRequest& request, const RunSetup& setup, Reporter& reporter, const Streams& streams);
int typesetBatch(const RunRequest& request, const RunSetup& setup, Reporter& reporter, const Streams& streams);

}  // namespace quenlet::cli
