// The robust automatic fit: a spherical model fitted to an experimental
// variogram by weighted least squares, beside the legacy cubic fit (which
// stays untouched for bit-exact hosts).
//
// Model: gamma(h) = c0 + c * (1.5 h/a - 0.5 (h/a)^3) for h < a, c0 + c from
// a on, with nugget c0 >= 0, partial sill c > 0 and range a in (0, largest
// lag]. Weights N / h^2 (pairs over squared lag), the usual default of
// other kriging packages, so that the short lags that decide the kriging
// weights count most. For a fixed range the model is linear in (c0, c): the
// bounded two-parameter least squares is solved exactly, and a scan of the
// range followed by a golden-section refinement finds the best range. No
// step can diverge; every model that comes out is finite.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "mosaro.h"
#include "platform/Execution.h"
#include "variogram/VariogramFit.h"

namespace mosaro {

// Rows of one experimental variogram: lag distance, pair count and
// semivariance per class.
struct VariogramRows {
    std::vector<float> lag;
    std::vector<float> pairs;
    std::vector<float> gamma;

    std::size_t Size() const { return lag.size(); }
};

// A copy of the first `classCount` classes of a legacy table (empty for
// none).
VariogramRows ReadRows(const float* const* table, int classCount);

// Thrown by the robust fit when not even the omnidirectional variogram has
// two classes with pairs. The entry points map it to a status; the grid is
// left untouched, since the sweep has not started.
class TooFewPairsToFit : public std::exception {
public:
    const char* what() const noexcept override {
        return "too few pairs to fit a variogram: give a model or a coarser cell";
    }
};

// The weighted least-squares spherical model of `rows`, or false (model
// left unset) when fewer than two classes can enter the fit (some pairs, a
// positive lag and a finite semivariance). The model is finite
// whenever the semivariances are.
bool FitSphericalWeighted(const VariogramRows& rows, TVARIOGRAMMODEL& model);

// Sum of the weighted squared residuals of `model` over the classes of
// `rows` that can enter a fit, with the weights the fit uses (for tests and
// for comparing two fits of the same table).
double WeightedResidual(const VariogramRows& rows, const TVARIOGRAMMODEL& model);

// Lag classes of the omnidirectional variogram: one class width (the
// smaller cell size) out to the largest lag of the two directional tables,
// at most 10,000 classes, so every pair that either direction could use
// (and every pair in between the cones) within that lag is counted.
struct OmnidirectionalClasses {
    double width = 0.0;
    int count = 0;
};
OmnidirectionalClasses ComputeOmnidirectionalClasses(const TGRIDCELLXY& grid, const TRECTXYMINMAX& rect);

// The omnidirectional experimental variogram of the samples (x, y) with the
// quantities `values` (values, logarithms or indicators, as the directional
// tables take them): class k at lag k * width collects the pairs at distance
// d with trunc(d / width + 0.5) = k, its semivariance the same
// distance-weighted mean of half the squared differences as the directional
// tables. Summed in double over a fixed partition of the pairs, so the
// table does not depend on the thread count.
VariogramRows BuildOmnidirectionalVariogram(const float* x, const float* y, const double* values, int count,
                                            OmnidirectionalClasses classes, const Execution& execution);

// The robust models of one pass: per direction the model and where it came
// from, with a sentence saying why; the omnidirectional model as well when
// its table was built (omnidirectionalFitted).
struct RobustFitResult {
    TVARIOGRAMMODEL models[2]{};
    // RobustDirectional or RobustOmnidirectional: where each model came from.
    FitBranch branches[2] = {FitBranch::RobustDirectional, FitBranch::RobustDirectional};
    std::string reasons[2];
    bool omnidirectionalFitted = false;
    TVARIOGRAMMODEL omnidirectionalModel{};
    std::string omnidirectionalReason;
};

// Fits both directional tables. A direction with fewer than
// kMinDirectionalClasses classes with pairs, or fewer than
// kMinDirectionalPairs pairs in them, cannot carry a model of its own; then
// the omnidirectional table is built (by `buildOmnidirectional`, into
// `omnidirectional`) and both
// directions take its model, so the anisotropy is 1. With `keepTable` the
// table is built and fitted in any case, for the report. Throws
// TooFewPairsToFit when a needed omnidirectional table has fewer than two
// classes with pairs.
constexpr int kMinDirectionalClasses = 3;
constexpr double kMinDirectionalPairs = 30.0;
RobustFitResult FitRobustModels(const VariogramRows (&directions)[2],
                                const std::function<VariogramRows()>& buildOmnidirectional, bool keepTable,
                                VariogramRows& omnidirectional);

}  // namespace mosaro
