// Solves small symmetric positive definite systems by Cholesky
// factorisation (simple kriging's systems: half the work of an LU, no
// pivoting needed), several side by side. A system gives up on a pivot that
// is not positive (a singular system: two conditioning points at one
// place).
//
// The systems of one call share an order and are interleaved lane by lane:
// entry (r, c) of lane l at matrix[(r * order + c) * lanes + l], right side
// entry r at rightSide[r * lanes + l]. Every lane runs exactly the
// operations, in the order, of a solve of its system alone, so its bits do
// not depend on the lane count or on its neighbours; lanes let the
// processor overlap the long dependent chains (roots, divisions,
// substitutions) of independent systems, and vectorise across them.
//
// A system of a smaller order rides in a lane padded with the identity (a
// zero right side beyond its order): the padding only ever subtracts
// products with zero from its real entries, which leaves them unchanged.
#pragma once

namespace mosaro {

// Lanes per call: 1 or kCholeskyLanes.
constexpr int kCholeskyLanes = 4;

// Only the upper triangle of each system is read (and overwritten by the
// factor U, A = U^T U, with the reciprocals of its diagonal in place of the
// diagonal); the right sides are overwritten by the solutions. Returns a
// mask of the lanes (bit l for lane l) that met a pivot that is not
// positive: their results mean nothing.
unsigned CholeskySolveLanes(double* matrix, int order, double* rightSide, int lanes);

}  // namespace mosaro
