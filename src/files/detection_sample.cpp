#include "files/detection_sample.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "files/file_error.h"
#include "files/text_file.h"

namespace quenlet {
namespace {

// Reads `size` bytes at `offset` (fewer at the end of the file).
std::string readAt(int fd, const std::string& path, off_t offset, std::size_t size) {
    std::string bytes(size, '\0');
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size - got, offset + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileError(FailureKind::CannotRead, path, "cannot read", errno);
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

// A block from the middle of a file starts where a character may: after its
// first byte below 0x30, which is part of no two- or four-byte code of
// GB18030 or Big5 (a line end, a space, punctuation). Empty when it has none.
std::string fromCharacterStart(std::string block) {
    std::size_t start = 0;
    while (start < block.size() && static_cast<unsigned char>(block[start]) >= 0x30) ++start;
    if (start == block.size()) return {};
    block.erase(0, start + 1);
    return block;
}

// Blocks spread evenly over what follows the first `headSize` bytes of a
// file of `fileSize` bytes: the rest whole when it is short.
std::vector<std::string> spreadBlocks(int fd, const std::string& path, std::size_t headSize, off_t fileSize) {
    std::vector<std::string> blocks;
    if (fileSize <= static_cast<off_t>(headSize)) return blocks;
    const auto rest = static_cast<std::size_t>(fileSize) - headSize;
    if (rest <= kSpreadBlocks * kSpreadBlockBytes) {
        if (std::string block = fromCharacterStart(readAt(fd, path, static_cast<off_t>(headSize), rest)); !block.empty())
            blocks.push_back(std::move(block));
        return blocks;
    }
    const std::size_t step = (rest - kSpreadBlockBytes) / (kSpreadBlocks - 1);
    for (std::size_t i = 0; i < kSpreadBlocks; ++i) {
        const auto offset = static_cast<off_t>(headSize + i * step);
        if (std::string block = fromCharacterStart(readAt(fd, path, offset, kSpreadBlockBytes)); !block.empty())
            blocks.push_back(std::move(block));
    }
    return blocks;
}

}  // namespace

Detection detectFileEncoding(int fd, const std::string& path, std::string_view head, bool ended,
                             std::size_t blockSize, std::optional<std::uint64_t> size) {
    Utf8Counter counter;
    counter.feed(reinterpret_cast<const unsigned char*>(head.data()), head.size());
    std::vector<unsigned char> block(blockSize);
    bool counted = ended;
    std::uint64_t read = head.size();
    while (!counted && !counter.hopeless()) {
        const std::size_t wanted =
            size ? static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), *size - std::min(*size, read)))
                 : block.size();
        const std::size_t got = wanted == 0 ? 0 : readSome(fd, path, block.data(), wanted);
        counted = got == 0;
        read += got;
        counter.feed(block.data(), got);
    }
    Utf8Counts utf8 = counter.finish();
    utf8.complete = counted;
    std::vector<std::string> spread;
    if (!utf8.valid() && !ended && size) spread = spreadBlocks(fd, path, head.size(), static_cast<off_t>(*size));
    const Detection detection = detectEncoding(Sample(head, utf8, ended, std::move(spread)));
    if (detection.by == DetectedBy::Unsupported) {
        FailureCause cause{FailureKind::UnsupportedEncoding, path};
        cause.likely = detection.likely;
        throw FileError(std::move(cause), unsupportedReason(detection));
    }
    return detection;
}

std::string unsupportedReason(const Detection& detection) {
    const std::string anyway = "; --encoding reads it as one of them all the same";
    if (detection.byteOrderMark)
        return std::string("starts with the byte order mark of ") + likelyEncodingName(detection.likely) +
               ", which is not supported (UTF-8, UTF-16, GB18030 and Big5 are)" + anyway;
    return std::string("reads as Chinese in no supported encoding (UTF-8, UTF-16, GB18030, Big5); it looks like ") +
           likelyEncodingName(detection.likely) + anyway;
}

}  // namespace quenlet
