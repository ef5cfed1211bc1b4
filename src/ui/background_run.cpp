#include "ui/background_run.h"

#include <QThread>
#include <cerrno>
#include <new>

#include "run/statistic_texts.h"

namespace quenlet::ui {

std::optional<QString> ProgressCaption::takeNew() {
    const std::uint64_t latest = latest_.load(std::memory_order_relaxed);
    if (latest == taken_) return std::nullopt;
    taken_ = latest;
    const Count number = static_cast<Count>(latest >> 2);
    Text caption;
    switch (static_cast<Kind>(latest & 3)) {
        case Kind::None: return std::nullopt;
        case Kind::Replacing: caption = replacingLineText(number); break;
        case Kind::Splitting: caption = splittingLineText(number); break;
        case Kind::File: caption = processingFileText(number); break;
    }
    return QString(reinterpret_cast<const QChar*>(caption.data()), static_cast<qsizetype>(caption.size()));
}

void ProgressCaption::clear() {
    latest_.store(0, std::memory_order_relaxed);
    taken_ = 0;
}

BackgroundRun::BackgroundRun(QObject* parent) : QObject(parent) {}

BackgroundRun::~BackgroundRun() { stop(); }

void BackgroundRun::start(std::function<void()> job, std::function<void()> done) {
    if (thread_) return;  // one run at a time; the window never asks for a second
    stopRequested_ = false;
    unexpectedFailure_ = {};
    unexpectedError_.clear();
    done_ = std::move(done);
    // A QThread must not let an exception escape: a stop ends the job quietly,
    // anything else is kept for the window to report.
    thread_.reset(QThread::create([this, job = std::move(job)] {
        try {
            job();
        } catch (const RunStopped&) {
        } catch (const std::bad_alloc&) {
            unexpectedFailure_ = {FailureKind::OutOfMemory, {}, ENOMEM};
        } catch (const std::exception& e) {
            unexpectedFailure_ = {FailureKind::Other, {}};
            unexpectedError_ = e.what();
        } catch (...) {
            unexpectedFailure_ = {FailureKind::Other, {}};
        }
    }));
    // Queued: `done` runs on this object's thread, after the worker has ended.
    connect(thread_.get(), &QThread::finished, this, &BackgroundRun::finished, Qt::QueuedConnection);
    thread_->start();
    // A thread the system would not create is neither running nor finished,
    // and will never say it has finished: the run ends here, as a failure.
    threadStarted_ = thread_->isRunning() || thread_->isFinished();
    if (!threadStarted_) {
        unexpectedFailure_ = {FailureKind::CannotStart, {}};
        QMetaObject::invokeMethod(this, &BackgroundRun::finished, Qt::QueuedConnection);
    }
}

void BackgroundRun::finished() {
    // A run that was stopped may still have its end queued; it is over already.
    if (!thread_ || (threadStarted_ && !thread_->isFinished())) return;
    thread_->wait();
    thread_.reset();
    const std::function<void()> done = std::exchange(done_, nullptr);
    if (done) done();
}

void BackgroundRun::stop() {
    if (!thread_) return;
    stopRequested_ = true;
    thread_->disconnect(this);
    thread_->wait();
    thread_.reset();
    done_ = nullptr;
}

}  // namespace quenlet::ui
