// The engine's own pow(x, 3), atan, log and exp.
//
// Grids must have the same bits on every platform, and the C runtimes do
// not agree on these functions: glibc's are within about half a unit in the
// last place, MinGW-w64's pow, log and exp run on the x87 unit in extended
// precision, and its atan is whatever the Windows msvcrt.dll of the machine
// provides. So the engine computes them itself, in double-double arithmetic
// (about 100 correct bits) from IEEE double operations only, rounded once to
// double at the end: the correctly rounded result except where the exact
// value lies within about 2^-100 (relative) of a rounding boundary, and in
// every case the same bits on every IEEE platform that evaluates double
// operations in double (SSE2, never the x87 unit, no contraction into fused
// multiply-adds). Special arguments (NaN, infinities, zeros, overflow) give
// what the C library's functions give.
#pragma once

namespace mosaro {

// x * x * x rounded once (pow(x, 3.0) of the covariance model): the three
// products are exact, only their sum is rounded.
double Cube(double x);

// The principal arc tangent, in [-pi/2, pi/2].
double ArcTangent(double x);

// Natural logarithm; NaN below 0, -infinity at 0.
double NaturalLogarithm(double x);

// e^x.
double NaturalExponential(double x);

}  // namespace mosaro
