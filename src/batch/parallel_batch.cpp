#include "batch/parallel_batch.h"

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <unordered_map>

#include "base/helper_threads.h"
#include "batch/folder_walk.h"
#include "files/temporary_files.h"

namespace quenlet {
namespace {

// One file typeset on the assumption of a given CurrentChar to start from.
struct Attempt {
    PreparedFile prepared;
    Statistics statistics;
    TypesetEngine::CarriedDependence dependence;
    Text endingCurrentChar;
    bool assumedClosed = false;
};

Attempt attempt(TypesetEngine& engine, const FileLocation& file, const Text& startingCurrentChar,
                const BatchRun::Hooks& hooks) {
    engine.state().CurrentChar = startingCurrentChar;
    engine.resetStatistics();
    FileRunSettings settings = BatchRun::settingsOfNextFile(hooks);
    settings.threading = Threading::Inline;  // the files themselves already run side by side
    Attempt a;
    a.assumedClosed = TypesetEngine::leavesParagraphClosed(startingCurrentChar);
    a.prepared = prepareFile(engine, file, hooks.takeOptions(), settings);
    a.statistics = engine.statistics();
    a.dependence = engine.carriedDependence();
    a.endingCurrentChar = engine.state().CurrentChar;
    return a;
}

// A failure for want of descriptors or memory, which a second try with fewer
// files open at once may not meet.
bool forWantOfResources(const FileRunResult& result) {
    return !result.ok && (result.errorNumber == EMFILE || result.errorNumber == ENFILE || result.errorNumber == ENOMEM);
}

// How many more descriptors this process may open.
std::size_t freeDescriptors() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1 << 20;
    std::size_t open = 0;
    if (DIR* fds = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(fds))
            if (entry->d_name[0] != '.') ++open;
        ::closedir(fds);
        if (open > 0) --open;  // the listing's own
    } else {
        open = 16;  // a guess when the count cannot be had
    }
    return limit.rlim_cur > open ? static_cast<std::size_t>(limit.rlim_cur) - open : 0;
}

// A descriptor for the walk's folders, the rerun on this thread and whatever
// the C library opens (converters), kept out of the jobs' share.
constexpr std::size_t kReservedDescriptors = 16;

// One step of the walk on its way to being committed.
struct Slot {
    WalkStep step;
    std::optional<Attempt> attempt;  // set once the step is worked on
};

}  // namespace

