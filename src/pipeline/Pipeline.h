// The engine: one run of the pipeline, from the samples and the choices of
// the caller to the grids it writes. Every entry goes through it: the
// legacy entry point, the modern API's gridding, fitting and
// cross-validation. The legacy estimator classes run the same stages one by
// one (ModelStage, SweepStage).
//
// A run is one or more passes (one per threshold of indicator kriging),
// each: the method's quantities, the experimental variograms and the fit
// (or the caller's models), then the sweep of every node (or of every
// sample, for cross-validation). Nothing of a run lives outside its
// arguments.
#pragma once

#include <vector>

#include "methods/MethodCatalog.h"
#include "mosaro.h"
#include "pipeline/PassReport.h"
#include "pipeline/RunSettings.h"
#include "platform/SampleRows.h"
#include "sweeps/CrossValidation.h"
#include "sweeps/SweepPlan.h"

namespace mosaro {

struct PipelineRun {
    SampleRows samples;  // co-kriging: one block per variable
    int neighbours = 0;  // system columns per node (co-kriging: every variable's)
    MethodSpec method;
    TGRIDCELLXY grid{};  // the nodes; with the extent, the lag classes
    TRECTXYMINMAX rect{};
    // When set, the variograms and the fit are skipped and these models (x,
    // then y) are used as if fitted.
    const TVARIOGRAMMODEL* givenModels = nullptr;
    FitChoice fit = FitChoice::kLegacy;
    // Each pass stops after the fit: variograms and models only.
    bool fitOnly = false;
    // The caller keeps the experimental tables (see FitRequest).
    bool keepTables = false;
    // When set, each sample is estimated from the others instead of the
    // grid's nodes, and the grid is not written.
    ValidationRun* validation = nullptr;
};

struct PipelineOutputs {
    float* grid = nullptr;  // node estimates; written last, after every pass
    // Optional, for the methods that have a kriging variance.
    float* variance = nullptr;
    // Optional, accurate arithmetic: each node's reciprocal condition
    // estimate, the smallest over the passes; NaN where none was solved. The
    // caller fills it with NaN first.
    float* reciprocalCondition = nullptr;
    // Optional: one entry per pass.
    std::vector<PassReport>* report = nullptr;
    // Optional: seconds per stage (indexed by Stage), summed over the passes.
    double* stageSeconds = nullptr;
    // Optional: the fast legacy sweep's parts, summed over the passes.
    SweepPartSeconds* sweepParts = nullptr;
};

// Runs the pipeline; a run that completes reports the final progress.
// Throws Cancelled when the host asked to stop, std::bad_alloc when memory
// runs out, std::length_error for a run that cannot be addressed (an
// indicator table beyond kMaxIndicatorEntries), std::invalid_argument for
// indicator kriging without thresholds, TooFewPairsToFit from the robust
// fit. Every working array is allocated before the first node is written.
void RunPipeline(const PipelineRun& run, const RunSettings& settings, const PipelineOutputs& outputs);

}  // namespace mosaro
