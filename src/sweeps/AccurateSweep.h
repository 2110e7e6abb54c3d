// The sweep of the accurate arithmetic.
//
// Same experimental variograms, models, anisotropy and border conditions as
// the legacy sweep, but every node stands alone: its neighbours are the m
// nearest samples by exact distance with ties broken by input order
// (NearestSamples), its system is solved in double with pivoting
// (AccurateNodeSystem), and its estimate and variance are rounded to float
// once. There is no cut-off: a node that cannot be estimated is NaN, the
// no-data value. Nodes are independent, so rows run on every thread of the
// run at once.
#pragma once

#include "sweeps/FastNodeSweep.h"

namespace mosaro {

void RunAccurateSweep(const SweepPlan& plan, float* const* ppPoints, float* pGrid, const NodeMethod& method);

}  // namespace mosaro
