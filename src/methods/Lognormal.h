// Lognormal kriging: ordinary kriging of ln(v + shift), taken back with the
// exponential of the kriged logarithm plus half the kriging variance,
//   T = sum_a w_a (ln(v_a + shift) + Csum/2 - r_a/2 - mu/2),  z = exp(T) - shift,
// where r_a is the covariance of neighbour a to the node and mu the Lagrange
// multiplier. The two-parameter form has shift 0; the three-parameter form
// takes the caller's shift, so values need only exceed -shift.
//
// Degenerate input: values (plus shift) of 0 or below have no logarithm. In
// the legacy arithmetic -inf or NaN propagates by the floating-point rules
// into the variogram and the estimate, and such nodes are stored as 0; in
// the accurate arithmetic the node has no estimate.
#pragma once

#include <memory>

#include "systems/NodeMethod.h"

namespace mosaro {

// ln(v + shift), the sum and the logarithm in double, by the library's own
// logarithm (the same bits on every platform).
double ShiftedLogarithm(float value, float shift);

std::unique_ptr<NodeMethod> MakeLognormal(float shift);

}  // namespace mosaro
