// How one run's parallel stages execute: on how many workers, and where
// their progress goes. Every stage that loops in parallel or reports
// progress takes it as an argument, so a setting can be followed from the
// caller's request to the loop that uses it.
#pragma once

#include "platform/Progress.h"

namespace mosaro {

struct Execution {
    // Workers of each parallel loop, the calling thread included; at least
    // 1, at most what the processor runs at once (ResolveWorkerCount).
    int workers = 1;
    // Progress and cancellation; none by default.
    ProgressReporter* progress = nullptr;

    void Report(Stage stage, double fraction) const {
        if (progress != nullptr) progress->Report(stage, fraction);
    }
    bool CancelRequested() const { return progress != nullptr && progress->CancelRequested(); }
    void ThrowIfCancelled() const {
        if (progress != nullptr) progress->ThrowIfCancelled();
    }
};

// The workers a run asks for, as its loops get them: `requested` if
// positive, else MOSARO_THREADS from the environment if that is a positive
// number, else every core; never more than the processor runs at once (more
// could only wait, and make the task scheduler warn on the host's standard
// error). Results never depend on the count.
int ResolveWorkerCount(int requested);

}  // namespace mosaro
