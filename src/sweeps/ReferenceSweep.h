// The plain legacy sweep: node after node on the calling thread, every
// sample measured afresh, the plain exchange passes over the whole working
// copy, every covariance computed afresh, the literal solver. The legacy
// reading, kept to prove the fast sweep gives the same bits.
#pragma once

#include "platform/Execution.h"
#include "sweeps/SweepPlan.h"
#include "systems/NodeMethod.h"

namespace mosaro {

// Sweeps every node (rows from y_min upward, x fastest); plan.m >= 1.
void RunReferenceSweep(const SweepPlan& plan, const NodeMethod& method, const SweepOutputs& outputs,
                       const Execution& execution);

}  // namespace mosaro
