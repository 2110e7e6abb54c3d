// Solves a small symmetric positive definite system by Cholesky
// factorisation (simple kriging's systems: half the work of an LU, no
// pivoting needed). Gives up, returning false, on a pivot that is not
// positive (a singular system: two conditioning points at one place).
#pragma once

#include <vector>

namespace mosaro {

// `matrix` holds order x order entries row after row, of which only the
// upper triangle is read (and overwritten by the factor U, A = U^T U, with
// the reciprocals of its diagonal in place of the diagonal);
// `rightSide` is overwritten by the solution. The factor's updates run
// along rows, so that they vectorise without reordering a sum.
bool CholeskySolve(std::vector<double>& matrix, int order, double* rightSide);

}  // namespace mosaro
