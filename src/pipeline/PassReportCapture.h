// Fills the model report of one pass from the estimator's state at the
// points of the pipeline where each part is known: the experimental tables
// right after they are built (the fit prunes them in place), the pruned
// tables right after the fit, the sweep's constants just before the sweep.
#pragma once

#include "pipeline/RunContext.h"
#include "mosaro.h"

namespace mosaro {

// Copies both experimental tables as built, and finds the branch each
// direction's fit will take by running the same fit on a copy (the
// estimator's own fit, a fixed exported member, cannot say).
void CaptureExperimentalTables(const CKriging& estimator, PassReport& report);

// Copies the retained classes of both tables after the fit pruned them, and
// the fitted models (as the models used and as the legacy fit's).
void CaptureFittedModels(const CKriging& estimator, PassReport& report);

// The robust models replacing the legacy ones, where each came from and
// why, and the omnidirectional table and model.
void CaptureRobustFit(const RobustFitResult& fit, VariogramRows omnidirectional, PassReport& report);

// The averaged constants the sweep derives from the two models.
void CaptureSweepConstants(const CKriging& estimator, PassReport& report);

}  // namespace mosaro
