// The covariance an accurate system is built from, whatever model gives it:
// the legacy sweep's averaged spherical model, or a nested model of any
// families (variogram/VariogramModel.h).
#pragma once

#include <cmath>
#include <cstddef>

#include "systems/KrigingConstants.h"
#include "variogram/VariogramModel.h"

namespace mosaro {

class CovarianceModel {
public:
    virtual ~CovarianceModel() = default;
    // The covariance at lag (dx, dy), in the coordinates' units.
    virtual double At(double dx, double dy) const = 0;
    // At of count lags at once, out[i] at (dx[i], dy[i]), with At's bits;
    // a model whose evaluation vectorises overrides it.
    virtual void AtMany(const double* dx, const double* dy, std::size_t count, double* out) const;
    // The covariance at the origin.
    virtual double Sill() const = 0;
    // The part of it that vanishes at any distance above 0.
    virtual double Nugget() const = 0;
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
    void AtMany(const double* dx, const double* dy, std::size_t count, double* out) const override;
    double Sill() const override { return sill_; }
    double Nugget() const override { return nugget_; }
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
    void AtMany(const double* dx, const double* dy, std::size_t count, double* out) const override {
        model_.Covariances(dx, dy, count, out);
    }
    double Sill() const override { return model_.TotalSill(); }
    double Nugget() const override { return model_.Nugget(); }
    bool Usable() const override { return model_.HasCovariance(); }

private:
    const VariogramModel& model_;
};

}  // namespace mosaro

namespace mosaro {

// A model without a sill (power, unbounded linear) as a covariance for the
// systems whose weights sum to one (ordinary and universal kriging, an
// external drift): C(h) = A - gamma(h) for a constant A. Any A gives the
// same weights and the same variance (the constant cancels against the
// unbiasedness row); A is the semivariance at `reach` (the extent of the
// data), so that the entries stay of order one there.
class PseudoCovariance final : public CovarianceModel {
public:
    PseudoCovariance(const VariogramModel& model, double reach)
        : model_(model), constant_(model.Semivariance(reach, 0.0)) {}
    double At(double dx, double dy) const override { return constant_ - model_.Semivariance(dx, dy); }
    double Sill() const override { return constant_; }
    double Nugget() const override { return model_.Nugget(); }
    bool Usable() const override { return std::isfinite(constant_) && constant_ > 0.0; }

private:
    const VariogramModel& model_;
    double constant_;
};

}  // namespace mosaro
