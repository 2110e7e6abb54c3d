// The fast legacy sweep: the same bits as the reference sweep.
//
// The neighbour order advances node by node on the calling thread (a
// NeighbourChain), band by band; the systems of a band are assembled,
// solved and estimated on every worker while the next band's neighbours are
// found. Pair covariances carry over between consecutive nodes.
#pragma once

#include <vector>

#include "platform/Execution.h"
#include "sweeps/SweepPlan.h"
#include "systems/LaneSolver.h"
#include "systems/NodeMethod.h"

namespace mosaro {

// Neighbour lists of every node, kept by one sweep for later sweeps over the
// same samples and grid (indicator kriging sweeps once per threshold; only
// the model and the values change, never the neighbours).
class SharedNeighbours {
public:
    SharedNeighbours() = default;

private:
    friend void RunFastSweep(const SweepPlan&, const NodeMethod&, const SweepOutputs&, const Execution&, SolverLanes,
                             SharedNeighbours*);
    // The sweep the lists belong to: samples, neighbours, grid, scale.
    struct Key {
        int n = -1, m = -1;
        long long columns = 0, rows = 0;
        TGRIDCELLXY grid{};
        TRECTXYMINMAX rect{};
        float scale = 0.0f;
        const float* x = nullptr;
        const float* y = nullptr;
    };
    Key key_;
    bool filled_ = false;
    std::vector<int> ids_;  // m load indices per node, node after node
};

// Sweeps every node; plan.m >= 1. `lanes` says how many systems the solver
// takes at once (SolverLaneCount); every choice gives the same bits. With `shared`, the neighbours come from it
// if it holds this sweep's, and are stored in it otherwise (when the lists
// are of a size worth keeping).
void RunFastSweep(const SweepPlan& plan, const NodeMethod& method, const SweepOutputs& outputs,
                  const Execution& execution, SolverLanes lanes = SolverLanes::kBest,
                  SharedNeighbours* shared = nullptr);

}  // namespace mosaro
