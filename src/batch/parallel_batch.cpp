#include "parallel_batch.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace quenlet {
namespace {

// The walk's findings, in walk order: files to typeset and folders that could not be listed.
struct WalkItem {
    std::string path;
    std::string folderError;  // set for an unlistable folder
};

class Collector final : public FolderVisitor {
public:
    void textFile(const std::string& path) override { items.push_back({path, {}}); }
    void unlistableFolder(const std::string& folder, const std::string& error) override {
        items.push_back({folder, error});
    }
    std::vector<WalkItem> items;
};

// One file typeset on the assumption of a given CurrentChar to start from.
struct Attempt {
    PreparedFile prepared;
    Statistics statistics;
    TypesetEngine::CarriedDependence dependence;
    Text endingCurrentChar;
    bool assumedClosed = false;
};

Attempt attempt(TypesetEngine& engine, const std::string& path, const Text& startingCurrentChar,
                const BatchRun::Hooks& hooks) {
    engine.state().CurrentChar = startingCurrentChar;
    engine.resetStatistics();
    FileRunSettings settings = hooks.settings;
    settings.threading = Threading::Inline;  // the files themselves already run side by side
    Attempt a;
    a.assumedClosed = TypesetEngine::leavesParagraphClosed(startingCurrentChar);
    a.prepared = prepareFile(engine, path, hooks.takeOptions(), settings);
    a.statistics = engine.statistics();
    a.dependence = engine.carriedDependence();
    a.endingCurrentChar = engine.state().CurrentChar;
    return a;
}

}  // namespace

// Workers take the files in walk order and typeset each into a temporary
// output; this thread commits them in that order. A file can depend on the
// file before it only through CurrentChar, and only through whether it is one
// closing mark; a worker that starts before the file before it is committed
// guesses "no" and records whether the guess mattered. The rare file where it
// mattered and was wrong is typeset again at its commit. Workers stay at most
// a few files ahead of the commits.
BatchResult ParallelBatch::run(const std::string& folder) {
    Collector collector;
    walkFolder(folder, collector);
    const std::vector<WalkItem>& items = collector.items;
    const std::size_t lookahead = 4 * jobs_;

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<Attempt>> attempts(items.size());
    std::size_t committed = 0;
    Text carried = engine_.state().CurrentChar;
    std::atomic<std::size_t> nextItem{0};

    auto work = [&] {
        TypesetEngine worker;
        for (std::size_t i; (i = nextItem++) < items.size();) {
            Text guess;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return i < committed + lookahead; });
                if (i == committed) guess = carried;  // no need to guess
            }
            Attempt a;
            if (items[i].folderError.empty()) a = attempt(worker, items[i].path, guess, hooks_);
            std::lock_guard lock(mutex);
            attempts[i] = std::move(a);
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (unsigned j = 0; j < jobs_; ++j) workers.emplace_back(work);

    BatchResult result;
    TypesetEngine rerunner;
    for (std::size_t i = 0; i < items.size(); ++i) {
        Attempt a;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return attempts[i].has_value(); });
            a = std::move(*attempts[i]);
            attempts[i].reset();
        }
        const WalkItem& item = items[i];
        auto fail = [&](const std::string& error) {
            result.failures.push_back({item.path, error});
            if (hooks_.observer) hooks_.observer->fileFailed(item.path, error);
        };
        if (!item.folderError.empty()) {
            fail(item.folderError);
        } else {
            if (a.prepared.result.ok && a.dependence.onClosingMarkTest &&
                a.assumedClosed != TypesetEngine::leavesParagraphClosed(carried))
                a = attempt(rerunner, item.path, carried, hooks_);
            a.prepared.commit();
            if (!a.prepared.result.ok) {
                fail(a.prepared.result.error);
            } else {
                result.statistics += a.statistics;
                const Count number = ++result.files;
                if (hooks_.observer) {
                    hooks_.observer->fileStarted(number, item.path);
                    hooks_.observer->fileFinished(number, item.path, a.prepared.result);
                }
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
    for (std::thread& t : workers) t.join();

    CarriedState ending = engine_.carriedState();
    ending.CurrentChar = carried;
    ending.Stats = result.statistics;
    ending.FileCount = result.files;
    engine_.restoreCarriedState(ending);
    return result;
}

}  // namespace quenlet
