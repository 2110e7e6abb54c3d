// Factorises small symmetric positive definite systems by Cholesky (simple
// kriging's systems: half the work of an LU, no pivoting needed), several
// side by side, and carries right sides through the factor's transpose. A
// system gives up on a pivot that is not above a floor (a singular system:
// two conditioning points at one place).
//
// Simple kriging needs no weights: with A = U^T U, y = U^-T c and
// z = U^-T v, the estimate c^T A^-1 v is y . z and the variance's
// reduction c^T A^-1 c is y . y, a sum of squares. So only the forward
// substitution runs, inside the factorisation, and the back substitution,
// one long chain of dependent subtractions, is never needed.
//
// The systems of one call share an order and are interleaved lane by lane:
// entry (r, c) of lane l at matrix[(r * order + c) * lanes + l], entry r of
// right side s at sides[(s * order + r) * lanes + l]. Every lane runs
// exactly the operations, in the order, of its system alone, so its bits do
// not depend on the lane count or on its neighbours; lanes let the
// processor overlap the long dependent chains (roots, divisions) of
// independent systems, and vectorise across them.
//
// A system of a smaller order rides in a lane padded with a multiple of the
// identity (a zero right side beyond its order; a multiple above the floor
// below): the padding only ever subtracts products with zero from its real
// entries, which leaves them unchanged.
#pragma once

namespace mosaro {

// Lanes per call: 1 or kCholeskyLanes.
constexpr int kCholeskyLanes = 4;
// Right sides per call: 1 or kCholeskySides.
constexpr int kCholeskySides = 2;

// Only the upper triangle of each system is read (and overwritten by the
// factor U, A = U^T U, with the reciprocals of its diagonal in place of the
// diagonal); each right side b is overwritten by U^-T b. Returns a mask of
// the lanes (bit l for lane l) that met a pivot not above `smallest`: their
// results mean nothing. A pivot is what a point's variance keeps given the
// points before it; one at the level of rounding (a point at, or all but
// at, the place of another) would be divided by a root made of rounding
// errors, so a caller passes a floor well above that level.
unsigned CholeskyProjectLanes(double* matrix, int order, double* sides, int sideCount, int lanes,
                              double smallest = 0.0);

}  // namespace mosaro
