// One labelled file of tests/data/detect: detect_case FILE EXPECTED, where
// EXPECTED is the encoding detection must find (utf-8, utf-16le, utf-16be,
// gb18030, big5) or unsupported-<what the file most likely is>. The file is
// read as a source is, through the line reader. Exits 0 when detection is
// right, else 1 with what it found.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "files/text_file.h"

using namespace quenlet;

namespace {

std::string slug(LikelyEncoding likely) {
    switch (likely) {
        case LikelyEncoding::Utf32LE: return "utf-32le";
        case LikelyEncoding::Utf32BE: return "utf-32be";
        case LikelyEncoding::ShiftJis: return "shift_jis";
        case LikelyEncoding::EucJp: return "euc-jp";
        case LikelyEncoding::EucKr: return "euc-kr";
        case LikelyEncoding::EucTw: return "euc-tw";
        case LikelyEncoding::Hz: return "hz";
        case LikelyEncoding::SingleByte: return "single-byte";
        case LikelyEncoding::Binary: return "binary";
        case LikelyEncoding::Unknown: break;
    }
    return "unknown";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: detect_case FILE EXPECTED\n");
        return 2;
    }
    const std::string path = argv[1];
    const std::string expected = argv[2];
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(path.c_str());
        return 1;
    }
    std::string found;
    try {
        LineReader reader(fd, path, std::nullopt);
        found = std::string(encodingName(reader.format().encoding)) + " (" + detectedByName(reader.detection().by) + ")";
        if (found.starts_with(expected + " (")) found = expected;
    } catch (const FileError& e) {
        found = e.cause().kind == FailureKind::UnsupportedEncoding ? "unsupported-" + slug(e.cause().likely) : e.what();
    }
    ::close(fd);
    if (found == expected) return 0;
    std::fprintf(stderr, "%s: expected %s, detected %s\n", path.c_str(), expected.c_str(), found.c_str());
    return 1;
}
