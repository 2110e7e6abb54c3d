// Statistics of a cross-validation: the residuals observed - estimate
// over the samples with an estimate.
#pragma once

#include "sweeps/CrossValidation.h"

namespace mosaro {

// The mean squared deviation ratio is the mean squared standardised
// residual over the samples with a positive variance; NaN when there are
// none (as the correlation without spread).
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

}  // namespace mosaro
