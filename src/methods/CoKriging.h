// Co-kriging: the samples carry V variables, laid out as V blocks of P
// entries that share the table's coordinates (block 0 the primary
// variable). One pooled variogram and one fitted model serve every pair of
// variables. The q nearest locations are chosen for every block at once;
// the system takes their V q columns, variable after variable, with one
// unbiasedness row per variable: the weights of variable 0 sum to 1, those
// of every other variable to 0. The estimate is z = sum_s w_s v_s.
//
// Every co-kriging system is singular by construction (all variables share
// one model): the legacy pivot guard solves it anyway, the accurate
// arithmetic takes its minimum-norm solution.
#pragma once

#include <memory>

#include "systems/NodeMethod.h"

namespace mosaro {

// V variables in blocks of P entries, the q nearest locations per node.
std::unique_ptr<NodeMethod> MakeCoKriging(int variables, int perBlock, int nearest);

}  // namespace mosaro
