// The two ways of collecting the pairs of the samples into the lag classes
// of both directions. Both add each pair to its class in pair order (i
// ascending, then j > i ascending), so the float sums come out the same.
#pragma once

#include "PairKernels.h"
#include "VariogramClasses.h"

namespace mosaro {

// The samples and the quantities whose differences enter the semivariance.
struct PairSamples {
    const float* x;
    const float* y;
    const double* values;
    int count;
};

struct DirectionClasses {
    const LagClassifier& classifier;
    ClassSums& sums;
};

// The plain loop: every pair in order, its angle by the arc tangent.
void CollectPairsInOrder(const PairSamples& samples, DirectionClasses alongX, DirectionClasses alongY);

// Blocks of rows filtered and classified in parallel on `threads` threads
// (by `kernels`: a cheap filter, then the exact classes), then added in block
// order; reports progress and stops when asked to between blocks.
void CollectPairsBlocked(const PairSamples& samples, DirectionClasses alongX, DirectionClasses alongY,
                         const PairKernelPath& kernels, int threads);

}  // namespace mosaro
