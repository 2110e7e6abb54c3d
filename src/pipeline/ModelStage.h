// The first two stages of a pass: the legacy directional experimental
// variograms of the pass's quantities, and the models fitted to them (the
// legacy fit, or the robust one beside it).
#pragma once

#include <vector>

#include "mosaro.h"
#include "pipeline/PassReport.h"
#include "pipeline/RunSettings.h"
#include "platform/SampleRows.h"
#include "variogram/ExperimentalVariogram.h"

namespace mosaro {

// The tables of the samples' coordinates and `quantities` over the lag
// classes of the grid's extent and cell sizes, by the run's implementation.
DirectionalTables BuildVariograms(const SampleRows& samples, const double* quantities, const TGRIDCELLXY& grid,
                                  const TRECTXYMINMAX& rect, const RunSettings& settings);

struct FitRequest {
    SampleRows samples;
    const std::vector<double>* quantities = nullptr;  // one per sample entry
    TGRIDCELLXY grid{};
    TRECTXYMINMAX rect{};
    FitChoice fit = FitChoice::kLegacy;
    // The caller keeps the tables: a robust run then builds the
    // omnidirectional table even when neither direction needs its model.
    bool keepTables = false;
};

// The models (x, then y) of one pass. The legacy fit runs in a robust run
// too: it is cheap, and the report shows what it would have given. With a
// report, records the tables, the fits and why. `stageSeconds` as
// StageClock takes it.
void FitModels(const FitRequest& request, const RunSettings& settings, TVARIOGRAMMODEL (&models)[2], PassReport* report,
               double* stageSeconds);

}  // namespace mosaro
