// The sweep of the accurate arithmetic.
//
// Every node stands alone: its neighbours are the m nearest samples by
// exact distance with ties broken by input order (NearestSamples), its
// system is solved in double with pivoting (AccurateNodeStep), and its
// estimate and variance are rounded to float once. There is no cut-off: a
// node that cannot be estimated is NaN, the no-data value. Nodes are
// independent, so rows run on every worker at once.
#pragma once

#include "platform/Execution.h"
#include "sweeps/SweepPlan.h"
#include "systems/LaneSolver.h"
#include "systems/NodeMethod.h"

namespace mosaro {

// `lanes`: how many nodes' systems are solved at once (the same bits at
// every width).
NodeTally RunAccurateSweep(const SweepPlan& plan, const NodeMethod& method, const SweepOutputs& outputs,
                           const Execution& execution, SolverLanes lanes = SolverLanes::kBest);

}  // namespace mosaro
