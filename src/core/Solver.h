// Dense solver of one node's kriging system: Gaussian elimination without
// row or column exchanges, then back substitution. A pivot of magnitude
// below 1e-6 is moved away from zero by 1e-6 before every single update, so
// singular systems give a finite (meaningless) answer instead of failing.
#pragma once

namespace mosaro {

// Solves in place. `augmented` holds `order` rows of `order` + 1 floats, row
// after row, the right-hand side in the last column; it is overwritten.
// Writes the `order` unknowns into `solution`. Does nothing if order < 1.
void SolveGuardedInPlace(float* augmented, int order, float* solution);

}  // namespace mosaro
