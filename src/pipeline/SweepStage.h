// The last stage of a pass: every node of the grid estimated from the
// pass's models, by the run's arithmetic and implementation.
#pragma once

#include "mosaro.h"
#include "pipeline/RunSettings.h"
#include "platform/SampleRows.h"
#include "sweeps/FastSweep.h"
#include "sweeps/SweepPlan.h"
#include "systems/NodeMethod.h"

namespace mosaro {

// The sweep of the samples (co-kriging: one block per variable) over the
// grid with the models of the x and the y direction; at most every sample
// is a system column.
SweepPlan MakeSweepPlan(const SampleRows& samples, int neighbours, const TGRIDCELLXY& grid, const TRECTXYMINMAX& rect,
                        const TVARIOGRAMMODEL (&models)[2]);

// Sweeps every node (rows from y_min upward, x fastest). The accurate
// arithmetic returns its node counts; the legacy one counts nothing. In the
// legacy arithmetic a run without samples writes 0 everywhere, whatever the
// method (the lognormal back-transform of an empty sum would otherwise give
// exp(0) = 1), and NaN as its variance. With `shared`, the fast legacy
// sweep keeps or reuses its neighbour lists there.
NodeTally SweepGrid(const SweepPlan& plan, const NodeMethod& rules, const RunSettings& settings,
                    const SweepOutputs& outputs, SharedNeighbours* shared = nullptr);

}  // namespace mosaro
