// How one run executes, as the caller chose it: which implementation and
// arithmetic, on how many workers, with what progress. Passed as an
// argument to every stage that needs it; nothing reads it from anywhere
// else.
#pragma once

#include "platform/Execution.h"
#include "systems/LaneSolver.h"

namespace mosaro {

// How each node's system is built and solved: the legacy single-precision
// procedure (the legacy bits), or in double with pivoting.
enum class Arithmetic { kLegacy = 0, kAccurate = 1 };

// Which automatic fit gives the models the sweep runs on.
enum class FitChoice { kLegacy = 0, kRobust = 1 };

struct RunSettings {
    Execution execution;
    // Runs the plain reference implementation of every legacy algorithm
    // instead of the fast one. Both give the same bits; the reference exists
    // to prove it.
    bool reference = false;
    Arithmetic arithmetic = Arithmetic::kLegacy;
    // How many systems the fast legacy sweep and the accurate grid sweep
    // solve at once: the widest vectors the processor has, unless a test or
    // a benchmark asks for another width. Every width gives the same bits.
    SolverLanes solverLanes = SolverLanes::kBest;
};

// The settings of a run nobody configured (the legacy entry point and the
// legacy estimator classes): the fast legacy path on the default workers,
// no progress.
inline RunSettings DefaultSettings() {
    RunSettings settings;
    settings.execution.workers = ResolveWorkerCount(0);
    return settings;
}

}  // namespace mosaro
