#include <fcntl.h>
#include <unistd.h>

#include <iostream>

#include "cli/cli_app.h"
#include "files/temporary_files.h"

namespace {

// Descriptors 0, 1 and 2 closed when the program starts (`<&-`, `>&-`) are
// opened on /dev/null before anything else is opened, so that no file of
// the run -- a source, an output, the copy of standard input -- can take
// their numbers and be read as the input or written with the statistics.
// As the coreutils do, each is opened the other way round: reading
// standard input and writing standard output then fail with "Bad file
// descriptor", so `-` with no input is an error, never an empty file.
void openClosedStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0) continue;
        const int opened = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (opened >= 0 && opened != fd) {  // (cannot be: the lower numbers are open)
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    openClosedStandardStreams();
    quenlet::removeTemporaryFilesOnSignals();
    return quenlet::cli::run(argc, argv, {std::cout, std::cerr, 0, 1, ::isatty(2) == 1});
}