// Workers take the walk's steps in order and typeset each file into a
// temporary output; this thread commits them in that order. A file can depend
// on the file before it only through CurrentChar, and only through whether it
// is one closing mark; a worker that starts before the file before it is
// committed guesses "no" and records whether the guess mattered. The rare file
// where it mattered and was wrong is typeset again at its commit, as is one
// that failed for want of descriptors or memory. A file is reported as done
// once its folder is synced after its rename, once for a run of files in the
// same folder. Workers stay at most a few files ahead of the commits; a file
// waiting for its commit holds no descriptor but its folder's, and the number
// of jobs and how far ahead they go are kept within the limit on open files.
// When no thread can be started, the files are typeset one after the other on
// this thread.
BatchResult ParallelBatch::run(const std::string& folder) {
    const std::size_t budget = freeDescriptors();
    const std::size_t usable = budget > kReservedDescriptors ? budget - kReservedDescriptors : 0;
    // A working job holds its source, its temporary output and its folder;
    // each file ahead of the commits holds its folder.
    const std::size_t jobs = std::clamp<std::size_t>(usable / 4, 1, jobs_);
    const std::size_t lookahead =
        std::min({std::max<std::size_t>(usable > 3 * jobs ? usable - 3 * jobs : 0, jobs), 4 * jobs,
                  kTemporarySlots / 2});

    std::mutex mutex;
    std::condition_variable changed;
    FolderWalk walk(folder);
    bool walkEnded = false;
    std::size_t pulled = 0;     // steps taken from the walk
    std::size_t committed = 0;  // steps committed
    std::unordered_map<std::size_t, Slot> slots;
    Text carried = engine_.state().CurrentChar;
    bool stopping = false;

    auto work = [&] {
        TypesetEngine worker;
        for (;;) {
            std::size_t i = 0;
            Text guess;
            FileLocation file;
            bool typeset = false;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stopping || walkEnded || pulled < committed + lookahead; });
                if (stopping || walkEnded) return;
                WalkStep step;
                try {
                    do {
                        if (!walk.next(step)) {
                            walkEnded = true;
                            changed.notify_all();
                            return;
                        }
                    } while (step.kind == WalkStep::OtherFile);
                } catch (const std::exception& e) {  // out of memory: the walk ends with it, reported
                    const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
                    step = {WalkStep::Failure, {}, folder, folder + ": " + e.what(), true,
                            {memory ? FailureKind::OutOfMemory : FailureKind::Other, folder, memory ? ENOMEM : 0}};
                    walkEnded = true;
                }
                i = pulled++;
                typeset = step.kind == WalkStep::TextFile;
                if (typeset) file = step.file;
                if (i == committed) guess = carried;  // no need to guess
                slots[i].step = std::move(step);
            }
            Attempt a;
            if (typeset) a = attempt(worker, file, guess, hooks_);
            std::lock_guard lock(mutex);
            slots[i].attempt = std::move(a);
            changed.notify_all();
        }
    };
    // Under a limit on processes: the batch goes on with the workers there are.
    HelperThreads workers;
    if (workers.start(jobs, work) == 0) {
        BatchRun::Hooks inline_ = hooks_;
        inline_.settings.threading = Threading::Inline;
        if (hooks_.takeSettings)
            inline_.takeSettings = [take = hooks_.takeSettings] {
                FileRunSettings settings = take();
                settings.threading = Threading::Inline;
                return settings;
            };
        return BatchRun(engine_, inline_).run(folder);
    }

    BatchResult result;
    // Files renamed into place, all in one folder, that are reported as done
    // once the folder is synced: one sync for a run of files instead of one
    // each.
    struct Renamed {
        std::shared_ptr<const OpenFolder> folder;
        std::string path;
        Count number;
        FileRunResult result;
    };
    std::vector<Renamed> unsynced;
    auto settle = [&] {
        if (unsynced.empty()) return;
        try {
            unsynced.front().folder->sync(unsynced.front().path);
        } catch (const FileError& e) {
            // The copies are in place, but the disk did not confirm their names.
            result.failures.push_back({e.path(), e.what(), e.cause()});
            if (hooks_.observer) hooks_.observer->fileFailed(e.path(), e.what());
        }
        if (hooks_.observer)
            for (const Renamed& r : unsynced) {
                hooks_.observer->fileStarted(r.number, r.path);
                hooks_.observer->fileFinished(r.number, r.path, r.result);
            }
        unsynced.clear();
    };
    constexpr std::size_t kMostUnsynced = 64;

    TypesetEngine rerunner;
    for (std::size_t i = 0;; ++i) {
        Slot slot;
        {
            std::unique_lock lock(mutex);
            const auto ready = [&] {
                const auto found = slots.find(i);
                return (found != slots.end() && found->second.attempt) || (walkEnded && i == pulled);
            };
            if (!ready() && !unsynced.empty()) {  // nothing to do meanwhile: report what is done
                lock.unlock();
                settle();
                lock.lock();
            }
            changed.wait(lock, ready);
            if (walkEnded && i == pulled) break;
            slot = std::move(slots[i]);
            slots.erase(i);
        }
        const WalkStep& step = slot.step;
        Attempt& a = *slot.attempt;
        auto fail = [&](const std::string& error, const FailureCause& cause) {
            settle();  // the files before it are reported first
            result.failures.push_back({step.path, error, cause});
            if (hooks_.observer) hooks_.observer->fileFailed(step.path, error);
        };
        if (step.kind == WalkStep::Failure) {
            fail(step.error, step.cause);
        } else {
            const bool guessedWrong = a.prepared.result.ok && a.dependence.onClosingMarkTest &&
                                      a.assumedClosed != TypesetEngine::leavesParagraphClosed(carried);
            if (guessedWrong || forWantOfResources(a.prepared.result)) {
                a = Attempt();  // let go of what the first try holds before the second
                a = attempt(rerunner, step.file, carried, hooks_);
            }
            if (!unsynced.empty() && (unsynced.front().folder != step.file.folder || unsynced.size() >= kMostUnsynced))
                settle();
            a.prepared.commit(false);
            if (!a.prepared.result.ok) {
                fail(a.prepared.result.error, a.prepared.result.failure);
            } else {
                result.statistics += a.statistics;
                const Count number = ++result.files;
                unsynced.push_back({step.file.folder, step.path, number, a.prepared.result});
                if (a.dependence.currentCharWritten) {
                    std::lock_guard lock(mutex);
                    carried = a.endingCurrentChar;
                }
            }
        }
        std::lock_guard lock(mutex);
        committed = i + 1;
        changed.notify_all();
    }
    settle();
    {
        std::lock_guard lock(mutex);
        stopping = true;
        changed.notify_all();
    }
    workers.join();

    CarriedState ending = engine_.carriedState();
    ending.CurrentChar = carried;
    ending.Stats = result.statistics;
    ending.FileCount = result.files;
    engine_.restoreCarriedState(ending);
    return result;
}

}  // namespace quenlet
