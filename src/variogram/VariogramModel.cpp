#include "variogram/VariogramModel.h"

#include <limits>
#include <sstream>

#include "platform/PortableMath.h"

namespace mosaro {
namespace {

std::string Number(double value) {
    std::ostringstream text;
    text.precision(17);
    text << value;
    return text.str();
}

constexpr double kDegree = 3.141592653589793 / 180.0;

}  // namespace

std::string StructureProblem(const Structure& s) {
    const FamilyTraits& traits = TraitsOf(s.family);
    const std::string name = traits.shortName;
    if (s.family == ModelFamily::kNugget) return "the nugget is the model's own, not a structure";
    if (!(std::isfinite(s.partialSill) && s.partialSill >= 0.0))
        return name + ": the partial sill must be a finite number >= 0, not " + Number(s.partialSill);
    switch (traits.range) {
        case RangeUse::kNone:
            if (s.range != 0.0) return name + " takes no range, not " + Number(s.range);
            break;
        case RangeUse::kRequired:
            if (!(std::isfinite(s.range) && s.range > 0.0))
                return name + ": the range must be a finite number > 0, not " + Number(s.range);
            break;
        case RangeUse::kOptional:
            if (!(std::isfinite(s.range) && s.range >= 0.0))
                return name + ": the range must be a finite number >= 0 (0: no sill), not " + Number(s.range);
            break;
    }
    if (traits.takesShape) {
        const char* shapeName = s.family == ModelFamily::kPower ? "exponent" : "kappa";
        if (!std::isnan(s.shape) && !(s.shape > traits.shapeMin && s.shape <= traits.shapeMax))
            return name + ": " + shapeName + " must lie in (" + Number(traits.shapeMin) + ", " +
                   Number(traits.shapeMax) + "], not " + Number(s.shape);
    } else if (!std::isnan(s.shape)) {
        return name + " takes no shape parameter (kappa), not " + Number(s.shape);
    }
    if (!(s.azimuth >= 0.0 && s.azimuth < 360.0))
        return name + ": the azimuth must lie in [0, 360) degrees, not " + Number(s.azimuth);
    if (!(s.ratio > 0.0 && s.ratio <= 1.0))
        return name + ": the anisotropy ratio must lie in (0, 1], not " + Number(s.ratio);
    return "";
}

double EffectiveShape(const Structure& s) {
    const FamilyTraits& traits = TraitsOf(s.family);
    if (!traits.takesShape) return 0.0;
    return std::isnan(s.shape) ? traits.defaultShape : s.shape;
}

VariogramModel::VariogramModel(double nugget, std::vector<Structure> structures)
    : nugget_(nugget), structures_(std::move(structures)) {
    if (!(std::isfinite(nugget) && nugget >= 0.0))
        throw ModelError("the nugget must be a finite number >= 0, not " + Number(nugget));
    totalSill_ = nugget_;
    for (std::size_t i = 0; i < structures_.size(); ++i) {
        const Structure& s = structures_[i];
        const std::string problem = StructureProblem(s);
        if (!problem.empty()) throw ModelError("structure " + std::to_string(i + 1) + " (" + problem + ")");
        const FamilyTraits& traits = TraitsOf(s.family);
        const bool bounded = traits.bounded && !(s.family == ModelFamily::kLinear && s.range == 0.0);
        hasCovariance_ = hasCovariance_ && bounded;
        totalSill_ += s.partialSill;

        Prepared p{};
        p.family = s.family;
        p.partialSill = s.partialSill;
        p.range = traits.range == RangeUse::kNone || s.range == 0.0 ? 1.0 : s.range;
        p.anisotropic = s.ratio != 1.0;
        if (p.anisotropic) {
            isotropic_ = false;
            const double sine = Sine(s.azimuth * kDegree);
            const double cosine = Cosine(s.azimuth * kDegree);
            p.majorX = sine;
            p.majorY = cosine;
            p.minorX = -cosine / s.ratio;
            p.minorY = sine / s.ratio;
        }
        p.constants = MakeFamilyConstants(s.family, EffectiveShape(s), s.range);
        prepared_.push_back(p);
    }
    if (!hasCovariance_) totalSill_ = std::numeric_limits<double>::infinity();
}

double VariogramModel::ScaledLag(const Prepared& p, double dx, double dy, double length) {
    if (!p.anisotropic) return length / p.range;
    const double u = p.majorX * dx + p.majorY * dy;
    const double v = p.minorX * dx + p.minorY * dy;
    return std::sqrt(u * u + v * v) / p.range;
}

double VariogramModel::Semivariance(double dx, double dy) const {
    if (dx == 0.0 && dy == 0.0) return 0.0;
    const double length = std::sqrt(dx * dx + dy * dy);
    double gamma = nugget_;
    for (const Prepared& p : prepared_)
        gamma += p.partialSill * UnitSemivariance(p.family, ScaledLag(p, dx, dy, length), p.constants);
    return gamma;
}

double VariogramModel::Covariance(double dx, double dy) const {
    if (!hasCovariance_) return std::numeric_limits<double>::quiet_NaN();
    if (dx == 0.0 && dy == 0.0) return totalSill_;
    const double length = std::sqrt(dx * dx + dy * dy);
    double covariance = 0.0;
    for (const Prepared& p : prepared_)
        covariance += p.partialSill * UnitCorrelation(p.family, ScaledLag(p, dx, dy, length), p.constants);
    return covariance;
}

}  // namespace mosaro
