// The temporary files this process has made and not yet renamed into place,
// kept where a signal handler can find them: on SIGINT, SIGTERM or SIGHUP they
// are removed, and the process then ends as the signal would have ended it.
// SIGXFSZ is ignored, so that an output beyond the limit on file sizes fails
// as "File too large" and is cleaned up like any failed output.
#pragma once

#include <cstddef>

namespace quenlet {

// Installs the handlers (once; a signal that is ignored, as under nohup, stays
// ignored). Front ends call this at start; the engine never installs handlers.
void removeTemporaryFilesOnSignals();

// One registered temporary name: `name` in the folder open at `folderFd`,
// which must stay open for as long as the registration lives. Registering
// comes before the file is created, so that no moment exists in which the
// file is there but unknown to the handler.
class TemporaryRegistration {
public:
    static constexpr std::size_t kNameCapacity = 40;

    TemporaryRegistration() = default;
    // Throws FileError naming `pathForMessages` when the process is ending on a
    // signal, or when more temporary files are open than the registry holds.
    TemporaryRegistration(int folderFd, const char* name, const char* pathForMessages);
    ~TemporaryRegistration() { release(); }
    TemporaryRegistration(TemporaryRegistration&& other) noexcept : slot_(other.slot_) { other.slot_ = -1; }
    TemporaryRegistration& operator=(TemporaryRegistration&& other) noexcept;
    TemporaryRegistration(const TemporaryRegistration&) = delete;
    TemporaryRegistration& operator=(const TemporaryRegistration&) = delete;

    // Says that the attempt to create the file is over (made or not).
    void created();
    // Forgets the name: once the file is renamed into place or removed.
    void release();

private:
    int slot_ = -1;
};

// How many temporary files can be registered at once.
inline constexpr std::size_t kTemporarySlots = 4096;

}  // namespace quenlet
