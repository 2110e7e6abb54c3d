// Gauss-Legendre quadrature: the n nodes on [-1, 1] and their weights (which
// sum to 2), exact for polynomials of degree 2n - 1. Block kriging averages
// covariances over a block with them, as R's gstat does.
#pragma once

#include <vector>

namespace mosaro {

struct QuadratureRule {
    std::vector<double> nodes;  // ascending
    std::vector<double> weights;
};

// n >= 1; by Newton's method on the Legendre polynomial from the
// library's own cosine, so the same bits on every platform.
QuadratureRule GaussLegendre(int n);

}  // namespace mosaro
