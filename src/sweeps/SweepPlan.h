// What every sweep of one pass is given: the legacy model constants, the
// grid layout, the samples and the neighbour count, and where each node's
// results go.
#pragma once

#include <cmath>
#include <limits>

#include "mosaro.h"
#include "platform/SampleRows.h"
#include "systems/KrigingConstants.h"

namespace mosaro {

struct SweepPlan {
    KrigingConstants constants;
    TGRIDCELLXY grid;
    TRECTXYMINMAX rect;
    SampleRows samples;  // co-kriging: one block per variable
    int m;               // system columns per node, 0 .. samples.count
    long long columns;   // nodes per row
    long long rows;
};

// Where the fast legacy sweep spends its time, in seconds summed over the
// threads (the chain runs on the calling thread alongside the others), for
// the benchmark's breakdown. Row starts are the first node of each grid row,
// whose carried order comes from the far end of the previous row.
struct SweepPartSeconds {
    double chainInterior = 0.0, chainRowStarts = 0.0;
    double assembly = 0.0;  // columns gathered, covariances, the augmented matrix
    double solve = 0.0;
    double estimate = 0.0;  // the method's estimate and the variance, written out
};

// The grids a sweep writes, laid out as the grid (row 0 at y_min, x fastest).
struct SweepOutputs {
    float* estimate = nullptr;
    float* variance = nullptr;  // optional
    // Optional, accurate arithmetic: each node's reciprocal condition
    // estimate, the smaller of the one held and the new one (NaN: none).
    float* reciprocalCondition = nullptr;
    // Optional: the fast legacy sweep adds its parts' seconds here; timing
    // is off (and costs a null test per node) without it.
    SweepPartSeconds* parts = nullptr;
};

// What an accurate sweep met, node by node.
struct NodeTally {
    long long noData = 0;          // nodes without an estimate (NaN)
    long long illConditioned = 0;  // systems below the ill-conditioned mark
    long long minimumNorm = 0;     // of those, consistent singular systems
    double smallestReciprocal = std::numeric_limits<double>::infinity();

    void Add(const NodeTally& other) {
        noData += other.noData;
        illConditioned += other.illConditioned;
        minimumNorm += other.minimumNorm;
        if (other.smallestReciprocal < smallestReciprocal) smallestReciprocal = other.smallestReciprocal;
    }
    // NaN when no system was solved.
    double SmallestReciprocalCondition() const {
        return std::isinf(smallestReciprocal) ? std::numeric_limits<double>::quiet_NaN() : smallestReciprocal;
    }
};

}  // namespace mosaro
