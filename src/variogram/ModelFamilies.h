// The variogram model families, parameterised as gstat's vgm() has them, so
// that a model copies over from R unchanged.
//
// Each family is a unit semivariance g(x) (0 at x = 0) and, where it has a
// sill, the unit correlation rho(x) = 1 - g(x), each evaluated in the form
// that keeps its bits (rho of the spherical model as 0.5 (1 - x)^2 (2 + x),
// g of the exponential as -expm1(-x)). x is the (anisotropy-transformed)
// lag h over the range a; for the power model and the unbounded linear
// model x = h itself.
//
//   Nug  nugget          g = 1 for h > 0
//   Sph  spherical       g = 1.5 x - 0.5 x^3 (x < 1), 1 beyond
//   Exp  exponential     g = 1 - e^-x
//   Gau  Gaussian        g = 1 - e^(-x^2)
//   Exc  exponential class (stable)  g = 1 - e^(-x^kappa), 0 < kappa <= 2
//   Mat  Matern          rho = x^kappa K_kappa(x) / (2^(kappa-1) Gamma(kappa))
//   Ste  Stein's Matern  Mat's rho at 2 sqrt(kappa) x
//   Bes  Bessel          rho = x K_1(x) (Mat with kappa = 1)
//   Cir  circular        g = (2/pi) (x sqrt(1 - x^2) + arcsin x) (x < 1), 1 beyond
//   Pen  pentaspherical  g = 15/8 x - 5/4 x^3 + 3/8 x^5 (x < 1), 1 beyond
//   Lin  linear          g = min(x, 1) for a > 0; g = h (no sill) for a = 0
//   Wav  wave            g = 1 - sin(pi x) / (pi x)
//   Hol  hole effect     g = 1 - sin(x) / x
//   Pow  power           g = h^kappa, 0 < kappa <= 2 (no sill, no covariance)
//
// Matern and Stein's Matern take 0 < kappa <= 100 (gstat's own limit for
// Ste), and reach 1 for x > 600 as gstat's Mat does. gstat's Bes returns 0
// for x < 0.001; here it follows the formula down to 0.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mosaro {

enum class ModelFamily {
    kNugget,
    kSpherical,
    kExponential,
    kGaussian,
    kExponentialClass,
    kMatern,
    kSteinMatern,
    kBessel,
    kCircular,
    kPentaspherical,
    kLinear,
    kWave,
    kHole,
    kPower,
};

// How a family uses the range.
enum class RangeUse {
    kNone,      // Nug, Pow
    kRequired,  // > 0
    kOptional,  // Lin: > 0 bounded, 0 unbounded
};

struct FamilyTraits {
    ModelFamily family;
    const char* shortName;  // gstat's: "Sph"
    const char* longName;   // "spherical"
    RangeUse range;
    bool takesShape;  // kappa of Exc, Mat, Ste; exponent of Pow
    double shapeMin;  // excluded: shapes lie in (shapeMin, shapeMax]
    double shapeMax;
    double defaultShape;  // gstat's vgm() default (0.5), Pow's start value 1
    bool bounded;         // has a sill (Lin only with a range > 0)
};

// Every family, in gstat's catalogue order.
const std::vector<FamilyTraits>& FamilyTable();
const FamilyTraits& TraitsOf(ModelFamily family);

// The family of a short name, case-insensitive as gstat reads them; null
// when none matches.
const FamilyTraits* FindFamily(std::string_view shortName);

// "Nug, Sph, Exp, ...": for messages.
std::string KnownFamilyNames();

// Constants a structure computes once: the shape and what follows from it.
struct FamilyConstants {
    double shape = 0.0;
    double besselNormaliser = 0.0;  // 2 / Gamma(kappa): Mat, Ste, Bes
    double steinScale = 0.0;        // 2 sqrt(kappa): Ste
    bool unbounded = false;         // Lin with range 0: g = h
};
FamilyConstants MakeFamilyConstants(ModelFamily family, double shape, double range);

// g(x) and rho(x) for x >= 0; x = h / a for ranged families, h otherwise.
// UnitCorrelation is not called for families without a sill.
double UnitSemivariance(ModelFamily family, double x, const FamilyConstants& constants);
double UnitCorrelation(ModelFamily family, double x, const FamilyConstants& constants);
// UnitCorrelation of count values at once, each with the bits of a single
// call; the spherical family, the one the sweeps meet most, runs as one
// vectorised loop.
void UnitCorrelations(ModelFamily family, const double* x, std::size_t count, const FamilyConstants& constants,
                      double* out);

}  // namespace mosaro
