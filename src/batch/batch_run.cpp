#include "batch/batch_run.h"

#include "files/file_error.h"

namespace quenlet {

void BatchFailures::add(const std::string& path, const std::string& error, const FailureCause& cause) {
    failures_.push_back({path, error, cause});
    if (observer_) observer_->fileFailed(path, error, cause);
}

void BatchFailures::syncFolder(const OpenFolder& folder, const std::string& pathForMessages) {
    try {
        folder.sync(pathForMessages);
    } catch (const FileError& e) {
        // The copies are in place, but the disk did not confirm their names.
        add(e.path(), e.what(), e.cause());
    }
}

BatchResult BatchRun::run(const std::string& folder) {
    engine_.state().FileCount = 0;
    engine_.resetStatistics();
    failures_.take();
    claims_ = {};
    running_ = true;
    FindFile(folder);
    syncFolder();
    running_ = false;
    return {engine_.state().FileCount, engine_.statistics(), failures_.take()};
}

void BatchRun::syncFolder() {
    if (!unsynced_) return;
    failures_.syncFolder(*unsynced_, unsyncedPath_);
    unsynced_.reset();
}

void walkFolder(const std::string& folder, FolderVisitor& visitor) {
    FolderWalk walk(folder);
    WalkStep step;
    while (walk.next(step)) {
        switch (step.kind) {
            case WalkStep::TextFile: visitor.textFile(step.file); break;
            case WalkStep::OtherFile: break;
            case WalkStep::Failure: visitor.unreadable(step.path, step.error, step.cause); break;
        }
        if (!(step.kind == WalkStep::Failure && step.folder)) visitor.entryExamined();
    }
}

void BatchRun::FindFile(const std::string& folder) { walkFolder(folder, *this); }

void BatchRun::ProcessFile(const FileLocation& file) {
    if (isOutputFileName(file.name)) return;
    DocumentState& s = engine_.state();
    const Count number = s.FileCount + 1;
    if (hooks_.observer) hooks_.observer->fileStarted(number, file.path);
    if (unsynced_ && unsynced_ != file.folder) syncFolder();
    FileRunSettings settings = settingsOfNextFile(hooks_);
    settings.syncFolder = !running_;
    if (const auto taken = claims_.claim(file, settings)) {
        failures_.add(file.path, taken->what(), taken->cause());
        return;
    }
    const FileRunResult result = typesetFile(engine_, file, hooks_.takeOptions(), settings);
    if (!result.ok) {
        failures_.add(file.path, result.error, result.failure);
        return;
    }
    if (running_ && !unsynced_) {
        unsynced_ = file.folder;
        unsyncedPath_ = result.outputPath;
    }
    s.FileCount = number;
    if (hooks_.observer) hooks_.observer->fileFinished(number, file.path, result);
}

void BatchRun::ProcessFile(const std::string& path) {
    if (isOutputFileName(splitSourcePath(path).name)) return;
    FileLocation file;
    try {
        file = FileLocation::ofPath(path);
    } catch (const FileError& e) {
        failures_.add(path, e.what(), e.cause());
        return;
    }
    ProcessFile(file);
}

}  // namespace quenlet
