// Writes a generated novel to a file, for timing quenlet-cli from the shell.
//   quenlet-gen-novel MEGABYTES OUTPUT [ENCODING] [SEED] [simplified|traditional]
// ENCODING is utf-8, utf-16le, utf-16be, gb18030 (the default) or big5; the
// script is traditional for big5 and simplified for the others unless given.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string_view>

#include "novel_generator.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: quenlet-gen-novel MEGABYTES OUTPUT [ENCODING] [SEED] [simplified|traditional]\n";
        return 2;
    }
    const auto encoding = quenlet::encodingFromName(argc > 3 ? argv[3] : "gb18030");
    if (!encoding) {
        std::cerr << "unknown encoding\n";
        return 2;
    }
    const std::uint64_t seed = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1;
    auto script = quenlet::bench::usualScript(*encoding);
    if (argc > 5) {
        const std::string_view name = argv[5];
        if (name != "simplified" && name != "traditional") {
            std::cerr << "unknown script\n";
            return 2;
        }
        script = name == "traditional" ? quenlet::bench::Script::Traditional : quenlet::bench::Script::Simplified;
    }
    const std::string text = quenlet::bench::generateNovel(
        static_cast<std::size_t>(std::atof(argv[1]) * 1024 * 1024), *encoding, seed, script);
    std::ofstream out(argv[2], std::ios::binary);
    out << text;
    if (!out.flush()) {
        std::cerr << "cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
