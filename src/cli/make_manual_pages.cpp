// quenlet-make-manual-pages FOLDER RULES_FILE: writes quenlet-cli.1 and
// quenlet.1 into FOLDER, naming RULES_FILE as where the tidy rules are
// installed. Run by the build; not installed.
#include <fstream>
#include <iostream>
#include <string>
#include <utility>

#include "base/version.h"
#include "cli/manual_page.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: quenlet-make-manual-pages FOLDER RULES_FILE\n";
        return 2;
    }
    const quenlet::cli::ManualDetails details{quenlet::kVersion, argv[2]};
    const std::string folder = argv[1];
    for (const auto& [name, page] : {std::pair{"quenlet-cli.1", quenlet::cli::cliManualPage(details)},
                                     std::pair{"quenlet.1", quenlet::cli::windowManualPage(details)}}) {
        const std::string path = folder + "/" + name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << page;
        out.close();
        if (!out) {
            std::cerr << "quenlet-make-manual-pages: " << path << ": cannot write\n";
            return 1;
        }
    }
    return 0;
}
