#include <unistd.h>

#include <iostream>

#include "cli/cli_app.h"
#include "files/temporary_files.h"

int main(int argc, char** argv) {
    quenlet::removeTemporaryFilesOnSignals();
    return quenlet::cli::run(argc, argv, {std::cout, std::cerr, 0, 1, ::isatty(2) == 1});
}
