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
    FileRunSettings settings;  // the file's, which name its outputs
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
    a.settings = settings;
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
class ParallelRun {
public:
    ParallelRun(TypesetEngine& engine, const BatchRun::Hooks& hooks, const std::string& folder, std::size_t jobs)
        : engine_(engine), hooks_(hooks), folder_(folder), walk_(folder), failures_(hooks.observer),
          carried_(engine.state().CurrentChar) {
        const std::size_t budget = freeDescriptors();
        const std::size_t usable = budget > kReservedDescriptors ? budget - kReservedDescriptors : 0;
        // A working job holds its source, its temporary output and its folder;
        // each file ahead of the commits holds its folder.
        jobs_ = std::clamp<std::size_t>(usable / 4, 1, jobs);
        lookahead_ = std::min({std::max<std::size_t>(usable > 3 * jobs_ ? usable - 3 * jobs_ : 0, jobs_), 4 * jobs_,
                               kTemporarySlots / 2});
    }

    // False when no worker could be started, and nothing was done.
    bool run(BatchResult& result);

private:
    void work();
    bool pullStep(WalkStep& step, std::size_t& index, Text& guess);
    bool waitForSlot(std::size_t index, Slot& slot);
    void commit(Slot& slot);
    void settle();
    void endWith(BatchResult& result);

    TypesetEngine& engine_;
    const BatchRun::Hooks& hooks_;
    const std::string& folder_;
    std::size_t jobs_ = 1;
    std::size_t lookahead_ = 1;

    std::mutex mutex_;
    std::condition_variable changed_;
    FolderWalk walk_;
    bool walkEnded_ = false;
    std::size_t pulled_ = 0;     // steps taken from the walk
    std::size_t committed_ = 0;  // steps committed
    std::unordered_map<std::size_t, Slot> slots_;
    bool stopping_ = false;

    // The commits, on the batch's own thread.
    BatchFailures failures_;
    OutputClaims claims_;  // claimed in the walk's order, at each commit
    Text carried_;  // CurrentChar after the last file committed (read by workers under the lock)
    Count files_ = 0;
    Statistics statistics_;
    TypesetEngine rerunner_;
    // Files renamed into place, all in one folder, that are reported as done
    // once the folder is synced: one sync for a run of files instead of one each.
    struct Renamed {
        std::shared_ptr<const OpenFolder> folder;
        std::string path;
        Count number;
        FileRunResult result;
    };
    std::vector<Renamed> unsynced_;
    static constexpr std::size_t kMostUnsynced = 64;
};

// The next step of the walk for a worker, under the lock; false once the
// walk is over or the batch stops. `guess` is the CurrentChar to start from
// when the file before it is already committed.
bool ParallelRun::pullStep(WalkStep& step, std::size_t& index, Text& guess) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopping_ || walkEnded_ || pulled_ < committed_ + lookahead_; });
    if (stopping_ || walkEnded_) return false;
    try {
        do {
            if (!walk_.next(step)) {
                walkEnded_ = true;
                changed_.notify_all();
                return false;
            }
        } while (step.kind == WalkStep::OtherFile);
    } catch (const std::exception& e) {  // out of memory: the walk ends with it, reported
        const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
        step = {WalkStep::Failure, {}, folder_, folder_ + ": " + e.what(), true,
                {memory ? FailureKind::OutOfMemory : FailureKind::Other, folder_, memory ? ENOMEM : 0}};
        walkEnded_ = true;
    }
    index = pulled_++;
    if (index == committed_) guess = carried_;  // no need to guess
    slots_[index].step = step;
    return true;
}

void ParallelRun::work() {
    TypesetEngine worker;
    for (;;) {
        WalkStep step;
        std::size_t index = 0;
        Text guess;
        if (!pullStep(step, index, guess)) return;
        Attempt a;
        if (step.kind == WalkStep::TextFile) a = attempt(worker, step.file, guess, hooks_);
        std::lock_guard lock(mutex_);
        slots_[index].attempt = std::move(a);
        changed_.notify_all();
    }
}

