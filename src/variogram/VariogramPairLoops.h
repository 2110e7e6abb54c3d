// The two ways of collecting the pairs of the samples into the lag classes
// of both directions. Both add each pair to its class in pair order (i
// ascending, then j > i ascending), so the float sums come out the same.
#pragma once

#include <cstddef>

#include "platform/Execution.h"
#include "variogram/PairKernels.h"
#include "variogram/VariogramClasses.h"

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

// How the blocked loop cuts the pairs: at most blockPairs pairs per block
// (whole rows, or pieces of a longer row), waveBlocks blocks classified
// together while the wave before is being added up. Only memory and speed
// depend on it, never the result. The defaults amortise a task and a wave's
// synchronisation (a few thousand waves at 10^5 samples) and bound the
// records of two waves: 16 bytes per accepted pair, 64 MiB at most, about a
// quarter of that when the samples are spread evenly.
//
// Runs of consecutive samples whose box lies outside a row's cones are passed
// over when the runs are compact (SampleRunBoxes); tests force either way.
enum class RunSkipping { kWhenCompact, kAlways, kNever };

struct PairBlocking {
    std::size_t blockPairs = std::size_t{1} << 15;
    std::size_t waveBlocks = 64;
    RunSkipping runSkipping = RunSkipping::kWhenCompact;
};

// The plain loop: every pair in order, its angle by the arc tangent.
void CollectPairsInOrder(const PairSamples& samples, DirectionClasses alongX, DirectionClasses alongY,
                         const Execution& execution);

// Blocks of rows filtered and classified in parallel on the execution's workers
// (by `kernels`: a cheap filter, then the exact classes), then added in block
// order; reports progress and stops when asked to between blocks.
void CollectPairsBlocked(const PairSamples& samples, DirectionClasses alongX, DirectionClasses alongY,
                         const PairKernelPath& kernels, const Execution& execution, PairBlocking blocking = {});

}  // namespace mosaro
