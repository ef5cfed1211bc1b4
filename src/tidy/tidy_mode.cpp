#include "tidy/tidy_mode.h"

#include "tidy/tidy_run.h"

namespace quenlet::tidy {

std::unique_ptr<RunHooks> TidyMode::hooksForFile() const { return std::make_unique<TidyRun>(rules_); }

}  // namespace quenlet::tidy
