// The FILEs, typeset one after the other by one engine, so that what one
// file leaves behind reaches the next as in the window.
#include "cli/commands.h"
#include "run/output_claims.h"

namespace quenlet::cli {

int typesetFiles(const RunRequest& request, const RunSetup& setup, Reporter& reporter, const Streams& streams) {
    TypesetEngine engine;
    OutputClaims claims;
    bool anyFailed = false;
    for (const std::string& file : request.files) {
        engine.resetStatistics();
        const bool fromStandardInput = file == "-";
        if (auto taken = fromStandardInput ? std::nullopt : claims.claim(file, setup.settings)) {
            reporter.failure(taken->what());
            anyFailed = true;
            continue;
        }
        const FileRunResult result =
            fromStandardInput
                ? typesetStream(engine, streams.inputFd, streams.outputFd, setup.options, setup.settings)
                : typesetFile(engine, file, setup.options, setup.settings);
        if (!result.ok) {
            reporter.failure(result.error);
            anyFailed = true;
            continue;
        }
        const std::string name = fromStandardInput ? "standard input" : file;
        reporter.aboutFile(reporter.err(), name, result);
        // The report goes where the typeset text does not.
        std::ostream& report = fromStandardInput ? reporter.err() : reporter.out();
        if (request.listHeadings) reporter.headings(report, name, result.findings);
        if (request.listJunk) reporter.junk(report, name, result.findings);
        // The JSON was asked for by name: --quiet silences only the plain statistics.
        if (request.json) reporter.json(report, reporter.fileJson(engine.statistics(), result));
        else if (!request.quiet) reporter.statistics(report, engine.statistics());
    }
    const bool delivered = reporter.delivered();
    return anyFailed || !delivered ? 1 : 0;
}

}  // namespace quenlet::cli
