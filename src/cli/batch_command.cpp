// --batch DIR: every .txt file below a folder, on one thread or several, with
// its progress on standard error and the totals at the end.
#include <sstream>

#include "batch/parallel_batch.h"
#include "cli/commands.h"
#include "run/statistic_texts.h"

namespace quenlet::cli {
namespace {

// Shows a batch's progress on standard error: one line redrawn in place on a
// terminal, a line per file otherwise, nothing when quiet. Failures and
// warnings are always shown.
class BatchProgress final : public BatchObserver {
public:
    BatchProgress(Reporter& reporter, bool terminal, const RunRequest& request)
        : reporter_(reporter), terminal_(terminal), listHeadings_(request.listHeadings), listJunk_(request.listJunk) {}
    ~BatchProgress() override { clearLine(); }

    void fileStarted(Count number, const std::string& path) override {
        if (reporter_.quiet()) return;
        clearLine();
        reporter_.err() << toUtf8(processingFileText(number)) << ' ' << Reporter::shown(path) << (terminal_ ? "" : "\n")
                        << std::flush;
        lineShown_ = terminal_;
    }
    void fileFinished(Count, const std::string& path, const FileRunResult& result) override {
        findings_ += result.findings;
        std::ostringstream warnings;
        reporter_.aboutFile(warnings, path, result);
        if (!warnings.str().empty()) {
            clearLine();
            reporter_.err() << warnings.str();
        }
        if (listHeadings_) {
            clearLine();
            reporter_.headings(reporter_.out(), path, result.findings);
        }
        if (listJunk_) {
            clearLine();
            reporter_.junk(reporter_.out(), path, result.findings);
        }
    }
    void fileFailed(const std::string&, const std::string& error) override {
        clearLine();
        reporter_.failure(error);
    }

    // What the files typeset have found, summed.
    const RunFindings& findings() const { return findings_; }

private:
    void clearLine() {
        if (lineShown_) reporter_.err() << "\r\x1b[K" << std::flush;
        lineShown_ = false;
    }
    Reporter& reporter_;
    bool terminal_;
    bool listHeadings_;
    bool listJunk_;
    bool lineShown_ = false;
    RunFindings findings_;
};

}  // namespace

int typesetBatch(const RunRequest& request, const RunSetup& setup, Reporter& reporter, const Streams& streams) {
    BatchProgress progress(reporter, streams.errIsTerminal, request);
    BatchRun::Hooks hooks;
    hooks.takeOptions = [&setup] { return setup.options; };
    hooks.observer = &progress;
    hooks.settings = setup.settings;
    // One job is one thread: the files one after the other, each read and written inline.
    if (request.jobs == 1) hooks.settings.threading = Threading::Inline;
    TypesetEngine engine;
    const BatchResult result = request.jobs > 1 ? ParallelBatch(engine, hooks, request.jobs).run(request.batchFolder)
                                                : BatchRun(engine, hooks).run(request.batchFolder);
    if (!request.quiet) {
        if (request.json) {
            reporter.json(reporter.out(), reporter.batchJson(result, progress.findings()));
        } else {
            reporter.out() << toUtf8(fileCountText(result.files)) << '\n';
            reporter.statistics(reporter.out(), result.statistics);
        }
    }
    const bool delivered = reporter.delivered();
    return result.failures.empty() && delivered ? 0 : 1;
}

}  // namespace quenlet::cli
