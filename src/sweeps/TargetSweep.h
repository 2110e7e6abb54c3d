// The sweep of the prediction engine: every target of a grid (or of a
// window of one) or of a list of points, each a point or a block, estimated
// from its own search neighbourhood in the accurate arithmetic. A target's
// neighbours, system and estimate depend on the samples, the model and the
// target only, so targets run on every worker at once and a window of a
// grid gets the same bits as the whole grid.
#pragma once

#include <vector>

#include "neighbours/SearchNeighbourhood.h"
#include "platform/Execution.h"
#include "sweeps/SweepPlan.h"
#include "systems/AccurateNodeStep.h"

namespace mosaro {

struct TargetSet {
    // A grid: `columns` x `rows` nodes from (x0, y0) every (dx, dy), row
    // after row (row 0 at y0, x fastest); else `count` points (x[i], y[i]).
    bool grid = true;
    double x0 = 0.0, y0 = 0.0, dx = 1.0, dy = 1.0;
    long long columns = 0, rows = 0;
    // A window of a larger grid whose first node is (x0, y0): the column and
    // row of the window's first node there. A node is placed by its column
    // and row in the whole grid, so that it has one position, to the bit,
    // whichever window holds it.
    long long column0 = 0, row0 = 0;
    const double* x = nullptr;
    const double* y = nullptr;
    long long count = 0;
    // External drift: one array per covariate, one value per target.
    std::vector<const double*> covariates;
    // Block kriging: the discretisation points' offsets from each target
    // and their weights (summing to 1), and the block's mean covariance with
    // itself; empty for points.
    std::vector<double> blockX, blockY, blockWeight;
    double blockCovariance = 0.0;

    long long Count() const { return grid ? columns * rows : count; }
};

// Lognormal kriging of ln(v + shift): the outputs are taken back,
// exp(m + s2/2) - shift and (exp(s2) - 1) exp(2m + s2), and the kriged
// logarithm m and its variance s2 go to their own outputs when asked.
struct LognormalOutputs {
    bool on = false;
    double shift = 0.0;
    double* logEstimate = nullptr;
    double* logVariance = nullptr;
};

struct TargetOutputs {
    double* estimate = nullptr;
    double* variance = nullptr;             // optional
    double* reciprocalCondition = nullptr;  // optional: NaN where no system was solved
    LognormalOutputs lognormal;
};

struct TargetTally {
    NodeTally nodes;
    long long tooFewNeighbours = 0;  // of the no-data targets: nmin not met
};

// Runs every target. With a global neighbourhood the drift frame is fixed
// at the origin with reach `frameReach` (the samples' extent), so that
// every target shares one factorisation. `lanes`: how many point targets'
// systems are solved at once (the same bits at every width).
TargetTally RunTargetSweep(const AccurateSamples& samples, const SearchNeighbourhood& neighbourhood,
                           const NodeMethod& method, const CovarianceModel& model, double frameReach,
                           const TargetSet& targets, const TargetOutputs& outputs, const Execution& execution,
                           SolverLanes lanes = SolverLanes::kBest);

}  // namespace mosaro
