// A run of the engine on a worker thread, so that the window's own thread
// stays free to repaint and to answer the user, and the progress captions
// that the run produces far faster than a screen can show them.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "engine/document_state.h"
#include "files/file_error.h"

class QThread;

namespace quenlet::ui {

// The latest progress caption of a run. The worker posts every change (two
// for each paragraph of a file, one for each file of a batch); the window's
// thread picks up only the latest one, at its own pace. So every caption it
// shows is one the run reached, in the order the run reached them, and a
// large file costs a few dozen caption changes instead of millions.
class ProgressCaption {
public:
    enum class Kind : std::uint8_t { None, Replacing, Splitting, File };

    // Worker thread: one atomic store, no allocation.
    void post(Kind kind, Count number) noexcept {
        latest_.store(static_cast<std::uint64_t>(number) << 2 | static_cast<std::uint64_t>(kind),
                      std::memory_order_relaxed);
    }
    // Window thread: the caption posted since the last call, if there is a new one.
    std::optional<QString> takeNew();
    // Window thread, before a run starts: forget the previous run's captions.
    void clear();

private:
    std::atomic<std::uint64_t> latest_{0};
    std::uint64_t taken_ = 0;
};

// Thrown inside a job when the run was asked to stop.
class RunStopped : public std::runtime_error {
public:
    RunStopped() : std::runtime_error("the run was stopped") {}
};

// Runs one job at a time on a worker thread. When the job has ended, `done`
// runs on the thread that started it -- unless the run was stopped, which
// happens only when the window goes away: then nobody is left to tell.
class BackgroundRun : public QObject {
    Q_OBJECT

public:
    explicit BackgroundRun(QObject* parent = nullptr);
    ~BackgroundRun() override;  // stops a job still going and waits for it

    // From start() until `done` has run.
    bool active() const { return thread_ != nullptr; }
    void start(std::function<void()> job, std::function<void()> done);
    // Asks the job to stop at its next check and waits until it has ended.
    void stop();

    // For the job, at the points where it may stop: throws RunStopped.
    void checkStop() const {
        if (stopRequested_.load(std::memory_order_relaxed)) throw RunStopped();
    }
    // What ended the job other than success or a stop -- a failure it threw,
    // or no thread to run it on -- for the window to report; kind None when
    // nothing did. The engine's English message goes with a failure of no
    // known kind.
    const FailureCause& unexpectedFailure() const { return unexpectedFailure_; }
    const std::string& unexpectedError() const { return unexpectedError_; }

private:
    void finished();

    std::unique_ptr<QThread> thread_;
    bool threadStarted_ = false;
    std::function<void()> done_;
    std::atomic<bool> stopRequested_{false};
    FailureCause unexpectedFailure_;
    std::string unexpectedError_;
};

}  // namespace quenlet::ui
