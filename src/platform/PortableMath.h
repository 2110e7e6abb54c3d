// The engine's own pow(x, 3), atan, log and exp, and the sine, cosine,
// power, gamma and Bessel functions of the variogram models.
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

#include <cstddef>

namespace mosaro {

// x * x * x rounded once (pow(x, 3.0) of the covariance model): the three
// products are exact, only their sum is rounded.
double Cube(double x);

// The principal arc tangent, in [-pi/2, pi/2].
double ArcTangent(double x);

// Natural logarithm; NaN below 0, -infinity at 0.
double NaturalLogarithm(double x);

// The logarithms of `count` values, each with the bits NaturalLogarithm
// gives it: four at a time, one a vector lane, where the processor has AVX2
// (the double-double arithmetic is a long chain of dependent operations,
// which four lanes share).
void NaturalLogarithms(const double* x, double* out, std::size_t count);

// e^x.
double NaturalExponential(double x);

// sin x and cos x. The argument is reduced by multiples of pi/2 held to
// four doubles, in double-double arithmetic whose first step is exact, so the
// reduced argument keeps its bits for |x| up to about 2^40 (beyond, where no
// variogram reaches, the result stays deterministic but loses accuracy);
// then Taylor polynomials of the reduced argument: within a unit in the last
// place.
double Sine(double x);
double Cosine(double x);

// arcsin x for |x| <= 1 (NaN beyond), through the arc tangent of
// x / sqrt((1 - x)(1 + x)), whose factors keep their bits near |x| = 1.
double ArcSine(double x);

// e^x - 1 without the cancellation near x = 0: the double-double e^x less
// one, and the Taylor series where even that would cancel.
double ExponentialMinusOne(double x);

// x^y = e^(y log x) in double-double, rounded once, for x >= 0; a negative
// x gives NaN unless y is an integer. Special arguments as the C library's
// pow (x^0 = 1, 1^y = 1, 0^y = 0 or infinity).
double Power(double x, double y);

// The gamma function for x > 0: 1 / Gamma(1 + z) by its Taylor series
// (|z| <= 1/2) and the product of the recurrence, all in double-double;
// infinity beyond 171.62, NaN for x <= 0.
double Gamma(double x);

// The modified Bessel function of the second kind K_nu(x), x > 0, for any
// real order (K_-nu = K_nu). Temme's series for x <= 1, Steed's continued
// fraction beyond, for the order nu - round(nu) in [-1/2, 1/2), then the
// upward recurrence, which is stable for K: a few units in the last place.
// Infinity where K overflows (small x and large order), NaN for x <= 0.
double BesselK(double nu, double x);

// (x/2)^nu K_nu(x) for nu >= 0, x > 0, without the overflow of K_nu at
// small x: it tends to Gamma(nu)/2 as x -> 0 (nu > 0), so the Matern
// correlation is 2 ScaledBesselK(nu, x) / Gamma(nu). The recurrence runs on
// the scaled values u_k = (x/2)^(mu+k) K_(mu+k)(x) themselves:
// u_(k+1) = (mu + k) u_k + (x/2)^2 u_(k-1), every term positive.
double ScaledBesselK(double nu, double x);

}  // namespace mosaro
