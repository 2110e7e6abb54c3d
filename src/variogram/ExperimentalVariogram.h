// The legacy experimental variograms: along x and along y, each within
// 10 degrees, in lag classes one cell size wide out to the grid's extent.
#pragma once

#include "mosaro.h"
#include "platform/Execution.h"
#include "variogram/PairKernels.h"
#include "variogram/VariogramPairLoops.h"
#include "variogram/VariogramTable.h"

namespace mosaro {

// The tables of the x and the y direction: lag, pair count and
// semivariance per class.
struct DirectionalTables {
    OwnedVariogramTable x;
    OwnedVariogramTable y;
};

// Builds both tables from the sample coordinates and the per-sample
// quantities whose differences enter the semivariance (the values
// themselves, their logarithms or their indicators, each widened to
// double). Semivariance of a class: sum(d * dv^2) / (2 * sum(d)) over its
// pairs, a distance-weighted mean of half the squared differences.
//
// Without `kernels` the plain pair loop runs (the reference); with them the
// blocked parallel one on the execution's workers; both give the same
// tables. Reports progress of Stage::kVariograms and throws Cancelled when
// the host asked to stop.
DirectionalTables BuildExperimentalVariograms(const PairSamples& samples, const TGRIDCELLXY& grid,
                                              const TRECTXYMINMAX& rect, const PairKernelPath* kernels,
                                              const Execution& execution, PairBlocking blocking = {});

}  // namespace mosaro
