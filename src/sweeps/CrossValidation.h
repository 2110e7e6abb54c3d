// Cross-validation: every sample estimated from the others.
//
// Instead of sweeping nodes, each sample location is estimated from the m
// nearest samples outside the sample's fold, chosen by exact distance with
// ties by input order (NearestSamples). The systems are those of the run's
// arithmetic: the legacy node step (guarded solve, 0.01 cut-off) on the
// coordinates scaled and rounded as the legacy sweep loads them, or the
// accurate one.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Execution.h"
#include "sweeps/SweepPlan.h"
#include "systems/NodeMethod.h"

namespace mosaro {

// Fold of every sample: a shuffle of 0 .. count - 1 by a generator seeded
// with `seed` (splitmix64, so the assignment is the same on every platform),
// dealt out to folds 0 .. folds - 1 in turn. Leave-one-out (folds 0) gives
// every sample its own fold, its index.
std::vector<int> AssignFolds(int count, int folds, std::uint64_t seed);

struct ValidationRun {
    std::vector<int> fold;         // per sample location
    std::vector<double> estimate;  // out, per sample location; NaN: not estimated
    std::vector<double> variance;  // out; NaN where the method has none
};

void RunCrossValidation(const SweepPlan& plan, const NodeMethod& method, bool accurate, ValidationRun& run,
                        const Execution& execution);

}  // namespace mosaro
