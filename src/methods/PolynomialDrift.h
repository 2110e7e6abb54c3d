// Universal kriging and kriging with external drift: the mean of the field
// follows a polynomial drift in the coordinates, plus a linear combination
// of covariates known at the samples and at the targets. The system is ordinary kriging's bordered by the drift
// functions f_t (f0 = 1 first) and nothing else:
//   K[m + t][a] = K[a][m + t] = f_t(x_a, y_a),   r[m + t] = f_t(X, Y),
// with a zero block where the drift rows and columns meet. In the legacy
// arithmetic squares and products are rounded to float before they enter
// the system.
//
// Degenerate input: fewer neighbours than drift functions, or neighbours
// that cannot determine the drift (all on one line x = constant for a drift
// in x), give a singular system: the legacy pivot guard solves it without
// error, the accurate arithmetic takes its minimum-norm solution when the
// equations are consistent and gives no estimate otherwise.
#pragma once

#include <memory>

#include "systems/NodeMethod.h"

namespace mosaro {

// The drift terms after the constant, as bits. They enter the system in
// this order: x, x^2, y, y^2, xy.
enum DriftTerm : unsigned {
    kDriftX = 1u << 0,
    kDriftXX = 1u << 1,
    kDriftY = 1u << 2,
    kDriftYY = 1u << 3,
    kDriftXY = 1u << 4,
};

// The rules of a polynomial drift of the given terms (a set of DriftTerm)
// and, in the accurate arithmetic, `covariates` external drift functions
// (kriging with external drift: their values at the locations and at the
// target follow the polynomial terms in the border).
std::unique_ptr<NodeMethod> MakePolynomialDrift(unsigned terms, int covariates = 0);

}  // namespace mosaro
