#include "pipeline/ValidationSummary.h"

#include <cmath>
#include <limits>

#include "platform/FloatArith.h"
#include "platform/PortableMath.h"

namespace mosaro {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

}  // namespace

double StandardisedResidual(double observed, double estimate, double variance, double logShift) {
    if (std::isnan(logShift)) return (observed - estimate) / std::sqrt(variance);
    return (NaturalLogarithm(observed + logShift) - NaturalLogarithm(estimate + logShift)) / std::sqrt(variance);
}

ValidationSummary Summarise(const float* observed, const ValidationRun& run, double logShift) {
    ValidationSummary s;
    double sumError = 0.0, sumAbsolute = 0.0, sumSquare = 0.0, sumRatio = 0.0;
    double sumObserved = 0.0, sumEstimate = 0.0;
    int withVariance = 0;
    for (std::size_t i = 0; i < run.estimate.size(); ++i) {
        const double estimate = run.estimate[i];
        if (!std::isfinite(estimate)) {
            ++s.notEstimated;
            continue;
        }
        const double residual = f64(observed[i]) - estimate;
        ++s.estimated;
        sumError += residual;
        sumAbsolute += std::fabs(residual);
        sumSquare += residual * residual;
        sumObserved += f64(observed[i]);
        sumEstimate += estimate;
        if (run.variance[i] > 0.0) {
            const double standardised = StandardisedResidual(f64(observed[i]), estimate, run.variance[i], logShift);
            if (std::isfinite(standardised)) {
                sumRatio += standardised * standardised;
                ++withVariance;
            }
        }
    }
    if (s.estimated == 0) {
        s.meanError = s.meanAbsoluteError = s.rootMeanSquareError = s.meanSquaredDeviationRatio = s.correlation =
            kNotANumber;
        return s;
    }
    const double count = static_cast<double>(s.estimated);
    s.meanError = sumError / count;
    s.meanAbsoluteError = sumAbsolute / count;
    s.rootMeanSquareError = std::sqrt(sumSquare / count);
    s.meanSquaredDeviationRatio = withVariance > 0 ? sumRatio / static_cast<double>(withVariance) : kNotANumber;
    // Centred sums in a second pass: the one-pass formula cancels badly
    // when the values sit far from zero.
    const double meanObserved = sumObserved / count, meanEstimate = sumEstimate / count;
    double so = 0.0, se = 0.0, soe = 0.0;
    for (std::size_t i = 0; i < run.estimate.size(); ++i) {
        if (!std::isfinite(run.estimate[i])) continue;
        const double o = f64(observed[i]) - meanObserved, e = run.estimate[i] - meanEstimate;
        so += o * o;
        se += e * e;
        soe += o * e;
    }
    s.correlation = so > 0.0 && se > 0.0 ? soe / std::sqrt(so * se) : kNotANumber;
    return s;
}

}  // namespace mosaro
