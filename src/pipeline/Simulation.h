// Sequential Gaussian simulation: many equally likely maps that honour the
// samples and the variogram of their normal scores.
//
// A run: the samples with a value (a NaN value is left out and counted) as
// offsets from a local origin; their normal scores (methods/NormalScores.h);
// the model of the scores given, or fitted to their experimental variogram;
// then the realisations (sweeps/SequentialSimulation.h), each taken back
// from scores to values and handed over in realisation order, with the
// E-type mean and variance and the probabilities of exceeding thresholds
// gathered in that order too, so that every output has the same bits at
// any thread count. Without samples the simulation is unconditional: the
// model is required, and the field is `mean` plus the Gaussian field of the
// model, without any transform.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/Execution.h"
#include "sweeps/SequentialSimulation.h"
#include "variogram/EmpiricalVariogram.h"
#include "variogram/FitTemplate.h"
#include "variogram/ModelFit.h"
#include "variogram/VariogramModel.h"

namespace mosaro {

struct SimulationRequest {
    const double* x = nullptr;
    const double* y = nullptr;
    const double* value = nullptr;
    int count = 0;
    // Of the normal scores (of the field, unconditionally); none: fitted.
    std::optional<VariogramModel> model;
    EmpiricalOptions variogram;
    FitTemplate fitTemplate;
    FitOptions fit;
    // The back-transform's tails: the values at probability 0 and 1 (NaN:
    // the data's smallest and largest).
    double lower = std::nan("");
    double upper = std::nan("");
    double mean = 0.0;  // unconditional only
    // The grid: its first node in the caller's coordinates.
    double x0 = 0.0, y0 = 0.0, dx = 1.0, dy = 1.0;
    int columns = 0, rows = 0;
    int samples = 16;          // conditioning samples per node
    int simulated = 16;        // previously simulated nodes per node
    bool combined = false;     // the `samples` nearest of both together
    double maxDistance = 0.0;  // 0: three times the model's largest range, within the grid's diagonal
    int realisations = 1;
    std::uint64_t seed = 0;
};

struct SimulationOutputs {
    // Each realisation's values, node after node (row 0 first), in
    // realisation order; returns false to stop the run.
    std::function<bool(int realisation, const std::vector<double>& values)> deliver;
    double* mean = nullptr;      // E-type mean per node
    double* variance = nullptr;  // E-type variance per node (over the realisations)
    const double* thresholds = nullptr;
    int thresholdCount = 0;
    double* exceedance = nullptr;  // per threshold, per node: the share of realisations above it
};

struct SimulationOutcome {
    VariogramModel model;
    bool fitted = false;
    int samplesUsed = 0;
    int samplesLeftOut = 0;
    int delivered = 0;
};

class SimulationError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Throws SimulationError for what cannot run (no samples and no model, a
// model without a covariance, a fit that fails), Cancelled when the host
// asked to stop.
SimulationOutcome RunSimulation(const SimulationRequest& request, const SimulationOutputs& outputs,
                                const Execution& execution);

}  // namespace mosaro
