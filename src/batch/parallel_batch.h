// A batch on several threads: files are typeset side by side, and their
// outputs and statistics are exactly those of typesetting them one after the
// other -- including what each file hands on to the next.
#pragma once

#include "batch/batch_run.h"

namespace quenlet {

class ParallelBatch {
public:
    // The engine supplies the state the batch starts from and receives the
    // state it ends with, as if it had typeset every file itself. The hooks'
    // takeOptions and takeSettings are called from several threads;
    // processEvents is not used.
    ParallelBatch(TypesetEngine& engine, BatchRun::Hooks hooks, unsigned jobs)
        : engine_(engine), hooks_(std::move(hooks)), jobs_(jobs < 1 ? 1 : jobs) {}

    BatchResult run(const std::string& folder);

private:
    TypesetEngine& engine_;
    BatchRun::Hooks hooks_;
    unsigned jobs_;
};

}  // namespace quenlet
