// Fills the report of one pass at the points of the pipeline where each
// part is known: the experimental tables right after they are built (the
// legacy fit prunes them in place), the pruned tables and models right
// after the fit, the sweep's constants just before the sweep.
#pragma once

#include "pipeline/PassReport.h"
#include "variogram/ExperimentalVariogram.h"
#include "variogram/LagClasses.h"

namespace mosaro {

// Copies both tables as built, and finds the branch each direction's fit
// will take by running the same fit on a copy (the legacy fit cannot say).
void CaptureExperimentalTables(const DirectionalTables& tables, const LagClassCounts& counts, PassReport& report);

// Copies the classes of both tables the fit kept, and the fitted models (as
// the models used and as the legacy fit's).
void CaptureFittedModels(const DirectionalTables& tables, const TVARIOGRAMMODEL (&models)[2], PassReport& report);

// The robust models replacing the legacy ones, where each came from and
// why, and the omnidirectional table and model.
void CaptureRobustFit(const RobustFitResult& fit, VariogramRows omnidirectional, PassReport& report);

// The models the sweep runs on and the averaged constants it derives.
void CaptureSweepConstants(const TVARIOGRAMMODEL (&models)[2], const TRECTXYMINMAX& rect, PassReport& report);

}  // namespace mosaro
