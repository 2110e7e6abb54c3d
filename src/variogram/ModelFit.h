// Weighted least-squares fit of a nested variogram model to the classes of
// one experimental variogram, with gstat's weightings (fit.method):
//   1  N_j                     (kPairs)
//   2  N_j / gamma_model(h_j)^2 (kPairsOverModelSquared, Cressie's)
//   6  1                       (kOrdinary)
//   7  N_j / h_j^2             (kPairsOverLagSquared, gstat's default)
// over the classes with pairs (N_j pairs, mean distance h_j, semivariance
// gamma_j; method 7 leaves out classes at distance 0). The criterion is
//   SSE = sum_j w_j (gamma_j - gamma_model(h_j))^2,
// with method 2's weights taken from the fitted model itself (gstat takes
// them from its starting model and keeps them).
//
// For given nonlinear parameters (ranges, shapes) the nugget and the partial
// sills follow by non-negative least squares (for method 2, re-weighted until
// the weights settle, then refined on method 2's own criterion); the nonlinear parameters are searched by Nelder-Mead
// in log range and log shape, from several starts (gstat's start, range =
// max h / 3, and others from 1/20 to twice the largest lag), within bounds:
// ranges in [largest lag / 1000, kMaxRangeFactor * largest upper class edge],
// shapes within the family's bounds (Mat and Ste kappa from 0.01). Every
// step is deterministic. The model is evaluated along the direction's
// azimuth (north, as gstat, for an omnidirectional variogram).
#pragma once

#include <string>
#include <vector>

#include "variogram/EmpiricalVariogram.h"
#include "variogram/FitTemplate.h"
#include "variogram/VariogramModel.h"

namespace mosaro {

enum class FitMethod { kPairs = 1, kPairsOverModelSquared = 2, kOrdinary = 6, kPairsOverLagSquared = 7 };

// Ranges are searched up to this multiple of the last class's upper edge
// (the cutoff): beyond, no variogram within the cutoff tells them apart.
constexpr double kMaxRangeFactor = 10.0;

struct FitOptions {
    FitMethod method = FitMethod::kPairsOverLagSquared;
    double azimuth = 0.0;  // degrees: the direction the classes were formed in
};

enum class FitStatus {
    kFitted,
    kTooFewClasses,    // fewer than two classes with pairs
    kInvalidTemplate,  // a fixed value out of bounds, nothing to fit
};

struct FitResult {
    FitStatus status = FitStatus::kTooFewClasses;
    std::string message;  // why not, or what to know about the fit
    VariogramModel model;
    double weightedSquaredError = 0.0;
    bool rangeAtBound = false;  // a range ended on its upper bound
};

FitResult FitModel(const std::vector<LagClass>& classes, const FitTemplate& fitTemplate,
                   const FitOptions& options = {});

// SSE of a model on the classes, with the weights of `method` (method 2's
// from the model itself).
double WeightedSquaredError(const std::vector<LagClass>& classes, const VariogramModel& model, FitMethod method,
                            double azimuth = 0.0);

}  // namespace mosaro
