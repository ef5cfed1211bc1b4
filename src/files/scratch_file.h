// Room on disk for data made during a run and read back before its end, such
// as the finished parts of a book that is put together only at the end: a
// file without a name, so that nothing is left behind however the process
// ends, in the folder of the output it serves -- on the same disk, so that a
// full disk or a limit on file sizes shows there as it would for the output.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "files/file_location.h"

namespace quenlet {

class ScratchFile {
public:
    // In `folder`, or without one in $TMPDIR (else /tmp). Failures, now and
    // later, are reported as FileErrors naming `pathForMessages`: the output
    // the data is for.
    ScratchFile(std::shared_ptr<const OpenFolder> folder, std::string pathForMessages);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Writes `bytes` after everything written so far and returns where they
    // start. Threads may append at the same time: each gets a place of its own.
    std::uint64_t append(std::string_view bytes);
    // Reads `length` bytes written at `offset` (all of them, or it throws).
    void read(std::uint64_t offset, char* into, std::size_t length) const;
    std::uint64_t size() const { return end_.load(); }

private:
    int fd_ = -1;
    std::string path_;
    std::atomic<std::uint64_t> end_{0};
};

}  // namespace quenlet
