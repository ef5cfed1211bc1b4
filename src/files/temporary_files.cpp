#include "files/temporary_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <string>

#include "files/file_error.h"

namespace quenlet {
namespace {

// A slot goes Free -> Filling (its name being written) -> Creating (the file
// may be created any moment) -> Live -> Free. The handler removes the names
// of Creating and Live slots; it reads nothing but these atomics and the
// fixed-size names, and calls nothing but async-signal-safe functions.
enum SlotState : int { Free = 0, Filling, Creating, Live };

struct Slot {
    std::atomic<int> state{Free};
    int folderFd = -1;
    char name[TemporaryRegistration::kNameCapacity] = {};
};

Slot slots[kTemporarySlots];
std::atomic<std::size_t> searchFrom{0};
std::atomic<bool> terminating{false};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP};

void removeAndEnd(int signal) {
    const int savedErrno = errno;
    terminating.store(true);
    // A file being created on another thread is waited for (briefly: it may be
    // this very thread that the signal interrupted), so that it is removed too.
    for (int waited = 0; waited < 200; ++waited) {
        bool creating = false;
        for (Slot& slot : slots) {
            const int state = slot.state.load();
            creating = creating || state == Filling || state == Creating;
        }
        if (!creating) break;
        const timespec pause{0, 1'000'000};
        ::nanosleep(&pause, nullptr);
    }
    for (Slot& slot : slots) {
        const int state = slot.state.load();
        if (state == Creating || state == Live) ::unlinkat(slot.folderFd, slot.name, 0);
    }
    // The handler was installed to run once (SA_RESETHAND): the signal raised
    // again stays pending until the handler returns, then ends the process with
    // the status the signal gives.
    ::raise(signal);
    errno = savedErrno;
}

}  // namespace

void removeTemporaryFilesOnSignals() {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true)) return;
    // A write beyond the limit on file sizes (ulimit -f) then fails with
    // EFBIG ("File too large") like a full disk, and the failed run removes
    // its temporary files, instead of the process dying of SIGXFSZ with them left.
    std::signal(SIGXFSZ, SIG_IGN);
    for (int signal : kHandledSignals) {
        struct sigaction current{};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        struct sigaction action{};
        action.sa_handler = removeAndEnd;
        sigemptyset(&action.sa_mask);
        for (int other : kHandledSignals) sigaddset(&action.sa_mask, other);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
}

TemporaryRegistration::TemporaryRegistration(int folderFd, const char* name, const char* pathForMessages) {
    if (std::strlen(name) >= kNameCapacity)
        throw FileError(FailureKind::CannotCreateOutput, pathForMessages, "temporary name too long");
    const std::size_t start = searchFrom.load(std::memory_order_relaxed);
    for (std::size_t k = 0; k < kTemporarySlots; ++k) {
        const std::size_t index = (start + k) % kTemporarySlots;
        int expected = Free;
        if (!slots[index].state.compare_exchange_strong(expected, Filling)) continue;
        searchFrom.store(index + 1, std::memory_order_relaxed);
        Slot& slot = slots[index];
        slot.folderFd = folderFd;
        std::strcpy(slot.name, name);
        slot.state.store(Creating);
        slot_ = static_cast<int>(index);
        if (terminating.load()) {
            release();
            throw FileError(FailureKind::Interrupted, pathForMessages, "interrupted");
        }
        return;
    }
    throw FileError(FailureKind::TooManyTemporaryFiles, pathForMessages,
                    "cannot create output: too many temporary files at once");
}

TemporaryRegistration& TemporaryRegistration::operator=(TemporaryRegistration&& other) noexcept {
    if (this != &other) {
        release();
        slot_ = other.slot_;
        other.slot_ = -1;
    }
    return *this;
}

void TemporaryRegistration::created() {
    if (slot_ >= 0) slots[slot_].state.store(Live);
}

void TemporaryRegistration::release() {
    if (slot_ < 0) return;
    slots[slot_].state.store(Free);
    slot_ = -1;
}

}  // namespace quenlet
