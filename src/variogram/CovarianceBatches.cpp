// The covariance of many lags in one call: the loops of a chunk run over
// its lags, one operation at a time, so that the compiler vectorises them;
// every lag goes through the operations of a single evaluation in their
// order, so each result has that evaluation's bits. This file is built
// with options that let its loops vectorise (see CMakeLists.txt).
#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/WideKernels.h"
#include "variogram/ModelFamilies.h"
#include "variogram/VariogramModel.h"

namespace mosaro {
namespace {

// The loops that cost most (square roots, divisions), each written once and
// compiled twice: for the plain target, and for AVX2's vectors of four
// where the processor has them. The same operations on each lag either
// way, so the same bits.

MOSARO_KERNEL_INLINE void LengthsOf(const double* dx, const double* dy, std::size_t n, double* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = std::sqrt(dx[i] * dx[i] + dy[i] * dy[i]);
}

MOSARO_KERNEL_INLINE void QuotientsOf(const double* length, double divisor, std::size_t n, double* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = length[i] / divisor;
}

// UnitCorrelation's spherical branch without its branches: every lag takes
// the polynomial, then the same tests in the same order select (a NaN lag
// falls through both to the polynomial).
MOSARO_KERNEL_INLINE void SphericalOf(const double* x, std::size_t n, double* out) {
    for (std::size_t i = 0; i < n; ++i) {
        const double v = x[i];
        const double polynomial = 0.5 * (1.0 - v) * (1.0 - v) * (2.0 + v);
        out[i] = v == 0.0 ? 1.0 : (v >= 1.0 ? 0.0 : polynomial);
    }
}

#ifdef MOSARO_WIDE_KERNELS
__attribute__((target("avx2"))) void LengthsWide(const double* dx, const double* dy, std::size_t n, double* out) {
    LengthsOf(dx, dy, n, out);
}
__attribute__((target("avx2"))) void QuotientsWide(const double* length, double divisor, std::size_t n, double* out) {
    QuotientsOf(length, divisor, n, out);
}
__attribute__((target("avx2"))) void SphericalWide(const double* x, std::size_t n, double* out) {
    SphericalOf(x, n, out);
}
#endif

void Lengths(const double* dx, const double* dy, std::size_t n, double* out) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return LengthsWide(dx, dy, n, out);
#endif
    LengthsOf(dx, dy, n, out);
}

void Quotients(const double* length, double divisor, std::size_t n, double* out) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return QuotientsWide(length, divisor, n, out);
#endif
    QuotientsOf(length, divisor, n, out);
}

void Spherical(const double* x, std::size_t n, double* out) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) return SphericalWide(x, n, out);
#endif
    SphericalOf(x, n, out);
}

}  // namespace

void UnitCorrelations(ModelFamily family, const double* x, std::size_t count, const FamilyConstants& c, double* out) {
    switch (family) {
        case ModelFamily::kSpherical: return Spherical(x, count, out);
        default:
            for (std::size_t i = 0; i < count; ++i) out[i] = UnitCorrelation(family, x[i], c);
    }
}

void VariogramModel::Covariances(const double* dx, const double* dy, std::size_t count, double* out) const {
    if (!hasCovariance_) {
        std::fill(out, out + count, std::numeric_limits<double>::quiet_NaN());
        return;
    }
    // A chunk's lengths, scaled lags and correlations stay on the stack.
    constexpr std::size_t kChunk = 64;
    double length[kChunk], lag[kChunk], unit[kChunk];
    for (std::size_t first = 0; first < count; first += kChunk) {
        const std::size_t n = std::min(kChunk, count - first);
        const double* cx = dx + first;
        const double* cy = dy + first;
        double* covariance = out + first;
        Lengths(cx, cy, n, length);
        std::fill(covariance, covariance + n, 0.0);
        for (const Prepared& p : prepared_) {
            if (p.anisotropic) {
                for (std::size_t i = 0; i < n; ++i) lag[i] = ScaledLag(p, cx[i], cy[i], length[i]);
            } else {
                Quotients(length, p.range, n, lag);
            }
            UnitCorrelations(p.family, lag, n, p.constants, unit);
            for (std::size_t i = 0; i < n; ++i) covariance[i] += p.partialSill * unit[i];
        }
        for (std::size_t i = 0; i < n; ++i) covariance[i] = cx[i] == 0.0 && cy[i] == 0.0 ? totalSill_ : covariance[i];
    }
}

}  // namespace mosaro
