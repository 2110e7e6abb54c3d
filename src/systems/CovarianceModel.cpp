#include "systems/CovarianceModel.h"

#include <cmath>

namespace mosaro {

AveragedSpherical::AveragedSpherical(const KrigingConstants& c)
    : sill_(c.sill),
      nugget_(c.nugget),
      partialSill_(c.partialSill),
      range_(c.range),
      anisotropy_(c.anisotropy),
      usable_(std::isfinite(sill_) && std::isfinite(nugget_) && std::isfinite(partialSill_) && std::isfinite(range_) &&
              std::isfinite(anisotropy_)) {}

double AveragedSpherical::At(double dx, double dy) const {
    const double h = std::sqrt(dx * dx + anisotropy_ * anisotropy_ * (dy * dy));
    if (h == 0.0) return sill_;
    if (!(h <= range_)) return 0.0;
    const double t = h / range_;
    return sill_ - (nugget_ + partialSill_ * (1.5 * t - 0.5 * t * t * t));
}

void CovarianceModel::AtMany(const double* dx, const double* dy, std::size_t count, double* out) const {
    for (std::size_t i = 0; i < count; ++i) out[i] = At(dx[i], dy[i]);
}

}  // namespace mosaro
