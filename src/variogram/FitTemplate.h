// Which model to fit: a nugget (or none) and the families of the
// structures, each parameter free (from an automatic start or from a start
// given) or fixed at a value. The notation of templates is in
// ModelNotation.h ("Nug + Sph", "0.1 Nug + Sph(~900)", "Mat(kappa=1.5)").
#pragma once

#include <limits>
#include <vector>

#include "variogram/ModelFamilies.h"

namespace mosaro {

struct FitParameter {
    enum class Kind {
        kFree,        // fitted, from the fit's own start
        kStartingAt,  // fitted, from `value`
        kFixed,       // kept at `value`
    };
    Kind kind = Kind::kFree;
    double value = std::numeric_limits<double>::quiet_NaN();

    static FitParameter Free() { return {}; }
    static FitParameter StartingAt(double start) { return {Kind::kStartingAt, start}; }
    static FitParameter Fixed(double fixed) { return {Kind::kFixed, fixed}; }
    bool IsFixed() const { return kind == Kind::kFixed; }
};

struct StructureTemplate {
    ModelFamily family = ModelFamily::kSpherical;
    FitParameter partialSill;
    FitParameter range;    // not used by Nug and Pow; Lin fixed at 0 has no sill
    FitParameter shape;    // kappa of Exc, Mat, Ste; exponent of Pow
    double azimuth = 0.0;  // the anisotropy is given, never fitted
    double ratio = 1.0;
};

struct FitTemplate {
    bool hasNugget = false;  // without one the nugget is 0
    FitParameter nugget;
    std::vector<StructureTemplate> structures;
};

}  // namespace mosaro
