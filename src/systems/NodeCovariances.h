// Many covariances of the legacy arithmetic at once: a node's columns to the
// node (KrigingConstants::Covariance of AnisotropicDistance), eight at a
// time in AVX-512 lanes where the processor has them (chosen at run time).
//
// Every step is the plain code's IEEE operation on the same operands:
// widening, differences, products, sums, square root, quotients, rounding
// to float. The one difference is inside the correctly rounded cube, whose
// exact products come from fused multiply-adds instead of Veltkamp's
// splitting: both give the exact error of a product, so the sums that
// follow see the same numbers. The operands keep the plain code's order,
// so that a NaN met by another NaN (a failed fit's sill and nugget) keeps
// the payload it has there.
#pragma once

#include <cstddef>

#include "systems/KrigingConstants.h"

namespace mosaro {

// out[a] = c.Covariance(c.AnisotropicDistance(x[a], y[a], nodeX, nodeY))
// for a < count; in the lanes when `lanes` and the processor has them.
void CovariancesToNode(const KrigingConstants& c, const float* x, const float* y, std::size_t count, float nodeX,
                       float nodeY, float* out, bool lanes);

}  // namespace mosaro
