#include <unistd.h>

#include <iostream>

#include "cli_app.h"
#include "temporary_files.h"

int main(int argc, char** argv) {
    quenlet::removeTemporaryFilesOnSignals();
    return quenlet::cli::run(argc, argv, {std::cout, std::cerr, 0, 1, ::isatty(2) == 1});
}
