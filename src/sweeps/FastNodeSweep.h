// The two ways of sweeping the nodes. Both give the same bits; the plain one
// is the legacy reading, kept to prove the fast one (RunContext::reference).
#pragma once

#include <vector>

#include "systems/NodeProcedure.h"

namespace mosaro {

// What RunNodeSweep settles before either sweep starts.
struct SweepPlan {
    KrigingConstants constants;
    TGRIDCELLXY grid;
    TRECTXYMINMAX rect;
    int n;              // samples
    int m;              // neighbours per node, 1 .. n
    long long columns;  // nodes per row
    long long rows;
    float* variance;    // kriging variance per node, or null
};

// Node after node on the calling thread: every sample measured, the plain
// exchange passes over the whole array, every covariance computed afresh.
void RunReferenceSweep(const SweepPlan& plan, float* const* ppPoints, float* pGrid, const NodeMethod& method);

class SharedNeighbours {
public:
    SharedNeighbours() = default;

private:
    friend void RunFastSweep(const SweepPlan&, float* const*, float*, const NodeMethod&, SharedNeighbours*);
    // The sweep the lists belong to: samples, neighbours, grid, scale.
    struct Key {
        int n = -1, m = -1;
        long long columns = 0, rows = 0;
        TGRIDCELLXY grid{};
        TRECTXYMINMAX rect{};
        float scale = 0.0f;
        float* const* points = nullptr;
    };
    Key key_;
    bool filled_ = false;
    std::vector<int> ids_;  // m load indices per node, node after node
};

// The neighbour order advances node by node on the calling thread (a
// NeighbourChain), band by band; the systems of a band are assembled, solved
// and estimated on every thread of the run while the next band's neighbours
// are found. Pair covariances carry over between consecutive nodes.
// With `shared`, the neighbours come from it if it holds this sweep's, and
// are stored in it otherwise (when the lists are of a size worth keeping).
void RunFastSweep(const SweepPlan& plan, float* const* ppPoints, float* pGrid, const NodeMethod& method,
                  SharedNeighbours* shared = nullptr);

}  // namespace mosaro
