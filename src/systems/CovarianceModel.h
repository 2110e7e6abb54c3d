// The covariance an accurate system is built from, whatever model gives it:
// the legacy sweep's averaged spherical model, or a nested model of any
// families (variogram/VariogramModel.h).
#pragma once

#include "systems/KrigingConstants.h"
#include "variogram/VariogramModel.h"

namespace mosaro {

class CovarianceModel {
public:
    virtual ~CovarianceModel() = default;
    // The covariance at lag (dx, dy), in the coordinates' units.
    virtual double At(double dx, double dy) const = 0;
    // The covariance at the origin.
    virtual double Sill() const = 0;
    // False when a parameter is not finite: no system can be formed.
    virtual bool Usable() const = 0;
};

// The legacy sweep's averaged spherical model with its y stretch, in the
// sweep's scaled units, taken in double. Any finite values are accepted
// (the legacy fit gives a negative partial sill now and then).
class AveragedSpherical final : public CovarianceModel {
public:
    explicit AveragedSpherical(const KrigingConstants& c);
    double At(double dx, double dy) const override;
    double Sill() const override { return sill_; }
    bool Usable() const override { return usable_; }

private:
    double sill_, nugget_, partialSill_, range_, anisotropy_;
    bool usable_;
};

// A nested model with a covariance (every structure has a sill).
class NestedCovariance final : public CovarianceModel {
public:
    explicit NestedCovariance(const VariogramModel& model) : model_(model) {}
    double At(double dx, double dy) const override { return model_.Covariance(dx, dy); }
    double Sill() const override { return model_.TotalSill(); }
    bool Usable() const override { return model_.HasCovariance(); }

private:
    const VariogramModel& model_;
};

}  // namespace mosaro
