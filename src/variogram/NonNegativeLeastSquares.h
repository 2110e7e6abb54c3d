// min ||A x - b|| subject to x >= 0, by the active-set method of Lawson and
// Hanson: columns enter the passive set one at a time (the one whose
// gradient most favours it), each unconstrained least-squares step on the
// passive columns is solved by Householder QR, and a step that would make a
// coefficient negative is shortened to the boundary, where that column
// leaves. Finite in exact arithmetic; here also bounded to 3 n outer steps.
// Columns are scaled to unit length first, so that families of very
// different magnitude (a nugget beside a power model) are treated alike.
#pragma once

#include <cstddef>
#include <vector>

namespace mosaro {

// A is rows x columns, row-major; returns the coefficient of each column.
std::vector<double> NonNegativeLeastSquares(const std::vector<double>& a, const std::vector<double>& b,
                                            std::size_t rows, std::size_t columns);

}  // namespace mosaro
