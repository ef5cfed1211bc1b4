// Writes a generated novel to a file, for timing quenlet-cli from the shell.
//   quenlet-gen-novel MEGABYTES OUTPUT [utf-8|gb18030|utf-16le] [SEED]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "novel_generator.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: quenlet-gen-novel MEGABYTES OUTPUT [utf-8|gb18030|utf-16le] [SEED]\n";
        return 2;
    }
    const auto encoding = quenlet::encodingFromName(argc > 3 ? argv[3] : "gb18030");
    if (!encoding) {
        std::cerr << "unknown encoding\n";
        return 2;
    }
    const std::uint64_t seed = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1;
    const std::string text =
        quenlet::bench::generateNovel(static_cast<std::size_t>(std::atof(argv[1]) * 1024 * 1024), *encoding, seed);
    std::ofstream out(argv[2], std::ios::binary);
    out << text;
    if (!out.flush()) {
        std::cerr << "cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
