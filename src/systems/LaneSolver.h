// The legacy solver run on several nodes' systems at once, one system per
// vector lane: 4 doubles to a 256-bit vector (AVX2), 8 to a 512-bit one
// (AVX-512), chosen at run time where the processor has them.
//
// The solver's work is a long chain of short rows (a few dozen elements
// each, shorter at every step), each element taking a division that must
// stay a division to keep the legacy bits. Vectorising along a row wastes
// most of each vector on the short rows; vectorising across systems fills
// every lane at every element. Each lane runs exactly the scalar solver's
// sequence: the same double operations on the same float operands in the
// same order, rounded to float wherever the scalar code stores, the pivot
// guard as a per-lane compare and blend. So each lane gives the scalar
// solver's bits.
#pragma once

#include <cstddef>

namespace mosaro {

// Which width the legacy sweep solves with. kBest is the widest the
// processor has; a width it lacks falls back to the next narrower one.
enum class SolverLanes { kBest, kScalar, kAvx2, kAvx512 };

// Systems per call for `requested` on this processor: 1 (one at a time,
// SolveGuardedInPlace), 4 or 8.
int SolverLaneCount(SolverLanes requested);

// Solves `lanes` systems of one order (lanes as SolverLaneCount gives, 4 or
// 8) laid out lane by lane: entry (r, c) of system l at
// augmented[(r * (order + 1) + c) * lanes + l], unknown i of system l written
// to solution[i * lanes + l]. Each system gives SolveGuardedInPlace's
// unknowns and upper triangle bit for bit. Returns false without solving
// when an entry of some system is a NaN other than the processor's default
// one (a NaN's payload could then depend on the order of an operation's
// operands); solve those one at a time. (A model fit that fails gives a NaN
// sill, hence systems full of default NaNs: those are solved here.)
bool SolveLanesGuardedInPlace(float* augmented, int order, float* solution, int lanes);

}  // namespace mosaro
