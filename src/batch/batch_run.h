// Batch typesetting: every ".txt" file in a folder and all folders below it,
// one after the other through the same engine, each into its own "kovra-"
// copy beside it. Already prefixed files are skipped.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "run/file_run.h"
#include "batch/folder_walk.h"
#include "engine/typeset_engine.h"
#include "run/output_claims.h"

namespace quenlet {

// Progress of a batch, for front ends.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    // number is the count of files typeset so far in this batch, plus one.
    virtual void fileStarted(Count /*number*/, const std::string& /*path*/) {}
    virtual void fileFinished(Count /*number*/, const std::string& /*path*/, const FileRunResult& /*result*/) {}
    // A file that could not be typeset, or a folder that could not be listed.
    virtual void fileFailed(const std::string& /*path*/, const std::string& /*error*/, const FailureCause& /*cause*/) {}
};

struct BatchFailure {
    std::string path;
    std::string error;  // "<file>: <reason>"
    FailureCause cause;  // the kind and details, for front ends with messages of their own
};

struct BatchResult {
    Count files = 0;        // files typeset
    Statistics statistics;  // summed over them
    std::vector<BatchFailure> failures;
};

// A batch's failures as they happen, for both kinds of batch: kept for the
// result and told to the observer at once.
class BatchFailures {
public:
    explicit BatchFailures(BatchObserver* observer) : observer_(observer) {}
    void add(const std::string& path, const std::string& error, const FailureCause& cause);
    // Makes the names of the copies renamed into `folder` durable; the disk's
    // refusal is a failure of the batch, though the copies are in place.
    void syncFolder(const OpenFolder& folder, const std::string& pathForMessages);
    std::vector<BatchFailure> take() { return std::exchange(failures_, {}); }

private:
    BatchObserver* observer_;
    std::vector<BatchFailure> failures_;
};

// The walk of a batch (see FolderWalk) handed to a visitor, step by step.
class FolderVisitor {
public:
    virtual ~FolderVisitor() = default;
    virtual void textFile(const FileLocation& file) = 0;  // a ".txt" file, not one of our outputs
    // A folder that could not be listed or entered, or a file entry that
    // could not be examined.
    virtual void unreadable(const std::string& path, const std::string& error, const FailureCause& cause) = 0;
    virtual void entryExamined() {}  // after every file entry, matching or not
};
void walkFolder(const std::string& folder, FolderVisitor& visitor);

class BatchRun : private FolderVisitor {
public:
    struct Hooks {
        // The options of the next file, taken afresh for each file.
        std::function<TypesetOptions()> takeOptions = [] { return TypesetOptions{}; };
        // Called after every file entry the walk examines, so a window can
        // process its pending events between files.
        std::function<void()> processEvents = [] {};
        BatchObserver* observer = nullptr;
        FileRunSettings settings;
        // The settings of the next file, taken afresh for each file like its
        // options, when set; else `settings` serve for every file.
        std::function<FileRunSettings()> takeSettings;
    };
    // The settings of the next file under these hooks.
    static FileRunSettings settingsOfNextFile(const Hooks& hooks) {
        return hooks.takeSettings ? hooks.takeSettings() : hooks.settings;
    }

    BatchRun(TypesetEngine& engine, Hooks hooks)
        : engine_(engine), hooks_(std::move(hooks)), failures_(hooks_.observer) {}

    // The whole batch over a folder: zeroes the file count and the
    // statistics, walks the tree and returns the totals.
    BatchResult run(const std::string& folder);

    void FindFile(const std::string& folder);     // walks one folder, then its sub-folders
    void ProcessFile(const FileLocation& file);   // typesets one file of the batch
    void ProcessFile(const std::string& path);

private:
    void textFile(const FileLocation& file) override { ProcessFile(file); }
    void unreadable(const std::string& path, const std::string& error, const FailureCause& cause) override {
        failures_.add(path, error, cause);
    }
    void entryExamined() override { hooks_.processEvents(); }
    void syncFolder();

    TypesetEngine& engine_;
    Hooks hooks_;
    BatchFailures failures_;
    OutputClaims claims_;  // during run(): the outputs of the files so far
    // During run(): the folder of the copies renamed since it was last synced.
    // It is synced once, when the batch moves on to another folder or ends.
    bool running_ = false;
    std::shared_ptr<const OpenFolder> unsynced_;
    std::string unsyncedPath_;
};

}  // namespace quenlet
