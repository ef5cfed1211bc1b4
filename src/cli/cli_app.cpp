#include "cli/cli_app.h"

#include <variant>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "tidy/tidy_rules.h"

namespace quenlet::cli {

int run(int argc, const char* const* argv, Streams streams) {
    constexpr int kExitOk = 0;
    constexpr int kExitUsage = 2;
    Parsed parsed = parseCommandLine(argc, argv, streams.out, streams.err);
    if (!parsed.request) {
        // The help or the version that could not be written is no success either.
        if (parsed.status == kExitOk && !Reporter(streams.out, streams.err, false, false).delivered()) return 1;
        return parsed.status;
    }
    const RunRequest& request = *parsed.request;
    if (request.printRules) {
        streams.out << tidy::TidyRules::builtInText();
        return kExitOk;
    }
    Reporter reporter(streams.out, streams.err, request.quiet, request.tidied());
    if (request.files.empty() && !request.given.contains("--batch")) {
        reporter.error("give the FILEs to typeset, or --batch DIR\nRun with --help for more information.");
        return kExitUsage;
    }
    const auto setup = setupOf(request);
    if (const auto* error = std::get_if<SetupError>(&setup)) {
        reporter.error(error->message);
        return error->status;
    }
    const RunSetup& run = std::get<RunSetup>(setup);
    return request.given.contains("--batch") ? typesetBatch(request, run, reporter, streams)
                                             : typesetFiles(request, run, reporter, streams);
}

}  // namespace quenlet::cli
