// The tidy mode for novels as they are downloaded: on top of the usual
// rules it treats lines of any kind of space as empty, removes site junk,
// sets every chapter heading on a line of its own (ending the paragraph
// before it), keeps tables of contents as lists, keeps the text of lines that
// end in runs of question marks, keeps hyphens between digits, and lets a
// straight quote close an open “. It joins a file's run through the engine's
// hooks (run_hooks.h); its patterns are rules files (tidy_rules.h).
#pragma once

#include <memory>

#include "engine/run_hooks.h"
#include "tidy/tidy_rules.h"

namespace quenlet::tidy {

// Shared by all files of a run, on any number of threads: it only reads its rules.
class TidyMode final : public RunHooksMaker {
public:
    explicit TidyMode(TidyRules rules) : rules_(std::move(rules)) {}
    std::unique_ptr<RunHooks> hooksForFile() const override;
    const TidyRules& rules() const { return rules_; }

private:
    TidyRules rules_;
};

}  // namespace quenlet::tidy
