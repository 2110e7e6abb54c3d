// Simple kriging: the mean m of the field is known, so the weights are free
// (no border) and the estimate is the mean plus the weighted residuals,
//   z = m + sum_a w_a (v_a - m),   variance C(0) - sum_a w_a r_a.
// Accurate arithmetic only.
#pragma once

#include <memory>

#include "systems/NodeMethod.h"

namespace mosaro {

std::unique_ptr<NodeMethod> MakeSimpleKriging(double mean);

}  // namespace mosaro
