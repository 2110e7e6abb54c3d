// Fit of a spherical variogram model to one experimental direction.
#pragma once

#include "mosaro.h"

namespace mosaro {

// Drops, in place, every class whose semivariance is below that of the last
// class kept before it, so the retained semivariances never decrease.
// Returns the number of retained classes; they occupy the first places of
// the three rows.
int PruneToNonDecreasing(float* const* table, int classCount);

// Scale divisor of the normal equations: keeps sums of h^6 within single
// precision, chosen from the lag of the last retained class.
float ScaleDivisor(float lastLag);

// Branch of the fit that applied to the coefficients; Given marks a model
// the caller set instead of a fit. The robust fit's models are marked by
// where they came from: the direction's own table, or the omnidirectional
// one; NotRun marks a fit that did not run (the legacy fit of the
// omnidirectional table, the robust fit of a legacy run).
enum class FitBranch {
    Spherical,
    StraightLine,
    ThroughOrigin,
    Given,
    RobustDirectional,
    RobustOmnidirectional,
    NotRun
};

// Prunes `table` and fits b0 + b1 h + b3 h^3 by pair-count weighted least
// squares, from which the spherical constants follow in closed form
// (range = sqrt(-b1 / (3 b3)), partial sill = 2 range b1 / 3). A fit of the
// wrong shape falls back to a straight line through the first classes, or to
// a fit through the origin when the intercept is negative or not a number.
// When `branch` is given it receives the branch taken (the model report
// shows it); the model does not depend on whether it is asked for.
TVARIOGRAMMODEL FitSphericalModel(float* const* table, int classCount, FitBranch* branch = nullptr);

// The legacy fit of both directions: each table (x, then y, with the
// class counts the grid's extent and cell sizes give) pruned and fitted.
void FitLegacyModels(float* const* tableX, float* const* tableY, const TGRIDCELLXY& grid, const TRECTXYMINMAX& rect,
                     TVARIOGRAMMODEL (&models)[2]);

}  // namespace mosaro
