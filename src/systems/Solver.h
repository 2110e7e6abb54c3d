// Dense solver of one node's kriging system: Gaussian elimination without
// row or column exchanges, then back substitution. A pivot of magnitude
// below 1e-6 is moved away from zero by 1e-6 before every single update, so
// singular systems give a finite (meaningless) answer instead of failing.
#pragma once

namespace mosaro {

// Solves in place. `augmented` holds `order` rows of `order` + 1 floats, row
// after row, the right-hand side in the last column; it is overwritten.
// Writes the `order` unknowns into `solution`. Does nothing if order < 1.
//
// Applies the guard only while it can still move the pivot, so the updates
// of a row run as one independent loop the compiler can vectorise, and
// eliminates a symmetric system (every kriging system) through its upper
// triangle alone. Gives the unknowns, upper triangle and right-hand side of
// SolveGuardedInPlaceReference bit for bit; the lower triangle is left
// unspecified.
void SolveGuardedInPlace(float* augmented, int order, float* solution);
// The same, choosing whether the row updates may use the widest vectors the
// processor offers (chosen at run time) or only the baseline ones.
void SolveGuardedInPlace(float* augmented, int order, float* solution, bool widestVectors);

// The same solve, guarding the pivot literally before every update.
void SolveGuardedInPlaceReference(float* augmented, int order, float* solution);

}  // namespace mosaro
