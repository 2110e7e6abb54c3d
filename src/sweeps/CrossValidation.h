// Cross-validation: every sample estimated from the others.
//
// The pipeline runs as for a grid (variograms and fit from all samples, or
// the given model), but instead of sweeping nodes it estimates each sample
// location from the m nearest samples outside the sample's fold, chosen by
// exact distance with ties by input order (NearestSamples). The systems
// are those of the run's arithmetic: the legacy single-precision procedure
// (guarded solve, 0.01 cut-off) or the accurate one.
#pragma once

#include <cstdint>
#include <vector>

#include "sweeps/FastNodeSweep.h"

namespace mosaro {

// Fold of every sample: a shuffle of 0 .. count - 1 by a generator seeded
// with `seed` (splitmix64, so the assignment is the same on every platform),
// dealt out to folds 0 .. folds - 1 in turn. Leave-one-out (folds 0) gives
// every sample its own fold, its index.
std::vector<int> AssignFolds(int count, int folds, std::uint64_t seed);

struct ValidationRun {
    std::vector<int> fold;          // per sample location
    std::vector<double> estimate;   // out, per sample location; NaN: not estimated
    std::vector<double> variance;   // out; NaN where the method has none
};

// Statistics of the residuals observed - estimate over the samples with an
// estimate. The mean squared deviation ratio is the mean squared
// standardised residual over the samples with a positive variance; NaN
// when there are none (as the correlation without spread).
struct ValidationSummary {
    int estimated = 0;
    int notEstimated = 0;
    double meanError = 0.0;
    double meanAbsoluteError = 0.0;
    double rootMeanSquareError = 0.0;
    double meanSquaredDeviationRatio = 0.0;
    double correlation = 0.0;
};

// The residual over its standard deviation. For the lognormal methods the
// variance is that of the logarithms, so the residual is taken between the
// logarithms too: pass their shift (0 for method 8); NaN for the others.
double StandardisedResidual(double observed, double estimate, double variance, double logShift);

ValidationSummary Summarise(const float* observed, const ValidationRun& run, double logShift);

void RunCrossValidation(const SweepPlan& plan, float* const* ppPoints, const NodeMethod& method,
                        ValidationRun& run);

}  // namespace mosaro
