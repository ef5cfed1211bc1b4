// What format detection reads of a file: its first bytes, the whole of it
// once as UTF-8, and blocks spread over the rest, so that the decision between
// Big5 and GB18030 is not made from the head of the file alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text/encoding_detector.h"

namespace quenlet {

// Detects the encoding of the input at `fd`, of which `head` holds the first
// bytes (all of them when `ended`); the descriptor stands after them and must
// be seekable. Nothing beyond `size` bytes is read, when it is given (the
// size of a regular file when it was opened); else the input is read to its
// end and only its head is sampled. Throws FileError: CannotRead, or
// UnsupportedEncoding for a long file that reads as Chinese in no supported
// encoding, naming what it most likely is.
Detection detectFileEncoding(int fd, const std::string& path, std::string_view head, bool ended,
                             std::size_t blockSize, std::optional<std::uint64_t> size);

// The message of an UnsupportedEncoding failure, after "<file>: ".
std::string unsupportedReason(const Detection& detection);

}  // namespace quenlet
