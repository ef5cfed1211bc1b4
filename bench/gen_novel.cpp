// Writes a generated novel to a file, for timing quenlet-cli from the shell.
//   quenlet-gen-novel MEGABYTES OUTPUT [utf-8|gb18030|utf-16le]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "novel_generator.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: quenlet-gen-novel MEGABYTES OUTPUT [utf-8|gb18030|utf-16le]\n";
        return 2;
    }
    const auto encoding = quenlet::encodingFromName(argc > 3 ? argv[3] : "gb18030");
    if (!encoding) {
        std::cerr << "unknown encoding\n";
        return 2;
    }
    const std::string text =
        quenlet::bench::generateNovel(static_cast<std::size_t>(std::atof(argv[1]) * 1024 * 1024), *encoding);
    std::ofstream(argv[2], std::ios::binary) << text;
    return 0;
}
