// Batch typesetting: every ".txt" file in a folder and all folders below it,
// one after the other through the same engine, each into its own "kovra-"
// copy beside it. Already prefixed files are skipped.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "file_run.h"
#include "typeset_engine.h"

namespace quenlet {

// Progress of a batch, for front ends.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    // number is the count of files typeset so far in this batch, plus one.
    virtual void fileStarted(Count /*number*/, const std::string& /*path*/) {}
    virtual void fileFinished(Count /*number*/, const std::string& /*path*/, const FileRunResult& /*result*/) {}
    // A file that could not be typeset, or a folder that could not be listed.
    virtual void fileFailed(const std::string& /*path*/, const std::string& /*error*/) {}
};

struct BatchFailure {
    std::string path;
    std::string error;  // "<file>: <reason>"
};

struct BatchResult {
    Count files = 0;        // files typeset
    Statistics statistics;  // summed over them
    std::vector<BatchFailure> failures;
};

// "处理第N文件": the caption while the batch works on its N-th file.
Text processingFileText(Count number);

// True for names that the batch typesets: ending in ".txt" in any letter case.
bool isTextFileName(std::string_view name);
// True for the batch's own outputs, which it never typesets again.
bool isOutputFileName(std::string_view name);

// The recursive walk of a batch: depth-first, in each folder first its files,
// then its sub-folders, each sorted by name bytes; a folder's entries are
// listed once before any of them is visited.
class FolderVisitor {
public:
    virtual ~FolderVisitor() = default;
    virtual void textFile(const std::string& path) = 0;  // a ".txt" file, not one of our outputs
    virtual void unlistableFolder(const std::string& folder, const std::string& error) = 0;
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
    };

    BatchRun(TypesetEngine& engine, Hooks hooks) : engine_(engine), hooks_(std::move(hooks)) {}

    // The whole batch over a folder: zeroes the file count and the
    // statistics, walks the tree and returns the totals.
    BatchResult run(const std::string& folder);

    void FindFile(const std::string& folder);     // walks one folder, then its sub-folders
    void ProcessFile(const std::string& path);   // typesets one file of the batch

private:
    void textFile(const std::string& path) override { ProcessFile(path); }
    void unlistableFolder(const std::string& folder, const std::string& error) override { fail(folder, error); }
    void entryExamined() override { hooks_.processEvents(); }
    void fail(const std::string& path, const std::string& error);

    TypesetEngine& engine_;
    Hooks hooks_;
    std::vector<BatchFailure> failures_;
};

}  // namespace quenlet
