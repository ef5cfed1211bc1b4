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
// warnings are always shown. With --json, standard output gets a line of
// JSON for each file as it is done (its headings and junk listed in it), in
// the batch's order, so that a script can follow the batch as it goes.
class BatchProgress final : public BatchObserver {
public:
    BatchProgress(Reporter& reporter, bool terminal, const RunRequest& request)
        : reporter_(reporter), terminal_(terminal), listHeadings_(request.listHeadings), listJunk_(request.listJunk),
          json_(request.json) {}
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
        if (json_) {
            line(reporter_.batchFileJson(path, result, listHeadings_, listJunk_));
            return;
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
    void fileFailed(const std::string& path, const std::string& error, const FailureCause& cause) override {
        clearLine();
        reporter_.failure(error);
        if (json_) line(Reporter::batchFailureJson(path, error, cause));
    }

    // What the files typeset have found, summed.
    const RunFindings& findings() const { return findings_; }

private:
    void line(const Json& report) {
        reporter_.json(reporter_.out(), report);
        reporter_.flushOut();
    }
    void clearLine() {
        if (lineShown_) reporter_.err() << "\r\x1b[K" << std::flush;
        lineShown_ = false;
    }
    Reporter& reporter_;
    bool terminal_;
    bool listHeadings_;
    bool listJunk_;
    bool json_;
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
    // The JSON was asked for by name: --quiet silences only the plain report.
    if (request.json) {
        reporter.json(reporter.out(), reporter.batchJson(result, progress.findings()));
    } else if (!request.quiet) {
        reporter.out() << toUtf8(fileCountText(result.files)) << '\n';
        reporter.statistics(reporter.out(), result.statistics);
    }
    const bool delivered = reporter.delivered();
    return result.failures.empty() && delivered ? 0 : 1;
}

}  // namespace quenlet::cli
