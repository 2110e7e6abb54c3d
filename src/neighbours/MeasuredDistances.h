// The distances of many entries from one node, each exactly as
// MeasuredDistance gives it, computed four at a time where the processor
// has 256-bit vectors (chosen at run time). Every step is one IEEE operation
// (widening, subtraction, product, sum, square root, rounding to float), the
// same in a lane as in the plain code, so both give the same bits.
#pragma once

#include <cstddef>

namespace mosaro {

void MeasureDistances(const float* x, const float* y, std::size_t count, double nodeX, double nodeY, float* out);

}  // namespace mosaro
