// The prediction engine: kriging at the targets of a grid, a window of one,
// or a list of points, each a point or a block, in the accurate arithmetic,
// from samples in double coordinates.
//
// A run: the samples with a value (a NaN value is left out and counted);
// ln(v + shift) for lognormal kriging; the model given, or fitted to the
// experimental variogram of the values (of their residuals from the drift,
// fitted by ordinary least squares, when there is one); every coordinate
// taken as an offset from a local origin, the middle of the samples'
// bounding box, so that coordinates far from zero keep their precision;
// then every target from its own search neighbourhood.
#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "neighbours/SearchNeighbourhood.h"
#include "platform/Execution.h"
#include "sweeps/TargetSweep.h"
#include "variogram/EmpiricalVariogram.h"
#include "variogram/FitTemplate.h"
#include "variogram/ModelFit.h"
#include "variogram/VariogramModel.h"

namespace mosaro {

enum class KrigingKind { kOrdinary, kSimple };

struct PredictionRequest {
    // Samples, one value each; covariates: one array per covariate.
    const double* x = nullptr;
    const double* y = nullptr;
    const double* value = nullptr;
    int count = 0;
    std::vector<const double*> sampleCovariates;

    KrigingKind kind = KrigingKind::kOrdinary;
    double mean = 0.0;        // simple kriging (of the logarithms for lognormal kriging)
    unsigned driftTerms = 0;  // a set of DriftTerm (methods/PolynomialDrift.h)
    bool lognormal = false;
    double shift = 0.0;

    // The model, or (none) the fit of `fitTemplate` to the experimental
    // variogram with `variogram`'s options.
    std::optional<VariogramModel> model;
    EmpiricalOptions variogram;
    FitTemplate fitTemplate;
    FitOptions fit;

    NeighbourhoodOptions neighbourhood;  // transform unset: see anisotropicSearch
    // Distances of the search measured in the first structure's anisotropy.
    bool anisotropicSearch = false;

    // Targets in the samples' coordinates (TargetSet's covariates too); a
    // block of blockX x blockY with a discretisation of pointsX x pointsY.
    TargetSet targets;
    double blockX = 0.0, blockY = 0.0;
    int pointsX = 4, pointsY = 4;

    // The frame (x_min, y_min, x_max, y_max) of the local origin and of the
    // scale of a model without a sill; null: the samples' bounding box.
    const double* frame = nullptr;
};

struct PredictionOutcome {
    VariogramModel model;  // the one used
    bool fitted = false;
    double weightedSquaredError = 0.0;  // of the fit
    std::string fitMessage;
    double cutoff = std::nan(""), width = std::nan("");  // of the variogram fitted
    int samplesUsed = 0;
    int samplesLeftOut = 0;  // values that are NaN
    long long targets = 0;
    TargetTally tally;
};

// Why a prediction cannot run.
class PredictionError : public std::invalid_argument {
public:
    enum class Cause { kSamples, kVariogram, kModel, kFit, kNeighbourhood };
    PredictionError(Cause cause, const std::string& message) : std::invalid_argument(message), cause_(cause) {}
    Cause Reason() const { return cause_; }

private:
    Cause cause_;
};

// Global neighbourhoods solve one system of every sample; beyond this many
// samples that is refused (give nmax).
constexpr int kMaxGlobalSamples = 2000;

// Throws PredictionError with a message naming the argument for what cannot
// be run: no sample with a value, a model without a covariance for simple
// kriging, a fit that gives no model, a global neighbourhood of too many
// samples.
PredictionOutcome RunPrediction(const PredictionRequest& request, const TargetOutputs& outputs,
                                const Execution& execution);

// The linear map of an anisotropic search: distances in units of the first
// structure's major range direction, its minor axis stretched by 1 / ratio
// (the identity for a model without structures).
std::array<double, 4> AnisotropicSearchMap(const VariogramModel& model);

// The experimental variogram the fit of a request sees (residuals when
// there is a drift), for showing it beside the fitted model.
EmpiricalVariogram PredictionVariogram(const PredictionRequest& request, int threads);

}  // namespace mosaro