// Takes the step `index` once a worker is done with it, reporting the files
// renamed meanwhile; false when the walk ended before it.
bool ParallelRun::waitForSlot(std::size_t index, Slot& slot) {
    std::unique_lock lock(mutex_);
    const auto ready = [&] {
        const auto found = slots_.find(index);
        return (found != slots_.end() && found->second.attempt) || (walkEnded_ && index == pulled_);
    };
    if (!ready() && !unsynced_.empty()) {  // nothing to do meanwhile: report what is done
        lock.unlock();
        settle();
        lock.lock();
    }
    changed_.wait(lock, ready);
    if (walkEnded_ && index == pulled_) return false;
    slot = std::move(slots_[index]);
    slots_.erase(index);
    return true;
}

// Puts one step's file in place, typeset again first when its guess was
// wrong or it failed for want of resources; or reports the step's failure.
void ParallelRun::commit(Slot& slot) {
    const WalkStep& step = slot.step;
    Attempt& a = *slot.attempt;
    auto fail = [&](const std::string& error, const FailureCause& cause) {
        settle();  // the files before it are reported first
        failures_.add(step.path, error, cause);
    };
    if (step.kind == WalkStep::Failure) {
        fail(step.error, step.cause);
        return;
    }
    if (const auto taken = claims_.claim(step.file, a.settings)) {
        fail(taken->what(), taken->cause());
        return;
    }
    const bool guessedWrong = a.prepared.result.ok && a.dependence.onClosingMarkTest &&
                              a.assumedClosed != TypesetEngine::leavesParagraphClosed(carried_);
    if (guessedWrong || forWantOfResources(a.prepared.result)) {
        a = Attempt();  // let go of what the first try holds before the second
        a = attempt(rerunner_, step.file, carried_, hooks_);
    }
    if (!unsynced_.empty() && (unsynced_.front().folder != step.file.folder || unsynced_.size() >= kMostUnsynced))
        settle();
    a.prepared.commit(false);
    if (!a.prepared.result.ok) {
        fail(a.prepared.result.error, a.prepared.result.failure);
        return;
    }
    statistics_ += a.statistics;
    unsynced_.push_back({step.file.folder, step.path, ++files_, a.prepared.result});
    if (a.dependence.currentCharWritten) {
        std::lock_guard lock(mutex_);
        carried_ = a.endingCurrentChar;
    }
}

// Syncs the folder of the files renamed since the last sync, then reports them as done.
void ParallelRun::settle() {
    if (unsynced_.empty()) return;
    failures_.syncFolder(*unsynced_.front().folder, unsynced_.front().path);
    if (hooks_.observer)
        for (const Renamed& r : unsynced_) {
            hooks_.observer->fileStarted(r.number, r.path);
            hooks_.observer->fileFinished(r.number, r.path, r.result);
        }
    unsynced_.clear();
}

bool ParallelRun::run(BatchResult& result) {
    // Under a limit on processes: the batch goes on with the workers there are.
    HelperThreads workers;
    if (workers.start(jobs_, [this] { work(); }) == 0) return false;
    Slot slot;
    for (std::size_t i = 0; waitForSlot(i, slot); ++i) {
        commit(slot);
        std::lock_guard lock(mutex_);
        committed_ = i + 1;
        changed_.notify_all();
    }
    settle();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    workers.join();
    endWith(result);
    return true;
}

// The engine ends as if it had typeset every file itself.
void ParallelRun::endWith(BatchResult& result) {
    result.files = files_;
    result.statistics = statistics_;
    result.failures = failures_.take();
    CarriedState ending = engine_.carriedState();
    ending.CurrentChar = carried_;
    ending.Stats = statistics_;
    ending.FileCount = files_;
    engine_.restoreCarriedState(ending);
}

}  // namespace

BatchResult ParallelBatch::run(const std::string& folder) {
    BatchResult result;
    if (ParallelRun(engine_, hooks_, folder, jobs_).run(result)) return result;
    // No thread can be started: the files one after the other on this thread.
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

}  // namespace quenlet
