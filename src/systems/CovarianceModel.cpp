#include "systems/CovarianceModel.h"

#include <cmath>

#include "platform/WideKernels.h"

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

namespace {

// AveragedSpherical::At of many lags without its branches, so that the loop
// vectorises: every lag takes the polynomial, then the same tests in the
// same order select (a NaN length fails both and gives 0, as At's does).
MOSARO_KERNEL_INLINE void AveragedSphericalOf(const double* dx, const double* dy, std::size_t count, double sill,
                                              double nugget, double partialSill, double range, double anisotropy,
                                              double* out) {
    for (std::size_t i = 0; i < count; ++i) {
        const double h = std::sqrt(dx[i] * dx[i] + anisotropy * anisotropy * (dy[i] * dy[i]));
        const double t = h / range;
        const double inside = sill - (nugget + partialSill * (1.5 * t - 0.5 * t * t * t));
        out[i] = h == 0.0 ? sill : (h <= range ? inside : 0.0);
    }
}

#ifdef MOSARO_WIDE_KERNELS
__attribute__((target("avx2"))) void AveragedSphericalWide(const double* dx, const double* dy, std::size_t count,
                                                           double sill, double nugget, double partialSill, double range,
                                                           double anisotropy, double* out) {
    AveragedSphericalOf(dx, dy, count, sill, nugget, partialSill, range, anisotropy, out);
}
#endif

}  // namespace

void AveragedSpherical::AtMany(const double* dx, const double* dy, std::size_t count, double* out) const {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2())
        return AveragedSphericalWide(dx, dy, count, sill_, nugget_, partialSill_, range_, anisotropy_, out);
#endif
    AveragedSphericalOf(dx, dy, count, sill_, nugget_, partialSill_, range_, anisotropy_, out);
}

void CovarianceModel::AtMany(const double* dx, const double* dy, std::size_t count, double* out) const {
    for (std::size_t i = 0; i < count; ++i) out[i] = At(dx[i], dy[i]);
}

}  // namespace mosaro
