#include "variogram/ModelFamilies.h"

#include <cctype>
#include <cmath>

#include "platform/PortableMath.h"

namespace mosaro {
namespace {

constexpr double kPi = 3.141592653589793;

// Beyond this the Matern correlation is below any double's resolution of 1
// (gstat's Mat cuts off here too).
constexpr double kMaternCutoff = 600.0;

// Matern correlation at x, with its closed forms at kappa = 1/2, 3/2, 5/2
// (the orders most models use, and several times faster).
double MaternCorrelation(double x, const FamilyConstants& c) {
    if (x == 0.0) return 1.0;
    if (x > kMaternCutoff) return 0.0;
    if (c.shape == 0.5) return NaturalExponential(-x);
    if (c.shape == 1.5) return (1.0 + x) * NaturalExponential(-x);
    if (c.shape == 2.5) return (1.0 + x + x * x / 3.0) * NaturalExponential(-x);
    return c.besselNormaliser * ScaledBesselK(c.shape, x);
}

// sin(t) / t, 1 at 0.
double Sinc(double t) { return t == 0.0 ? 1.0 : Sine(t) / t; }

}  // namespace

const std::vector<FamilyTraits>& FamilyTable() {
    static const std::vector<FamilyTraits> table = {
        {ModelFamily::kNugget, "Nug", "nugget", RangeUse::kNone, false, 0.0, 0.0, 0.0, true},
        {ModelFamily::kExponential, "Exp", "exponential", RangeUse::kRequired, false, 0.0, 0.0, 0.0, true},
        {ModelFamily::kSpherical, "Sph", "spherical", RangeUse::kRequired, false, 0.0, 0.0, 0.0, true},
        {ModelFamily::kGaussian, "Gau", "Gaussian", RangeUse::kRequired, false, 0.0, 0.0, 0.0, true},
        {ModelFamily::kExponentialClass, "Exc", "exponential class (stable)", RangeUse::kRequired, true, 0.0, 2.0, 0.5,
         true},
        {ModelFamily::kMatern, "Mat", "Matern", RangeUse::kRequired, true, 0.0, 100.0, 0.5, true},
        {ModelFamily::kSteinMatern, "Ste", "Matern, Stein's parameterisation", RangeUse::kRequired, true, 0.0, 100.0,
         0.5, true},
        {ModelFamily::kCircular, "Cir", "circular", RangeUse::kRequired, false, 0.0, 0.0, 0.0, true},
        {ModelFamily::kLinear, "Lin", "linear", RangeUse::kOptional, false, 0.0, 0.0, 0.0, true},
        {ModelFamily::kBessel, "Bes", "Bessel", RangeUse::kRequired, false, 0.0, 0.0, 0.0, true},
        {ModelFamily::kPentaspherical, "Pen", "pentaspherical", RangeUse::kRequired, false, 0.0, 0.0, 0.0, true},
        {ModelFamily::kWave, "Wav", "wave", RangeUse::kRequired, false, 0.0, 0.0, 0.0, true},
        {ModelFamily::kHole, "Hol", "hole effect", RangeUse::kRequired, false, 0.0, 0.0, 0.0, true},
        {ModelFamily::kPower, "Pow", "power", RangeUse::kNone, true, 0.0, 2.0, 1.0, false},
    };
    return table;
}

const FamilyTraits& TraitsOf(ModelFamily family) {
    for (const FamilyTraits& traits : FamilyTable())
        if (traits.family == family) return traits;
    return FamilyTable().front();  // unreachable: every enumerator is in the table
}

const FamilyTraits* FindFamily(std::string_view shortName) {
    for (const FamilyTraits& traits : FamilyTable()) {
        const std::string_view name = traits.shortName;
        if (name.size() != shortName.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(name[i])) ==
                   std::tolower(static_cast<unsigned char>(shortName[i]));
        if (same) return &traits;
    }
    return nullptr;
}

std::string KnownFamilyNames() {
    std::string names;
    for (const FamilyTraits& traits : FamilyTable()) {
        if (!names.empty()) names += ", ";
        names += traits.shortName;
    }
    return names;
}

FamilyConstants MakeFamilyConstants(ModelFamily family, double shape, double range) {
    FamilyConstants c;
    c.shape = shape;
    c.unbounded = family == ModelFamily::kLinear && range == 0.0;
    if (family == ModelFamily::kBessel) c.shape = 1.0;
    if (family == ModelFamily::kMatern || family == ModelFamily::kSteinMatern || family == ModelFamily::kBessel)
        c.besselNormaliser = 2.0 / Gamma(c.shape);
    if (family == ModelFamily::kSteinMatern) c.steinScale = 2.0 * std::sqrt(c.shape);
    return c;
}

double UnitSemivariance(ModelFamily family, double x, const FamilyConstants& c) {
    if (x == 0.0) return 0.0;
    switch (family) {
        case ModelFamily::kNugget: return 1.0;
        case ModelFamily::kSpherical: return x >= 1.0 ? 1.0 : x * (1.5 - 0.5 * x * x);
        case ModelFamily::kExponential: return -ExponentialMinusOne(-x);
        case ModelFamily::kGaussian: return -ExponentialMinusOne(-(x * x));
        case ModelFamily::kExponentialClass: return -ExponentialMinusOne(-Power(x, c.shape));
        case ModelFamily::kMatern:
        case ModelFamily::kBessel:
            if (c.shape == 0.5) return -ExponentialMinusOne(-x);
            return 1.0 - MaternCorrelation(x, c);
        case ModelFamily::kSteinMatern: return 1.0 - MaternCorrelation(c.steinScale * x, c);
        case ModelFamily::kCircular:
            return x >= 1.0 ? 1.0 : (2.0 / kPi) * (x * std::sqrt((1.0 - x) * (1.0 + x)) + ArcSine(x));
        case ModelFamily::kPentaspherical: {
            if (x >= 1.0) return 1.0;
            const double x2 = x * x;
            return x * (15.0 / 8.0 + x2 * (-5.0 / 4.0 + x2 * (3.0 / 8.0)));
        }
        case ModelFamily::kLinear: return x >= 1.0 && !c.unbounded ? 1.0 : x;
        case ModelFamily::kWave: return 1.0 - Sinc(kPi * x);
        case ModelFamily::kHole: return 1.0 - Sinc(x);
        case ModelFamily::kPower: return Power(x, c.shape);
    }
    return 0.0;
}

double UnitCorrelation(ModelFamily family, double x, const FamilyConstants& c) {
    if (x == 0.0) return 1.0;
    switch (family) {
        case ModelFamily::kNugget: return 0.0;
        case ModelFamily::kSpherical: return x >= 1.0 ? 0.0 : 0.5 * (1.0 - x) * (1.0 - x) * (2.0 + x);
        case ModelFamily::kExponential: return NaturalExponential(-x);
        case ModelFamily::kGaussian: return NaturalExponential(-(x * x));
        case ModelFamily::kExponentialClass: return NaturalExponential(-Power(x, c.shape));
        case ModelFamily::kMatern:
        case ModelFamily::kBessel: return MaternCorrelation(x, c);
        case ModelFamily::kSteinMatern: return MaternCorrelation(c.steinScale * x, c);
        case ModelFamily::kWave: return Sinc(kPi * x);
        case ModelFamily::kHole: return Sinc(x);
        case ModelFamily::kCircular:
        case ModelFamily::kPentaspherical:
        case ModelFamily::kLinear:
        case ModelFamily::kPower: return 1.0 - UnitSemivariance(family, x, c);
    }
    return 0.0;
}

}  // namespace mosaro
