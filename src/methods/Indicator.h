// Indicator kriging: for each threshold t the samples become indicators
// I = 1 where v <= t (a difference that is not a number counts as 1) and 0
// above; the whole pipeline (variogram of the indicators, fit, sweep) runs
// once per threshold, and each node finally holds the sum over the
// thresholds, in array order, of
//   z_t = (1 - sum_a w_a I_a) * (sum_a I_a v_a) / c,
// c being the number of the node's neighbours at or below t (at least 1).
#pragma once

#include <memory>

#include "systems/NodeMethod.h"

namespace mosaro {

// Largest indicator table a run takes on (thresholds times samples, at
// least one entry per threshold); beyond it the run is refused before
// anything is allocated.
constexpr double kMaxIndicatorEntries = 1 << 28;

// The indicator of a value for a threshold.
float Indicator(float value, float threshold);

std::unique_ptr<NodeMethod> MakeIndicator(float threshold);

}  // namespace mosaro
